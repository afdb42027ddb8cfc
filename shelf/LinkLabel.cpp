#include "shelf/LinkLabel.h"

TLinkLabel::TLinkLabel() {
    Cursor = TCursor::HandPoint;
}

void TLinkLabel::Paint(TCanvas& canvas) {
    if (Caption().empty()) return;
    canvas.Font = Font;
    canvas.Font.Underline = hover_;
    canvas.DrawText(Caption(), ClientRect(), tf::SingleLine | tf::VCenter);
}

void TLinkLabel::MouseEnter() {
    hover_ = true;
    SetScreenCursor(TCursor::HandPoint);
    Invalidate();
}

void TLinkLabel::MouseLeave() {
    hover_ = false;
    SetScreenCursor(TCursor::Default);
    Invalidate();
}

#include "controls/SearchResultPanel.h"

#include "controls/ComponentGlobal.h"

TSearchResultPanel::TSearchResultPanel() : background_(LoadResourceImage("SearchResultBG")) {
    SetBounds(0, 0, 200, 20);
}

TSearchResultPanel::~TSearchResultPanel() = default;

void TSearchResultPanel::SetStatusInfo(const AnsiString& status) {
    status_ = status;
    Invalidate();
}

void TSearchResultPanel::Paint(TCanvas& canvas) {
    canvas.Font = Font;
    canvas.FillRect(ClientRect(), clWhite);
    const TRect r = ClientRect().Shrunk(4);
    if (background_) {
        const int w = background_->Width(), h = background_->Height(), half = w / 2;
        canvas.StretchDraw(background_.get(), TRect::FromSize(r.Left, r.Top, r.Width(), h),
                           TRect::FromSize(half, 0, 1, h));
        canvas.StretchDraw(background_.get(), TRect::FromSize(r.Left, r.Top, half, h),
                           TRect::FromSize(0, 0, half, h));
        canvas.StretchDraw(background_.get(), TRect::FromSize(r.Right - half, r.Top, half, h),
                           TRect::FromSize(w - half, 0, half, h));
    }
    canvas.DrawText(status_, r, tf::SingleLine | tf::Center | tf::VCenter);
}

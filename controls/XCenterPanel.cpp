#include "controls/XCenterPanel.h"

#include "controls/ComponentGlobal.h"

TXCenterPanel::TXCenterPanel() : background_(LoadResourceImage("CenterPanelBG")) {
    SetBounds(0, 0, 185, 41);
}

TXCenterPanel::~TXCenterPanel() = default;

void TXCenterPanel::Paint(TCanvas& canvas) {
    const TRect r = ClientRect();
    canvas.FillRect(r, Color);
    if (BevelOuter != TBevelCut::None && !r.IsEmpty()) {
        const TColor light = clWhite, dark = RGB(0xA0, 0xA0, 0xA0);
        const TColor topLeft = BevelOuter == TBevelCut::Raised ? light : dark;
        const TColor bottomRight = BevelOuter == TBevelCut::Raised ? dark : light;
        canvas.Line(r.Left, r.Top, r.Right, r.Top, topLeft);
        canvas.Line(r.Left, r.Top, r.Left, r.Bottom, topLeft);
        canvas.Line(r.Left, r.Bottom - 1, r.Right, r.Bottom - 1, bottomRight);
        canvas.Line(r.Right - 1, r.Top, r.Right - 1, r.Bottom, bottomRight);
    }
    canvas.Font = Font;
    canvas.DrawText(Caption(), r.Shrunk(1), tf::SingleLine | tf::Center | tf::VCenter);
}

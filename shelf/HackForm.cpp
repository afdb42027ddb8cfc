#include "shelf/HackForm.h"

#include <cstdlib>

#include "controls/ComponentGlobal.h"
#include "controls/ControlHost.h"
#include "controls/MinMaxCloseButton.h"
#include "core/Folders.h"

namespace mainwindow {
namespace {

constexpr int kResizeBorder = 3;
constexpr int kDragBand = 80;
// How far the pointer moves with the button held before the window follows.
constexpr int kDragThreshold = 3;

}  // namespace

AnsiString MainWindowTitle(const std::string& edition) {
    if (edition.empty()) return platform::Utf8ToAnsi("Tolvane--专业的小说下载阅读器");
    return platform::Utf8ToAnsi("Tolvane（" + edition + "版）--专业的小说下载阅读器");
}

THackForm::THackForm(GtkWindow* window)
    : window_(window),
      frame_(window, kResizeBorder),
      background_(LoadResourceImage("Background")),
      background2_(LoadResourceImage("Background2")),
      logo_(LoadResourceImage("VelqoLog")),
      edition_(GetOEMVersion()) {
    frame_.SetShape(platform::ui::CutCornerShape);
    frame_.OnResize = [this](int width, int height) {
        SetBounds(0, 0, width, height);
        if (OnFormResize) OnFormResize(width, height);
    };
    SetMinSize(minWidth_, minHeight_);
}

THackForm::~THackForm() = default;

void THackForm::SetMinSize(int width, int height) {
    minWidth_ = width;
    minHeight_ = height;
    frame_.SetMinSize(width, height);
}

void THackForm::Paint(TCanvas& canvas) {
    PaintSkin(canvas, Width(), Height());
}

void THackForm::PaintSkin(TCanvas& canvas, int w, int h) const {
    canvas.FillRect({0, 0, w, h}, clWhite);
    if (const TGPImage* b = background_.get()) {
        const int bw = b->Width(), bh = b->Height();
        canvas.StretchDraw(b, TRect::FromSize(0, 0, 4, h), TRect::FromSize(0, 105, 4, 1));
        canvas.StretchDraw(b, TRect::FromSize(w - 4, 0, 4, h), TRect::FromSize(bw - 4, 105, 4, 1));
        canvas.StretchDraw(b, TRect::FromSize(0, 0, w, 102), TRect::FromSize(bw / 2, 0, 1, 102));
        canvas.StretchDraw(b, TRect::FromSize(0, h - 30, w, 30),
                           TRect::FromSize(bw / 2, bh - 30, 1, 30));
        canvas.StretchDraw(b, TRect::FromSize(0, 0, 7, 102), TRect::FromSize(0, 0, 7, 102));
        canvas.StretchDraw(b, TRect::FromSize(w - 7, 0, 7, 102),
                           TRect::FromSize(bw - 7, 0, 7, 102));
        canvas.StretchDraw(b, TRect::FromSize(0, h - 30, 7, 30),
                           TRect::FromSize(0, bh - 30, 7, 30));
        canvas.StretchDraw(b, TRect::FromSize(w - 7, h - 30, 7, 30),
                           TRect::FromSize(bw - 7, bh - 30, 7, 30));
    }
    canvas.Draw(background2_.get(), 0, 0);
    canvas.Draw(logo_.get(), 10, 20);
    canvas.Font = Font;
    canvas.Font.Color = clWhite;
    canvas.DrawText(MainWindowTitle(edition_), {10, 4, 400, 20}, tf::SingleLine | tf::VCenter);
}

void THackForm::MouseDown(TMouseButton, TShiftState, int x, int y) {
    // The drag starts once the pointer moves with the button held, so that a
    // double click in the band still reaches this control.
    pressed_ = y >= 0 && y < kDragBand;
    pressX_ = x;
    pressY_ = y;
    // The drag holds the pressed point under the pointer.
    pressRootX_ = pressRootY_ = 0;
    pressTime_ = GDK_CURRENT_TIME;
    if (GdkEvent* event = gtk_get_current_event()) {
        double rootX = 0, rootY = 0;
        if (gdk_event_get_root_coords(event, &rootX, &rootY)) {
            pressRootX_ = static_cast<int>(rootX);
            pressRootY_ = static_cast<int>(rootY);
        }
        pressTime_ = gdk_event_get_time(event);
        gdk_event_free(event);
    }
}

void THackForm::MouseMove(TShiftState, int x, int y) {
    if (!pressed_) return;
    if (std::abs(x - pressX_) < kDragThreshold && std::abs(y - pressY_) < kDragThreshold) return;
    pressed_ = false;
    // The window manager takes the pointer over: the press never ends here.
    if (Host()) Host()->ReleaseCapture();
    gtk_window_begin_move_drag(window_, 1, pressRootX_, pressRootY_, pressTime_);
}

void THackForm::MouseUp(TMouseButton, TShiftState, int, int) {
    pressed_ = false;
}

void THackForm::DblClick() {
    const TPoint p = CursorPos();
    if (p.X >= 20 && p.Y < 20 && CaptionButtons) CaptionButtons->ToggleMaximize();
}

}  // namespace mainwindow

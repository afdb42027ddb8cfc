#include "reader/HackForm.h"

#include <gtk/gtk.h>

#include <cstdlib>

#include "controls/ComponentGlobal.h"
#include "controls/ControlHost.h"
#include "controls/MinMaxCloseButton.h"
#include "platform/ui/Geometry.h"

THackForm::THackForm(GtkWindow* window)
    : window_(window),
      background_(LoadResourceImage("Background")),
      icon_(LoadResourceImage("QuirAReader")),
      frame_(window, kBorder) {
    gtk_window_set_decorated(window, FALSE);
    frame_.SetMinSize(kMinWidth, kMinHeight);
    // The window rectangle one pixel larger each way with 3 x 3 corner
    // ellipses: the corner pixels are cut.
    frame_.SetShape([](int width, int height) {
        return platform::ui::RoundedShape(width + 1, height + 1, 3, 3);
    });
    frame_.OnResize = [this](int width, int height) { Resized(width, height); };
}

THackForm::~THackForm() = default;

void THackForm::Resized(int width, int height) {
    SetBounds(0, 0, width, height);
    Invalidate();
}

void THackForm::Paint(TCanvas& canvas) {
    const int w = Width(), h = Height();
    canvas.FillRect(ClientRect(), clWhite);
    if (const TGPImage* b = background_.get(); b && b->Width() >= 7 && b->Height() >= 90) {
        const int iw = b->Width(), ih = b->Height();
        // Bottom band, edges, corners, title band, each stretched from B.
        canvas.StretchDraw(b, {0, h - 30, w, h}, {6, ih - 30, 7, ih});
        canvas.StretchDraw(b, {0, 0, w, 1}, {6, 0, 7, 1});
        canvas.StretchDraw(b, {w - 1, 0, w, h}, {iw - 1, 6, iw, 7});
        canvas.StretchDraw(b, {0, h - 1, w, h}, {6, ih - 1, 7, ih});
        canvas.StretchDraw(b, {0, 0, 1, h}, {0, 6, 1, 7});
        canvas.StretchDraw(b, {0, 0, 3, 3}, {0, 0, 3, 3});
        canvas.StretchDraw(b, {w - 3, 0, w, 3}, {iw - 3, 0, iw, 3});
        canvas.StretchDraw(b, {w - 3, h - 3, w, h}, {iw - 3, ih - 3, iw, ih});
        canvas.StretchDraw(b, {0, h - 3, 3, h}, {0, ih - 3, 3, ih});
        canvas.StretchDraw(b, {2, 0, w - 2, 90}, {6, 0, 7, 90});
    }
    if (icon_) canvas.StretchDraw(icon_.get(), {2, 2, 22, 22});
    canvas.Font = Font;
    canvas.Font.Color = kCaptionColor;
    canvas.DrawText(Caption(), {24, 3, w - 200, 20}, tf::Left | tf::VCenter | tf::SingleLine);
}

void THackForm::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    lastPress_ = {x, y};
    // The move starts once the pointer moves with the button held, so that a
    // double click in the band still reaches this control.
    dragPending_ = button == TMouseButton::Left && y >= 0 && y < kDragHeight;
    if (!dragPending_) return;
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
    if (!dragPending_) return;
    if (std::abs(x - lastPress_.X) < kDragThreshold && std::abs(y - lastPress_.Y) < kDragThreshold)
        return;
    dragPending_ = false;
    // The window system takes the pointer over: the press never ends here.
    if (Host()) Host()->ReleaseCapture();
    gtk_window_begin_move_drag(window_, 1, pressRootX_, pressRootY_, pressTime_);
}

void THackForm::MouseUp(TMouseButton, TShiftState, int, int) {
    dragPending_ = false;
}

void THackForm::DblClick() {
    const bool inCaption = lastPress_.X >= 20 && lastPress_.Y >= 0 && lastPress_.Y < 20;
    if (inCaption && strip_) strip_->ToggleMaximize();
}

#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "platform/ui/Window.h"

typedef struct _GtkWindow GtkWindow;

class TMinMaxCloseButton;

// The frame of the reader window: it paints the border, the title band, the
// icon and the caption from the "Background" image under every other
// control, keeps the window borderless with resize edges, a minimum size of
// 775 x 400 and rounded corners, moves the window on a drag from the top 80
// pixels and maximises or restores it on a double click in the caption.
class THackForm : public TControl {
  public:
    static constexpr int kMinWidth = 775;
    static constexpr int kMinHeight = 400;
    static constexpr int kBorder = 3;
    static constexpr int kDragHeight = 80;
    static constexpr int kDragThreshold = 4;
    static constexpr TColor kCaptionColor = RGB(0x66, 0x66, 0x66);

    explicit THackForm(GtkWindow* window);
    ~THackForm() override;

    // The caption strip a double click toggles.
    void SetStrip(TMinMaxCloseButton* strip) { strip_ = strip; }
    // The window's size changed: the frame covers it again.
    void Resized(int width, int height);

    const TGPImage* BackgroundImage() const { return background_.get(); }
    const TGPImage* IconImage() const { return icon_.get(); }
    platform::ui::BorderlessFrame& Frame() { return frame_; }

    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DblClick() override;

  private:
    GtkWindow* window_;
    std::unique_ptr<TGPImage> background_;
    std::unique_ptr<TGPImage> icon_;
    platform::ui::BorderlessFrame frame_;
    TMinMaxCloseButton* strip_ = nullptr;
    TPoint lastPress_{-1, -1};
    // A press in the drag band, waiting for the pointer to move: where it was
    // on the screen and when, for the window system's move.
    bool dragPending_ = false;
    int pressRootX_ = 0;
    int pressRootY_ = 0;
    unsigned pressTime_ = 0;
};

#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "platform/Charset.h"
#include "platform/ui/Window.h"

class TMinMaxCloseButton;

// The pop-up form and the reader have frame classes of the same name; this
// one lives in the main window's namespace.
namespace mainwindow {

// The title the skin paints: the product's, or a distributor edition's when
// the edition value names one.
AnsiString MainWindowTitle(const std::string& edition);

// The main window's frame: the skin painted from the artwork under every
// other control (borders, the top band with the logo and the title, the
// status band), resize edges three pixels wide with a minimum size, the
// cut-corner window shape renewed on every resize, dragging the window by a
// press in the top 80 pixels of its own surface (once the pointer moves with
// the button held) and maximising by a double click in its top strip. It is the bottom-most control
// of the window's host and covers the whole window.
class THackForm : public TControl {
  public:
    explicit THackForm(GtkWindow* window);
    ~THackForm() override;

    // The caption-button strip whose maximise a double click toggles.
    TMinMaxCloseButton* CaptionButtons = nullptr;
    // Raised after the shape was renewed on a resize.
    std::function<void(int width, int height)> OnFormResize;

    int MinWidth() const { return minWidth_; }
    int MinHeight() const { return minHeight_; }
    void SetMinSize(int width, int height);
    const std::string& Edition() const { return edition_; }

    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void DblClick() override;

    // The skin alone, for a window of the given size.
    void PaintSkin(TCanvas& canvas, int width, int height) const;

  private:
    GtkWindow* window_;
    platform::ui::BorderlessFrame frame_;
    std::unique_ptr<TGPImage> background_, background2_, logo_;
    std::string edition_;
    int minWidth_ = 799;
    int minHeight_ = 400;
    bool pressed_ = false;
    int pressX_ = 0;
    int pressY_ = 0;
    int pressRootX_ = 0;
    int pressRootY_ = 0;
    uint32_t pressTime_ = 0;
};

}  // namespace mainwindow

#pragma once

#include <memory>

#include "controls/Control.h"
#include "controls/FormWindow.h"
#include "controls/GPImage.h"

// The caption buttons of a borderless window, drawn in its top-right corner:
// minimise, maximise or restore, close. The strip's free area drags the
// window; "maximise" makes the window fill the work area and "restore" puts
// back the rectangle it had. The window's placement is kept in set.ini, in
// section "WindowEx" followed by the caller's suffix.
class TMinMaxCloseButton : public TControl {
  public:
    TMinMaxCloseButton();
    ~TMinMaxCloseButton() override;

    enum Button { CloseButton = 0, MaxButton = 1, MinButton = 2 };

    int MaginRight = 0;
    // The close button hides the window to the notification area, where the
    // desktop shows one; elsewhere it closes the window.
    bool CloseToHide = false;

    // The window the strip acts on: the one set here, else its host's.
    TFormWindow* Form() const;
    void SetForm(TFormWindow* form) { form_ = form; }

    void LoadWindowPos(const AnsiString& suffix);
    void SaveWindowPos(const AnsiString& suffix);
    void ToggleMaximize();
    void HideToTray();
    void ClearHover();

    bool Maximized() const { return maximized_; }
    // The rectangle a restore goes back to.
    TRect SavedRect() const { return saved_; }
    // Button rectangles (laid out at every paint and resize), and each button's state
    // (0 normal, 1 hover, 2 pressed).
    TRect ButtonRect(Button button) const { return rects_[button]; }
    int ButtonState(Button button) const { return states_[button]; }

    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseLeave() override { ClearHover(); }
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void Click() override;

    // The five images of a strip: three-frame buttons and the background.
    struct Images {
        std::unique_ptr<TGPImage> close, min, max, restore, background;
    };

  protected:
    explicit TMinMaxCloseButton(Images images);

    void Resize() override;
    // A stored rectangle narrower than this is widened to it.
    virtual int MinStoredWidth() const { return 799; }
    // Where a window saved while filling the work area goes back to.
    virtual TRect FullScreenRect() const;
    // The work area of the form moved to the origin.
    TRect WorkAreaAtOrigin() const;

  private:
    void Layout();
    static int FrameWidth(const std::unique_ptr<TGPImage>& image) {
        return image ? image->Width() / 3 : 0;
    }

    Images images_;
    TFormWindow* form_ = nullptr;
    bool pressed_ = false;
    bool maximized_ = false;
    TRect saved_;
    TRect rects_[3];
    int states_[3] = {0, 0, 0};
};

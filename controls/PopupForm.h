#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "controls/PopupWindow.h"
#include "controls/Timer.h"
#include "controls/XCloseButton.h"
#include "controls/XStandardButton.h"

typedef struct _GtkWindow GtkWindow;

// One queued update notice.
struct TStoryListItemData {
    AnsiString SiteID, StoryID, StoryName;
    AnsiString SecondName;  // shown in square brackets: the author
    AnsiString LatestChapter;
};

// The main window and the reader have frame classes of the same name; the
// pop-up's lives in a namespace of its own.
namespace popup {

// The frame of the pop-up, under all its other controls: the painted border
// and title band from "XForm2", the title text, dragging the window by its
// top 80 pixels, and double clicks that do nothing.
class THackForm : public TControl {
  public:
    THackForm();
    ~THackForm() override;

    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void DblClick() override {}

  private:
    std::unique_ptr<TGPImage> frame_;
};

}  // namespace popup

// A text in the pop-up: one line, or broken into lines to fit its width.
class TPopupLabel : public TControl {
  public:
    bool WordWrap = false;
    void Paint(TCanvas& canvas) override;

  protected:
    void TextChanged() override { Invalidate(); }
};

// A picture at its own size.
class TPopupImage : public TControl {
  public:
    void SetPicture(std::unique_ptr<TGPImage> picture);
    void Paint(TCanvas& canvas) override;

  private:
    std::unique_ptr<TGPImage> picture_;
};

class TPopupForm;

// What workers keep to queue notices: each call hands a copy of the notice
// to the user-interface thread, where it is added to the pop-up while the
// pop-up lives. Safe from any thread; copies made on the UI thread.
class TPopupNotifier {
  public:
    TPopupNotifier() = default;
    void AddNotify(const AnsiString& SiteID, const AnsiString& StoryID, const AnsiString& StoryName,
                   const AnsiString& SecondName, const AnsiString& LatestChapter) const;

  private:
    friend class TPopupForm;
    explicit TPopupNotifier(std::weak_ptr<TPopupForm*> form) : form_(std::move(form)) {}
    std::weak_ptr<TPopupForm*> form_;
};

// The notice that followed stories have new chapters: a 320 x 150 window
// that slides up out of the lower right corner of the work area, shows the
// first queued notice, stays while the pointer rests on it and otherwise
// rolls down 60 seconds after the pointer last left it. Its read button hands
// the story back through OnReadStory. Everything here runs on the
// user-interface thread; workers queue notices through Notifier().
class TPopupForm {
  public:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 150;

    using TReadStoryEvent = std::function<void(TPopupForm* Sender, const AnsiString& SiteID,
                                               const AnsiString& StoryID)>;

    // The pop-up in a window of its own.
    explicit TPopupForm(std::unique_ptr<TPopupWindow> window);
    // The pop-up on the screen, over the monitor the main window is on.
    explicit TPopupForm(GtkWindow* mainWindow);
    ~TPopupForm();
    TPopupForm(const TPopupForm&) = delete;
    TPopupForm& operator=(const TPopupForm&) = delete;

    void AddNotify(const AnsiString& SiteID, const AnsiString& StoryID, const AnsiString& StoryName,
                   const AnsiString& SecondName, const AnsiString& LatestChapter);
    void ClearNotifies();
    bool HasNotify() const { return !Notifies.empty(); }
    void ShowNotify();
    void ShowCurrent();
    TPopupNotifier Notifier() const { return TPopupNotifier(alive_); }

    // Hides the pop-up and stops every timer.
    void Hide();
    bool Visible() const { return window_->Visible(); }
    bool RollingDown() const { return RollTimer.Enabled(); }
    int Left() const { return left_; }
    int Top() const { return top_; }
    int VisibleHeight() const { return visible_height_; }
    TPopupWindow& Window() const { return *window_; }

    std::vector<std::unique_ptr<TStoryListItemData>> Notifies;
    // The notice shown: -1 after creation, 0 after ClearNotifies. Nothing
    // moves it on, so the first queued notice is the one shown.
    int NotifyIndex = -1;
    AnsiString CurrentSiteID, CurrentStoryID;
    int TargetTop = 0;
    TReadStoryEvent OnReadStory;

  private:
    std::unique_ptr<TPopupWindow> window_;

  public:
    popup::THackForm Frame;
    TPopupLabel LastArtilceInfoLabel;
    TPopupLabel StoryNameLabel;
    TPopupImage BooKImage;
    TXCloseButton CloseButton;
    TXReaderButton2 ReaderButton;
    TTimer OpenTimer;
    TTimer MouseDetectTimer;
    TTimer CloseTimer;
    // Rolls the pop-up down step by step after CloseTimer.
    TTimer RollTimer;

  private:
    void FormCreate();
    void LayoutControls();
    void FormShow();
    void CloseButtonClick();
    void ReaderButtonClick();
    void OpenTimerTimer();
    void MouseDetectTimerTimer();
    void CloseTimerTimer();
    void RollTimerTimer();
    void MoveTo(int left, int top);

    int left_ = 0;
    int top_ = 0;
    int visible_height_ = kHeight;
    std::shared_ptr<TPopupForm*> alive_;
};

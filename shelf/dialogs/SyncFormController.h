#pragma once

#include <functional>
#include <memory>

#include "net/StoryDownLoad.h"
#include "shelf/dialogs/DialogCommon.h"

// Downloads every chapter of one story that is not cached yet, so that it
// can be read offline. The dialog ends well only when no chapter is missing
// afterwards; then the story goes to the local shelf.
class TSyncFormController {
  public:
    struct State {
        AnsiString Description;
        int Progress = 0;
        bool OKVisible = true;
        bool OKEnabled = true;
        AnsiString CancelCaption = A("取消");
        bool Done = false;     // every chapter is cached
        bool Running = false;  // a download runs
    };

    TSyncFormController(AnsiString siteID, AnsiString storyID);
    // Stops the download; no event of it arrives afterwards.
    ~TSyncFormController();
    TSyncFormController(const TSyncFormController&) = delete;
    TSyncFormController& operator=(const TSyncFormController&) = delete;

    const State& GetState() const { return state_; }
    std::function<void()> OnChanged;

    void FormShow();
    // The start button: downloads what is missing.
    void Start();
    // The close button: OK once the story is complete offline.
    int CloseResult() const;
    // After OK: the story is on the local shelf.
    bool MarkInLocalShelf() const;

    const AnsiString& SiteID() const { return siteID_; }
    const AnsiString& StoryID() const { return storyID_; }

  private:
    void Changed();
    void Progress(int done, int total, const AnsiString& name);
    void Finish(int failed);

    const AnsiString siteID_;
    const AnsiString storyID_;
    State state_;
    bool firstShow_ = true;
    TUiPoster poster_;
    std::unique_ptr<TStoryDownLoad> download_;
};

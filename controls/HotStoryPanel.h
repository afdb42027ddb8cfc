#pragma once

#include <functional>
#include <vector>

#include "controls/Control.h"

using TOnClickExEvent = std::function<void(TControl* Sender, const AnsiString& StoryName,
                                           const AnsiString& SearcheWords)>;

struct THotStoryData {
    AnsiString StoryName;    // shown
    AnsiString SearchWords;  // handed to the owner
    TRect Rect;              // set at paint; empty when not drawn
    bool Hover = false;
};

// One line of hot story names under the search box: names that do not fit
// whole are left out, and a click on a name asks the owner to search its
// words.
class THotStoryPanel : public TControl {
  public:
    THotStoryPanel();

    TOnClickExEvent OnClickEx;

    void AddStory(const AnsiString& storyName, const AnsiString& searchWords);
    void Clear();
    const std::vector<THotStoryData>& Stories() const { return stories_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void Click() override;

  private:
    std::vector<THotStoryData> stories_;
};

#pragma once

#include <memory>
#include <vector>

#include "controls/Control.h"
#include "controls/GPImage.h"
#include "controls/Timer.h"

struct TStoryPicData {
    std::unique_ptr<TGPImage> Picture;  // owned by the panel
    AnsiString URL;
};

// The rotating picture banner: one picture every 3 seconds, each linking to
// its address (read by the owner's OnClick handler through CurrentURL).
class TStoryPicPanel : public TControl {
  public:
    TStoryPicPanel();
    ~TStoryPicPanel() override;

    void AddPicture(std::unique_ptr<TGPImage> picture, const AnsiString& url);
    void NextPicture();
    void Clear();
    void UpdateVisible() { SetVisible(!pictures_.empty()); }

    // The link of the picture shown: only an http or https address, empty
    // otherwise (the links come from a downloaded story list).
    const AnsiString& CurrentURL() const { return current_url_; }
    int CurrentIndex() const { return index_; }
    const TGPImage* CurrentPicture() const { return current_; }
    size_t Count() const { return pictures_.size(); }
    const TTimer& Timer() const { return timer_; }

    void Paint(TCanvas& canvas) override;
    void MouseEnter() override;
    void MouseLeave() override;

  private:
    std::unique_ptr<TGPImage> background_;
    std::vector<TStoryPicData> pictures_;
    TTimer timer_;
    int index_ = -1;
    const TGPImage* current_ = nullptr;
    AnsiString current_url_;
};

#include "controls/StoryPicPanel.h"

#include "controls/ComponentGlobal.h"

TStoryPicPanel::TStoryPicPanel() : background_(LoadResourceImage("StoryPicPanelBG")), timer_(this) {
    SetBounds(0, 0, background_ ? background_->Width() : 233,
              background_ ? background_->Height() : 47);
    Cursor = TCursor::HandPoint;
    timer_.SetInterval(3000);
    timer_.OnTimer = [this] {
        // A failing picture must not take the main loop down with it.
        try {
            NextPicture();
        } catch (...) {
        }
    };
}

TStoryPicPanel::~TStoryPicPanel() = default;

void TStoryPicPanel::AddPicture(std::unique_ptr<TGPImage> picture, const AnsiString& url) {
    pictures_.push_back({std::move(picture), url});
}

void TStoryPicPanel::NextPicture() {
    ++index_;
    // Wrap also when the list became shorter than the index.
    if (index_ >= static_cast<int>(pictures_.size())) index_ = 0;
    if (index_ < static_cast<int>(pictures_.size())) {
        const TStoryPicData& data = pictures_[index_];
        current_ = data.Picture.get();
        current_url_ = IsWebURL(data.URL) ? data.URL : AnsiString();
        Invalidate();
    }
    timer_.SetEnabled(!pictures_.empty());
}

void TStoryPicPanel::Clear() {
    pictures_.clear();
    current_ = nullptr;
    current_url_.clear();
    index_ = -1;
    Invalidate();
}

void TStoryPicPanel::Paint(TCanvas& canvas) {
    if (pictures_.empty() || !current_) return;
    canvas.Draw(background_.get(), 0, 0);
    canvas.StretchDraw(current_, ClientRect().Shrunk(2));
}

void TStoryPicPanel::MouseEnter() {
    SetScreenCursor(TCursor::HandPoint);
}
void TStoryPicPanel::MouseLeave() {
    SetScreenCursor(TCursor::Default);
}

#include "controls/PopupForm.h"

#include <algorithm>

#include "controls/ComponentGlobal.h"
#include "platform/ui/UiThread.h"

namespace {

constexpr TColor kStoryName = RGB(136, 75, 19);
// The top of the frame that drags the window.
constexpr int kDragHeight = 80;
constexpr int kSlideStep = 10;
constexpr int kRollStep = 2;

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

}  // namespace

// --- THackForm -------------------------------------------------------------------

namespace popup {

THackForm::THackForm() : frame_(LoadResourceImage("XForm2")) {}

THackForm::~THackForm() = default;

void THackForm::Paint(TCanvas& canvas) {
    const TRect R = ClientRect();
    canvas.FillRect(R, clWhite);
    if (const TGPImage* img = frame_.get()) {
        const int w = img->Width(), h = img->Height(), half = w / 2;
        const auto src = [](int x, int y, int width, int height) {
            return TRect::FromSize(x, y, width, height);
        };
        // Edges stretched from one-pixel slices, then the four corners.
        canvas.StretchDraw(img, src(R.Right - 8, R.Top, 8, R.Height()), src(w - 8, h - 10, 8, 1));
        canvas.StretchDraw(img, src(R.Left, R.Bottom - 8, R.Width(), 8), src(half, h - 8, 1, 8));
        canvas.StretchDraw(img, src(R.Left, R.Top, 8, R.Height()), src(0, h - 10, 8, 1));
        canvas.StretchDraw(img, src(R.Left, R.Top, 8, 8), src(0, 0, 8, 8));
        canvas.StretchDraw(img, src(R.Right - 8, R.Top, 8, 8), src(w - 8, 0, 8, 8));
        canvas.StretchDraw(img, src(R.Right - 8, R.Bottom - 8, 8, 8), src(w - 8, h - 8, 8, 8));
        canvas.StretchDraw(img, src(R.Left, R.Bottom - 8, 8, 8), src(0, h - 8, 8, 8));
        // The title band, 90 pixels high, and its two ends.
        canvas.StretchDraw(img, src(R.Left + 2, R.Top, R.Width() - 4, 90), src(half, 0, 1, 90));
        canvas.StretchDraw(img, src(R.Left, R.Top, half, 90), src(0, 0, half, 90));
        canvas.StretchDraw(img, src(R.Right - w + half, R.Top, w - half, 90),
                           src(half, 0, w - half, 90));
    }
    canvas.Font = Font;
    canvas.Font.Color = clBlack;
    static const AnsiString title = A("更新提示");
    canvas.DrawText(title, {10, 4, 300, 20}, tf::Left | tf::Top);
}

void THackForm::MouseDown(TMouseButton button, TShiftState, int x, int y) {
    if (!TRect{0, 0, Width(), std::min(Height(), kDragHeight)}.Contains(x, y)) return;
    if (!Host()) return;
    // The window system takes the pointer over for the move.
    Host()->ReleaseCapture();
    if (TFormWindow* form = Host()->Form()) form->BeginMoveDrag();
}

}  // namespace popup

// --- TPopupLabel, TPopupImage ---------------------------------------------------------

void TPopupLabel::Paint(TCanvas& canvas) {
    canvas.Font = Font;
    canvas.DrawText(Caption(), ClientRect(), WordWrap ? tf::WordBreak : tf::SingleLine);
}

void TPopupImage::SetPicture(std::unique_ptr<TGPImage> picture) {
    picture_ = std::move(picture);
    if (picture_) SetBounds(Left(), Top(), picture_->Width(), picture_->Height());
    Invalidate();
}

void TPopupImage::Paint(TCanvas& canvas) {
    canvas.Draw(picture_.get(), 0, 0);
}

// --- TPopupNotifier --------------------------------------------------------------------

void TPopupNotifier::AddNotify(const AnsiString& SiteID, const AnsiString& StoryID,
                               const AnsiString& StoryName, const AnsiString& SecondName,
                               const AnsiString& LatestChapter) const {
    TStoryListItemData notice{SiteID, StoryID, StoryName, SecondName, LatestChapter};
    platform::ui::PostToUi([form = form_, notice = std::move(notice)] {
        // Runs on the UI thread, where the pop-up also dies.
        if (const std::shared_ptr<TPopupForm*> alive = form.lock())
            (*alive)->AddNotify(notice.SiteID, notice.StoryID, notice.StoryName, notice.SecondName,
                                notice.LatestChapter);
    });
}

// --- TPopupForm ------------------------------------------------------------------------

TPopupForm::TPopupForm(GtkWindow* mainWindow)
    : TPopupForm(std::make_unique<TGtkPopupWindow>(mainWindow, kWidth, kHeight)) {}

TPopupForm::TPopupForm(std::unique_ptr<TPopupWindow> window)
    : window_(std::move(window)),
      OpenTimer(&Frame),
      MouseDetectTimer(&Frame),
      CloseTimer(&Frame),
      RollTimer(&Frame),
      alive_(std::make_shared<TPopupForm*>(this)) {
    FormCreate();
}

TPopupForm::~TPopupForm() {
    window_->OnCloseQuery = nullptr;
    alive_.reset();
    Hide();
    ClearNotifies();
}

void TPopupForm::FormCreate() {
    TControlHost& host = window_->Host();
    Frame.SetBounds(0, 0, kWidth, kHeight);
    host.Add(Frame);
    StoryNameLabel.Font.Bold = true;
    StoryNameLabel.Font.Color = kStoryName;
    LastArtilceInfoLabel.WordWrap = true;
    BooKImage.SetPicture(LoadResourceImage("XBookNotify"));
    ReaderButton.SetCaption(A("立即阅读"));
    for (TControl* c : std::initializer_list<TControl*>{&LastArtilceInfoLabel, &StoryNameLabel,
                                                        &BooKImage, &CloseButton, &ReaderButton})
        host.Add(*c);
    CloseButton.OnClick = [this](TControl*) { CloseButtonClick(); };
    // A close request of the window system is the pop-up's own close.
    window_->OnCloseQuery = [this] { CloseButtonClick(); };
    ReaderButton.OnClick = [this](TControl*) { ReaderButtonClick(); };

    OpenTimer.SetInterval(10);
    OpenTimer.OnTimer = [this] { OpenTimerTimer(); };
    MouseDetectTimer.SetInterval(200);
    MouseDetectTimer.OnTimer = [this] { MouseDetectTimerTimer(); };
    CloseTimer.SetInterval(60000);
    CloseTimer.OnTimer = [this] { CloseTimerTimer(); };
    RollTimer.SetInterval(10);
    RollTimer.OnTimer = [this] { RollTimerTimer(); };
    LayoutControls();
}

void TPopupForm::LayoutControls() {
    const int W = kWidth, H = kHeight;
    CloseButton.SetBounds(W - 50, 0, 40, 17);
    BooKImage.SetBounds(12, 38, BooKImage.Width(), BooKImage.Height());
    StoryNameLabel.SetBounds(82, 38, W - 92, 20);
    LastArtilceInfoLabel.SetBounds(82, 65, W - 92, 70);
    ReaderButton.SetBounds(W - 102, H - 36, 82, 21);
}

void TPopupForm::FormShow() {
    LayoutControls();
    MouseDetectTimer.SetEnabled(true);
    OpenTimer.SetEnabled(true);
}

void TPopupForm::AddNotify(const AnsiString& SiteID, const AnsiString& StoryID,
                           const AnsiString& StoryName, const AnsiString& SecondName,
                           const AnsiString& LatestChapter) {
    Notifies.push_back(std::make_unique<TStoryListItemData>(
        TStoryListItemData{SiteID, StoryID, StoryName, SecondName, LatestChapter}));
}

void TPopupForm::ClearNotifies() {
    NotifyIndex = 0;
    Notifies.clear();
}

void TPopupForm::ShowCurrent() {
    if (NotifyIndex < 0 || NotifyIndex >= static_cast<int>(Notifies.size())) return;
    const TStoryListItemData& notice = *Notifies[NotifyIndex];
    CurrentSiteID = notice.SiteID;
    CurrentStoryID = notice.StoryID;
    static const AnsiString open = A("《"), close = A("》["), latest = A("最新章节:");
    StoryNameLabel.SetCaption(open + notice.StoryName + close + notice.SecondName + "]");
    LastArtilceInfoLabel.SetCaption(latest + notice.LatestChapter);
    Frame.Invalidate();
}

void TPopupForm::MoveTo(int left, int top) {
    left_ = left;
    top_ = top;
    window_->Move(left, top);
}

void TPopupForm::ShowNotify() {
    // Up, or on its way up: only the texts change.
    if (window_->Visible() && !RollTimer.Enabled()) {
        ShowCurrent();
        return;
    }
    RollTimer.SetEnabled(false);
    ShowCurrent();
    // The lower right corner of the work area of the main window's monitor,
    // wherever that area begins.
    const TRect area = window_->WorkArea();
    TargetTop = area.Bottom - kHeight;
    MoveTo(area.Right - kWidth, area.Bottom);
    visible_height_ = kHeight;
    window_->SetVisibleHeight(kHeight);
    window_->Show();
    FormShow();
}

void TPopupForm::OpenTimerTimer() {
    if (TargetTop < top_) {
        MoveTo(left_, top_ - kSlideStep);
    } else {
        MoveTo(left_, TargetTop);
        OpenTimer.SetEnabled(false);
    }
}

void TPopupForm::MouseDetectTimerTimer() {
    MouseDetectTimer.SetEnabled(false);
    // Enabling a running timer does not restart it: the wait counts from
    // the moment the pointer last left.
    CloseTimer.SetEnabled(!window_->PointerInside());
    MouseDetectTimer.SetEnabled(true);
}

void TPopupForm::CloseTimerTimer() {
    CloseTimer.SetEnabled(false);
    MouseDetectTimer.SetEnabled(false);
    OpenTimer.SetEnabled(false);
    // The user may have dragged the window meanwhile.
    const TPoint at = window_->Position();
    left_ = at.X;
    top_ = at.Y;
    RollTimer.SetEnabled(true);
}

void TPopupForm::RollTimerTimer() {
    visible_height_ = std::max(0, visible_height_ - kRollStep);
    if (visible_height_ <= 0) {
        Hide();
        return;
    }
    window_->SetVisibleHeight(visible_height_);
    MoveTo(left_, top_ + kRollStep);
}

void TPopupForm::Hide() {
    OpenTimer.SetEnabled(false);
    MouseDetectTimer.SetEnabled(false);
    CloseTimer.SetEnabled(false);
    RollTimer.SetEnabled(false);
    window_->Hide();
}

void TPopupForm::CloseButtonClick() {
    Hide();
}

void TPopupForm::ReaderButtonClick() {
    const AnsiString siteID = CurrentSiteID, storyID = CurrentStoryID;
    if (OnReadStory) OnReadStory(this, siteID, storyID);
    Hide();
}

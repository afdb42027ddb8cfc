#include "controls/SearchBox2.h"

#include "controls/ComponentGlobal.h"

namespace {
constexpr int kEditLeft = 30;
constexpr int kEditRightMargin = 8;  // the box's width minus 38 in all
}  // namespace

const AnsiString& TSearchBox2::Prompt() {
    static const AnsiString prompt = platform::Utf8ToAnsi("搜您想看的小说名...");
    return prompt;
}

TSearchBox2::TSearchBox2()
    : background_(LoadResourceImage("SearchBox2")),
      button_image_(LoadResourceImage("SearchBtn2")),
      edit_(*this) {
    edit_.OnClick = [this] { ClearPrompt(); };
    edit_.OnKeyPress = [this](char& key) { EnterKey(key); };
    SetBounds(0, 0, background_ ? background_->Width() : 340,
              background_ ? background_->Height() : 33);
    LayoutEdit();
}

TSearchBox2::~TSearchBox2() = default;

void TSearchBox2::ClearPrompt() {
    if (edit_.Text() == Prompt()) edit_.SetText(AnsiString());
}

void TSearchBox2::LayoutEdit() {
    edit_.Color = clWhite;
    edit_.SetBounds(TRect::FromSize(kEditLeft, 9, Width() - kEditLeft - kEditRightMargin, 18));
}

// The edit is anchored left, top and right: it keeps its right margin.
void TSearchBox2::Resize() {
    const TRect b = edit_.Bounds();
    edit_.SetBounds({b.Left, b.Top, std::max(b.Left, Width() - kEditRightMargin), b.Bottom});
    TControl::Resize();
}

void TSearchBox2::Paint(TCanvas& canvas) {
    const TRect client = ClientRect();
    canvas.FillRect(client, RGB(0xDC, 0xDC, 0xDC));
    if (background_) {
        // Both ends at their own width, the middle column stretched between.
        const int w = background_->Width(), h = background_->Height();
        const int half = w / 2;
        canvas.StretchDraw(background_.get(), TRect::FromSize(client.Left, client.Top, half, h),
                           TRect::FromSize(0, 0, half, h));
        canvas.StretchDraw(background_.get(),
                           TRect::FromSize(client.Right - half, client.Top, half, h),
                           TRect::FromSize(half, 0, w - half, h));
        canvas.StretchDraw(background_.get(),
                           TRect::FromSize(client.Left + half, client.Top, client.Right - w + 1, h),
                           TRect::FromSize(half, 0, 1, h));
    }
    // Off screen there is no edit widget: its text is shown where it would be.
    if (!edit_.Widget()) {
        const AnsiString text = edit_.Text();
        canvas.Font.Color = text == Prompt() ? RGB(0x99, 0x99, 0x99) : clBlack;
        canvas.DrawText(text, edit_.Bounds().Offset(2, 0), tf::SingleLine | tf::VCenter);
    }
}

void TSearchBox2::EnterKey(char& key) {
    if (key != 13) return;
    key = 0;
    if (OnClickEx) OnClickEx(this);
}

bool TSearchBox2::KeyPress(char& key) {
    EnterKey(key);
    return key == 0;
}

void TSearchBox2::MouseEnter() {
    hover_ = true;
    Invalidate();
}

void TSearchBox2::MouseLeave() {
    hover_ = false;
    Invalidate();
}

void TSearchBox2::MouseMove(TShiftState, int x, int y) {
    hover_ = ButtonArea.Contains(x, y);
}

void TSearchBox2::MouseDown(TMouseButton, TShiftState, int, int) {
    if (pressed_) return;
    pressed_ = true;
    Invalidate();
}

void TSearchBox2::MouseUp(TMouseButton, TShiftState, int, int) {
    if (!pressed_) return;
    pressed_ = false;
    Invalidate();
}

void TSearchBox2::Click() {
    TControl::Click();
    if (hover_ && OnClickEx) OnClickEx(this);
}

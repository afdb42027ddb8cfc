#include "controls/QuiraListBox.h"

#include <string>

#include "controls/ComponentGlobal.h"

namespace {

constexpr TColor kNormalText = RGB(0x4C, 0x4C, 0x4C);
constexpr TColor kAccentText = RGB(0x2B, 0x83, 0xD6);
constexpr TColor kCountText = RGB(0x00, 0x8F, 0xFE);
constexpr TColor kBackground = RGB(0xE2, 0xED, 0xF7);
constexpr TColor kEdge = RGB(0xB7, 0xD0, 0xE4);
constexpr int kMainRow = 35;
constexpr unsigned kLine = tf::SingleLine | tf::VCenter | tf::Left;

const AnsiString& MoreCaption() {
    static const AnsiString caption = platform::Utf8ToAnsi("更多...");
    return caption;
}

const AnsiString& RedGenre() {
    static const AnsiString caption = platform::Utf8ToAnsi("耽美");
    return caption;
}

// The colour and weight of a caption by its state (main classes, grid and
// count rows).
void StateFont(TCanvas& canvas, int state) {
    canvas.Font.Bold = state == 2 || state == 3;
    canvas.Font.Color = state >= 1 ? kAccentText : kNormalText;
}

// New state of an entry under the pointer; a selected entry keeps its look.
bool Track(int& state, bool inside, bool pressed) {
    if (state == 3) return false;
    const int next = inside ? (pressed ? 2 : 1) : 0;
    if (next == state) return false;
    state = next;
    return true;
}

}  // namespace

TQuiraListBox::TQuiraListBox()
    : mini_box_(LoadResourceImage("quiraMiniBox")),
      mini_box2_(LoadResourceImage("quiraMiniBox2")),
      line_(LoadResourceImage("quiraListboxLine")),
      today_hot_(LoadResourceImage("TodayHot")),
      min_icon_(LoadResourceImage("QuiraListBoxMinICON")),
      logo_(LoadResourceImage("TodayHotLogo")),
      close_(LoadResourceImage("QuiraListBoxClose")) {
    more_.Caption = MoreCaption();
    images_.Width = 32;
    images_.Height = 32;
    Font.Height = 14;
    SetBounds(0, 0, 200, 500);
}

TQuiraListBox::~TQuiraListBox() = default;

TNodeData* TQuiraListBox::AddMainClass(const AnsiString& caption, const AnsiString& id, int layout,
                                       int group) {
    auto entry = std::make_unique<TNodeData>();
    entry->Caption = caption;
    entry->ID = id;
    entry->Layout = layout;
    entry->Group = group;
    classes_.push_back(std::move(entry));
    Invalidate();
    return classes_.back().get();
}

TNodeData* TQuiraListBox::AddSubClass(TNodeData* parent, const AnsiString& caption,
                                      const AnsiString& id, const AnsiString& param1,
                                      const AnsiString& param2) {
    if (!parent) return nullptr;
    auto entry = std::make_unique<TNodeData>();
    entry->Caption = caption;
    entry->ID = id;
    entry->Param1 = param1;
    entry->Param2 = param2;
    parent->Children.push_back(std::move(entry));
    Invalidate();
    return parent->Children.back().get();
}

void TQuiraListBox::ClearSubClasses(TNodeData* parent) {
    if (!parent) return;
    parent->Children.clear();
    Invalidate();
}

void TQuiraListBox::Select(const TNodeData* entry) {
    for (auto& main : classes_) {
        main->State = main.get() == entry ? 3 : 0;
        for (auto& sub : main->Children) sub->State = sub.get() == entry ? 3 : 0;
    }
    Invalidate();
}

// Entries that a paint does not lay out must not stay clickable.
void TQuiraListBox::ForgetLayout() {
    for (auto& main : classes_) {
        main->Rect = {};
        for (auto& sub : main->Children) {
            sub->Rect = {};
            sub->CloseRect = {};
        }
    }
    more_.Rect = {};
}

void TQuiraListBox::Paint(TCanvas& canvas) {
    const TRect c = ClientRect();
    ForgetLayout();
    canvas.Font = Font;
    canvas.Font.Color = kNormalText;
    canvas.Font.Height = 12;
    canvas.FillRect(c, kBackground);
    int y = c.Top + 4;
    for (size_t i = 0; i < classes_.size(); ++i) {
        TNodeData& main = *classes_[i];
        canvas.Font.Height = 14;
        canvas.Font.Bold = false;
        const TPoint size = canvas.TextExtent(main.Caption);
        canvas.Draw(min_icon_.get(), c.Left + 30, y + 14);
        if (i > 0) {
            if (line_)
                canvas.StretchDraw(line_.get(),
                                   TRect::FromSize(c.Left, y, c.Width(), line_->Height()),
                                   TRect::FromSize(0, 0, line_->Width() - 1, line_->Height()));
        } else if (logo_) {
            canvas.Draw(logo_.get(), c.Right - logo_->Width(), y + 10);
        }
        StateFont(canvas, main.State);
        canvas.DrawText(main.Caption, {c.Left + 42, y, c.Right, y + kMainRow}, kLine);
        main.Rect = {c.Left + 42, y, c.Left + 42 + size.X, y + kMainRow};
        y += kMainRow;

        canvas.Font.Height = 12;
        canvas.Font.Bold = false;
        canvas.Font.Color = kNormalText;
        switch (main.Layout) {
            case 0:
                PaintCountRows(canvas, main, y);
                break;
            case 1:
                PaintGrid(canvas, main, y);
                break;
            case 2:
                PaintCloseRows(canvas, main, y);
                break;
            default:
                break;  // not shown, not clickable
        }
    }
    canvas.Line(c.Right - 1, c.Top, c.Right - 1, c.Bottom, kEdge);
}

void TQuiraListBox::PaintGrid(TCanvas& canvas, const TNodeData& parent, int& y) {
    const TRect c = ClientRect();
    int x = c.Left + 30;
    for (size_t k = 0; k < parent.Children.size(); ++k) {
        TNodeData& sub = *parent.Children[k];
        canvas.Font.Bold = false;
        const TPoint size = canvas.TextExtent(sub.Caption);
        sub.Rect = {x, y, x + size.X, y + size.Y};
        if (sub.State == 1) {
            const TGPImage* box = nullptr;
            int boxX = x;
            if (size.X == 24 && mini_box_) {
                box = mini_box_.get();
                boxX = x - (box->Width() - 24) / 2;
            } else if (size.X == 48 && mini_box2_) {
                box = mini_box2_.get();
                boxX = x - 5 - (box->Width() - 48) / 4;
            }
            if (box) canvas.Draw(box, boxX, y - (box->Height() - size.Y) / 2);
        }
        StateFont(canvas, sub.State);
        if (sub.Caption == RedGenre()) canvas.Font.Color = clRed;
        canvas.DrawText(sub.Caption, sub.Rect, kLine);
        x += 40;
        if ((k + 1) % 3 == 0 || k + 1 == parent.Children.size()) {
            x = c.Left + 30;
            y += 25;
        }
    }
    canvas.Font.Bold = false;
    canvas.Font.Color = kNormalText;
}

void TQuiraListBox::PaintCloseRows(TCanvas& canvas, const TNodeData& parent, int& y) {
    const TRect c = ClientRect();
    const int frame = close_ ? close_->Height() / 3 : 0;
    const auto drawMore = [&] {
        // Only where it fits whole: cut by the control's edge it could not
        // be read.
        if (y + 20 > Height()) return;
        canvas.Font.Color = more_.State != 0 ? kAccentText : kNormalText;
        const int moreWidth = canvas.TextWidth(more_.Caption);
        canvas.DrawText(more_.Caption, {c.Left + 30, y, c.Right - 12, y + 20},
                        tf::SingleLine | tf::VCenter | tf::Right);
        more_.Rect = {c.Right - 12 - moreWidth, y, c.Right - 12, y + 20};
    };
    for (size_t k = 0; k < parent.Children.size(); ++k) {
        // A row is drawn when "more" still fits below it, the last row when
        // it fits itself; otherwise "more" takes its place.
        const bool last = k + 1 == parent.Children.size();
        if (y + (last ? 20 : 40) > Height()) {
            drawMore();
            break;
        }
        TNodeData& sub = *parent.Children[k];
        const bool hovered = sub.State == 1 || sub.State == 2 || sub.CloseState != 0;
        canvas.Font.Color = hovered ? kAccentText : kNormalText;
        const int width = canvas.TextWidth(sub.Caption);
        canvas.DrawText(sub.Caption, {c.Left + 30, y, c.Right, y + 20}, kLine);
        sub.Rect = {c.Left + 30, y, c.Left + 30 + width, y + 20};
        if (close_) {
            sub.CloseRect =
                TRect::FromSize(c.Right - 30, y + (20 - frame) / 2 + 2, close_->Width(), frame);
            canvas.StretchDraw(
                close_.get(), sub.CloseRect,
                TRect::FromSize(0, sub.CloseState != 0 ? frame : 0, close_->Width(), frame));
        }
        y += 20;
        // A row that ends within the last 40 pixels is followed by "more",
        // the last row too: it leads to the whole list.
        if (Height() < y + 40) {
            drawMore();
            break;
        }
    }
    canvas.Font.Color = kNormalText;
}

void TQuiraListBox::PaintCountRows(TCanvas& canvas, const TNodeData& parent, int& y) {
    const TRect c = ClientRect();
    for (const auto& item : parent.Children) {
        TNodeData& sub = *item;
        sub.Rect = {c.Left, y, c.Right, y + 20};
        StateFont(canvas, sub.State);
        canvas.DrawText(sub.Caption, {c.Left + 40, y, c.Right, y + 20}, kLine);
        if (sub.Count > 0) {
            const int width = canvas.TextWidth(sub.Caption);
            canvas.Font.Bold = false;
            canvas.Font.Color = kCountText;
            canvas.DrawText(" (" + std::to_string(sub.Count) + ")",
                            {c.Left + 40 + width, y, c.Right, y + 20}, kLine);
        }
        y += 25;
    }
    canvas.Font.Bold = false;
    canvas.Font.Color = kNormalText;
}

void TQuiraListBox::MouseDown(TMouseButton, TShiftState, int, int) {
    if (pressed_) return;
    pressed_ = true;
    Invalidate();
}

void TQuiraListBox::MouseUp(TMouseButton, TShiftState, int, int) {
    if (!pressed_) return;
    pressed_ = false;
    Invalidate();
}

void TQuiraListBox::MouseMove(TShiftState, int x, int y) {
    bool changed = false, onEntry = false;
    const auto track = [&](int& state, const TRect& r) {
        const bool inside = r.Contains(x, y);
        onEntry |= inside;
        changed |= Track(state, inside, pressed_);
    };
    for (auto& main : classes_) {
        track(main->State, main->Rect);
        for (auto& sub : main->Children) {
            track(sub->State, sub->Rect);
            track(sub->CloseState, sub->CloseRect);
        }
    }
    track(more_.State, more_.Rect);
    SetScreenCursor(onEntry ? TCursor::HandPoint : TCursor::Default);
    if (changed) Invalidate();
}

void TQuiraListBox::MouseLeave() {
    SetScreenCursor(TCursor::Default);
}

void TQuiraListBox::Click() {
    TControl::Click();
    const TPoint p = CursorPos();
    for (auto& main : classes_) {
        if (main->Rect.Contains(p)) {
            const AnsiString id = main->ID;
            if (OnClickMainClass) OnClickMainClass(this, id);
            Select(main.get());
            return;
        }
    }
    for (auto& main : classes_) {
        for (auto& sub : main->Children) {
            // Copies: the handlers may rebuild the sub-items.
            const AnsiString parentId = main->ID, id = sub->ID, p1 = sub->Param1, p2 = sub->Param2;
            if (sub->Rect.Contains(p)) {
                Select(sub.get());
                if (parentId == "MyShelf") {
                    if (OnClickShelf) OnClickShelf(this, id);
                } else if (parentId == "StoryLib") {
                    if (OnClickShelfDetail) OnClickShelfDetail(this, id);
                } else if (parentId == "RecentRead") {
                    if (OnClickRecentRead) OnClickRecentRead(this, p1, p2);
                }
                return;
            }
            if (sub->CloseRect.Contains(p)) {
                if (OnDeleteRecentRead) OnDeleteRecentRead(this, p1, p2);
                return;
            }
        }
    }
    if (more_.Rect.Contains(p) && OnClickMainClass) OnClickMainClass(this, "RecentRead");
}

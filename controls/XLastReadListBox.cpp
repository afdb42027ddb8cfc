#include "controls/XLastReadListBox.h"

#include <algorithm>

#include "controls/ComponentGlobal.h"

namespace {

constexpr int kBarWidth = 17;
constexpr TColor kTitle = RGB(43, 131, 214);
constexpr TColor kText = kBookListText;
constexpr TColor kState = RGB(40, 152, 1);

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

struct Texts {
    AnsiString author = A(" [作者:"), close = A("]"), latest = A("最新章节: "),
               source = A("来源: "), updated = A("更新时间: "), state = A("状态: "),
               serialising = A("连载中");
};

const Texts& T() {
    static const Texts texts;
    return texts;
}

}  // namespace

bool TBookLastReadBoxItem::UpdateHotSpots(int X, int Y, bool Pressed, bool* onSpot) {
    bool on = false;
    const bool changed = UpdateButtons(X, Y, Pressed, on);
    if (onSpot) *onSpot = on;
    return changed;
}

TXLastReadListBox::TXLastReadListBox()
    : del_image_(LoadResourceImage("ListBoxDelBtn")),
      read_image_(LoadResourceImage("ListBoxReadBtn")),
      bar_background_(LoadResourceImage("ScroolBarBG")),
      bar_center_(LoadResourceImage("ScroolBarCenterBG")),
      bar_arrow_(LoadResourceImage("ScroolBarArrow")) {
    InitCovers(covers_);
}

TXLastReadListBox::~TXLastReadListBox() = default;

void TXLastReadListBox::AddBook(const AnsiString& SiteID, const AnsiString& StoryID,
                                const AnsiString& SiteName, const AnsiString& Title,
                                const AnsiString& Author, const AnsiString& LastArticleInfo,
                                const AnsiString& ArticleState, const AnsiString& ReadTime,
                                bool Flag, const AnsiString& CoverPath, int ArticleClassID) {
    auto row = std::make_unique<TBookLastReadBoxItem>();
    row->SiteID = SiteID;
    row->StoryID = StoryID;
    row->SiteName = SiteName;
    row->Title = Title;
    row->Author = Author;
    row->LastArticleInfo = LastArticleInfo;
    row->ArticleState = ArticleState;
    row->ReadTime = ReadTime;
    row->Flag = Flag ? 1 : 0;
    row->CoverPath = CoverPath;
    row->ArticleClassID = ArticleClassID;
    row->CoverIndex = -1;
    rows_.push_back(std::move(row));
    Invalidate();
}

void TXLastReadListBox::Clear() {
    rows_.clear();
    top_index_ = 0;
    Invalidate();
}

void TXLastReadListBox::Delete(int Index) {
    Extract(Index);
}

std::unique_ptr<TBookLastReadBoxItem> TXLastReadListBox::Extract(int Index) {
    if (Index < 0 || Index >= Count()) return nullptr;
    std::unique_ptr<TBookLastReadBoxItem> row = std::move(rows_[Index]);
    rows_.erase(rows_.begin() + Index);
    top_index_ = std::clamp(top_index_, 0, std::max(0, Count() - 1));
    ResetHotSpots();
    Invalidate();
    return row;
}

TBookLastReadBoxItem* TXLastReadListBox::Row(int Index) const {
    return Index >= 0 && Index < Count() ? rows_[Index].get() : nullptr;
}

void TXLastReadListBox::SetTopIndex(int Index) {
    Index = std::clamp(Index, 0, std::max(0, Count() - 1));
    if (Index == top_index_) return;
    top_index_ = Index;
    ResetHotSpots();
    Invalidate();
}

bool TXLastReadListBox::ScrollBarShown() const {
    return top_index_ > 0 || int64_t(Count()) * kRowHeight > Height();
}

TRect TXLastReadListBox::RowArea() const {
    return {0, 0, Width() - (ScrollBarShown() ? kBarWidth : 0), Height()};
}

int TXLastReadListBox::VisibleRows() const {
    return std::max(1, Height() / kRowHeight);
}

TRect TXLastReadListBox::ItemRect(int Index) const {
    return {0, (Index - top_index_) * kRowHeight, RowArea().Right,
            (Index - top_index_ + 1) * kRowHeight};
}

int TXLastReadListBox::ItemAtPos(TPoint Point) const {
    if (!RowArea().Contains(Point)) return -1;
    const int i = top_index_ + Point.Y / kRowHeight;
    return i < Count() ? i : -1;
}

void TXLastReadListBox::ForgetHotSpots() {
    for (const auto& row : rows_) row->ForgetHotSpots();
}

void TXLastReadListBox::ResetHotSpots() {
    for (const auto& row : rows_) row->ResetHotSpots();
}

void TXLastReadListBox::Resize() {
    ResetHotSpots();
    TControl::Resize();
    Invalidate();
}

void TXLastReadListBox::Paint(TCanvas& canvas) {
    // Only what this paint draws can be hit until the next one.
    ForgetHotSpots();
    canvas.FillRect(ClientRect(), clWhite);
    for (int i = top_index_; i < Count(); ++i) {
        const TRect r = ItemRect(i);
        if (r.Top >= Height()) break;
        canvas.Save();
        canvas.ClipRect(r);
        DrawRow(canvas, i, r, 0, 0);
        canvas.Restore();
    }
    if (ScrollBarShown()) {
        bar_.Paint(canvas, {bar_background_.get(), bar_center_.get(), bar_arrow_.get()},
                   {Width() - kBarWidth, 0, Width(), Height()}, int64_t(top_index_) * kRowHeight,
                   int64_t(std::max(0, Count() - 1)) * kRowHeight, VisibleRows() * kRowHeight);
    } else {
        bar_.UpArrowRect = bar_.ThumbRect = bar_.DownArrowRect = bar_.TrackRect = {};
    }
}

void TXLastReadListBox::DrawRow(TCanvas& canvas, int Index, const TRect& R, int Left, int Top) {
    TBookLastReadBoxItem& row = *rows_[Index];
    const Texts& t = T();
    canvas.Font = Font;
    DrawRowBackground(canvas, R, Index == SelectedIndex || Index == HoverIndex);

    DrawCover(canvas, covers_, row.CoverIndex, row.CoverPath, R.Left + 5, R.Top + 5);

    canvas.Font.Height = 12;
    const int x0 = R.Left + 69;
    const TPoint title =
        canvas.DrawStyledText(row.Title, {x0, R.Top + 4, 292, R.Bottom}, kTitle, true, 14);
    int x = x0 + title.X + 2;
    for (const AnsiString* piece :
         {&t.author, static_cast<const AnsiString*>(&row.Author), &t.close}) {
        const TPoint drawn =
            canvas.DrawStyledText(*piece, {x, R.Top + 4, 370, R.Bottom}, kText, false, 12);
        x += drawn.X + 2;
    }
    const int second = R.Top + title.Y + 6;
    canvas.DrawStyledText(t.latest + row.LastArticleInfo, {x0, second, R.Right - 100, R.Bottom},
                          kText, false, 12);
    const int third = second + canvas.TextHeight(t.close) + 3;
    canvas.DrawStyledText(t.source + row.SiteName, {x0, third, 296, R.Bottom}, kText, false, 12);
    if (!row.ReadTime.empty())
        canvas.DrawStyledText(t.updated + ExtractDateText(row.ReadTime),
                              {300, third, 446, R.Bottom}, kText, false, 12);
    // Every row reads as still being written, whatever was stored.
    row.ArticleState = t.serialising;
    const TPoint label =
        canvas.DrawStyledText(t.state, {450, third, R.Right - 100, R.Bottom}, kText, false, 12);
    canvas.DrawStyledText(row.ArticleState, {450 + label.X + 2, third, R.Right - 100, R.Bottom},
                          kState, false, 12);

    if (Index == HoverIndex)
        DrawHotButton(canvas, row, del_image_.get(), "Del", 375, R.Top + 4, Left, Top);
    DrawHotButton(canvas, row, read_image_.get(), "Browse", R.Right - 100, R.Top + 20, Left, Top);
}

void TXLastReadListBox::MouseDown(TMouseButton button, TShiftState, int x, int y) {
    mouse_down_ = true;
    if (ScrollBarShown()) {
        if (bar_.UpdateStates(x, y, true)) Invalidate();
        if (bar_.ThumbRect.Contains(x, y)) {
            bar_.Dragging = true;
            bar_.DragStartY = y;
            bar_.DragStartOffset = top_index_ * kRowHeight;
        }
    }
    const int i = ItemAtPos({x, y});
    if (button == TMouseButton::Left && i != -1 && i != SelectedIndex) {
        SelectedIndex = i;
        Invalidate();
    }
    ButtonDown = true;
    if (TBookLastReadBoxItem* row = Row(i))
        if (row->UpdateHotSpots(x, y, true)) Invalidate();
}

void TXLastReadListBox::MouseMove(TShiftState, int x, int y) {
    SetFocus();
    if (ScrollBarShown()) {
        if (bar_.UpdateStates(x, y, mouse_down_)) Invalidate();
        if (mouse_down_ && bar_.Dragging)
            SetTopIndex(int(RoundHalfEven(double(bar_.DragOffset(y)) / kRowHeight)));
    }
    bool onButton = false;
    const auto row = [this](int i) { return Row(i); };
    if (FollowPointer<TBookLastReadBoxItem>(HoverIndex, ItemAtPos({x, y}), row, x, y, ButtonDown,
                                            onButton))
        Invalidate();
    SetScreenCursor(onButton ? TCursor::HandPoint : TCursor::Default);
}

void TXLastReadListBox::MouseUp(TMouseButton, TShiftState, int x, int y) {
    mouse_down_ = false;
    if (ScrollBarShown() && bar_.UpdateStates(x, y, false)) Invalidate();
    bar_.Dragging = false;
    ButtonDown = false;
}

void TXLastReadListBox::MouseLeave() {
    if (TBookLastReadBoxItem* row = Row(HoverIndex))
        if (row->UpdateHotSpots(-1, -1, false)) Invalidate();
    SetScreenCursor(TCursor::Default);
}

bool TXLastReadListBox::ClickScrollBar(TPoint p) {
    if (!ScrollBarShown() || p.X < Width() - kBarWidth) return false;
    bar_.UpdateStates(p.X, p.Y, false);
    const int page = VisibleRows();
    if (bar_.PartState[0] == 0) {
        SetTopIndex(top_index_ - 1);
    } else if (bar_.PartState[2] == 0) {
        SetTopIndex(top_index_ + 1);
    } else if (bar_.PartState[1] == 2 && bar_.TrackRect.Contains(p)) {
        if (p.Y < bar_.ThumbRect.Top) SetTopIndex(top_index_ - page);
        if (p.Y >= bar_.ThumbRect.Bottom) SetTopIndex(top_index_ + page);
    }
    return true;
}

void TXLastReadListBox::Click() {
    TControl::Click();
    const TPoint p = CursorPos();
    if (ClickScrollBar(p)) return;
    HoverIndex = ItemAtPos(p);
    TBookLastReadBoxItem* row = Row(HoverIndex);
    if (!row) return;
    const AnsiString name = row->ButtonAt(p);
    // Copies: the handlers may change the list.
    const AnsiString siteID = row->SiteID, storyID = row->StoryID;
    const int index = HoverIndex;
    if (name == "Browse") {
        if (OnRead) OnRead(this, row, siteID, storyID, index);
    } else if (name == "Del" && OnDelete) {
        // The row goes first, so that the handler sees the list as it is now;
        // the row object lives until the handler returns.
        const std::unique_ptr<TBookLastReadBoxItem> removed = Extract(index);
        OnDelete(this, removed.get(), siteID, storyID, index);
    }
}

void TXLastReadListBox::DblClick() {
    const TPoint p = CursorPos();
    const int i = ItemAtPos(p);
    TBookLastReadBoxItem* row = Row(i);
    if (!row || !row->ButtonAt(p).empty() || !OnRead) return;
    const AnsiString siteID = row->SiteID, storyID = row->StoryID;
    OnRead(this, row, siteID, storyID, i);
}

bool TXLastReadListBox::KeyDown(unsigned key, TShiftState) {
    if (Count() == 0) return false;
    const int page = VisibleRows();
    const int from = SelectedIndex;
    int to = from;
    switch (key) {
        case vk::Up:
            to = from - 1;
            break;
        case vk::Down:
            to = from + 1;
            break;
        case vk::Prior:
            to = from - page;
            break;
        case vk::Next:
            to = from < 0 ? page - 1 : from + page;
            break;
        case vk::Home:
            to = 0;
            break;
        case vk::End:
            to = Count() - 1;
            break;
        default:
            return false;
    }
    to = std::clamp(to, 0, Count() - 1);
    if (to != SelectedIndex) {
        SelectedIndex = to;
        Invalidate();
    }
    // Only whole rows count as in view.
    if (to < top_index_)
        SetTopIndex(to);
    else if (to >= top_index_ + page)
        SetTopIndex(to - page + 1);
    return true;
}

bool TXLastReadListBox::MouseWheel(TShiftState, int delta, int x, int y) {
    const int before = top_index_;
    SetTopIndex(delta < 0 ? top_index_ + 1 : top_index_ - 1);
    if (top_index_ != before) {
        // The rows moved under a resting pointer: the row now under it is
        // the hovered one, and only the next paint's buttons can be hit.
        const int i = ItemAtPos({x, y});
        if (i != -1) HoverIndex = i;
    }
    return true;
}

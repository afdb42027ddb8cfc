#include "controls/CDListBox.h"

#include <algorithm>
#include <limits>

#include "controls/ComponentGlobal.h"

namespace {

constexpr int kBarWidth = 17;
constexpr TColor kFrameColor = 0x666666;

// Frame height of a strip of `frames` frames stacked vertically.
int FrameHeight(const TGPImage* image, int frames) {
    return image ? image->Height() / frames : 0;
}

TRect Frame(const TGPImage* image, int frameHeight, int frame) {
    return TRect::FromSize(0, frame * frameHeight, image ? image->Width() : 0, frameHeight);
}

int Clamp(int64_t value) {
    return int(std::clamp<int64_t>(value, std::numeric_limits<int>::min(),
                                   std::numeric_limits<int>::max()));
}

}  // namespace

// --- TCDScrollBar --------------------------------------------------------------

bool TCDScrollBar::UpdateStates(int X, int Y, bool Pressed) {
    const TRect* parts[3] = {&UpArrowRect, &ThumbRect, &DownArrowRect};
    bool changed = false;
    for (int i = 0; i < 3; ++i) {
        const bool inside = parts[i]->Contains(X, Y);
        const uint8_t state = inside ? (Pressed ? 1 : 0) : 2;
        changed |= state != PartState[i];
        PartState[i] = state;
    }
    return changed;
}

int64_t TCDScrollBar::DragOffset(int y) const {
    // A list 34 pixels high or less has no track to map the range onto.
    if (TrackLength <= 0) return DragStartOffset;
    return DragStartOffset + RoundHalfEven(double(y - DragStartY) * double(Range) / TrackLength);
}

void TCDScrollBar::Paint(TCanvas& canvas, const Images& images, const TRect& bar, int64_t position,
                         int64_t range, int pageStep) {
    const TGPImage* bg = images.Background;
    const int f = FrameHeight(bg, 4);
    const int a = FrameHeight(images.Arrow, 20);
    const int c = FrameHeight(images.Center, 3);
    TrackRect = {bar.Left, bar.Top + f, bar.Right, bar.Bottom - f};

    // The track: the first row of frame 3 stretched over the bar, then frame
    // 3 whole at its bottom.
    if (bg) {
        canvas.StretchDraw(bg, bar, TRect::FromSize(0, 3 * f, bg->Width(), 1));
        canvas.StretchDraw(bg, {bar.Left, bar.Bottom - f, bar.Right, bar.Bottom}, Frame(bg, f, 3));
    }

    // Background frames by state: 0 inside, 1 pressed, 2 outside. Glyphs:
    // normal, inside, pressed from the first frame of each arrow.
    static constexpr int kGlyphOffset[3] = {1, 2, 0};
    const auto arrow = [&](const TRect& r, uint8_t state, int firstGlyph) {
        if (bg) canvas.StretchDraw(bg, r, Frame(bg, f, state));
        if (const TGPImage* glyphs = images.Arrow) {
            const int x = r.Left + (r.Width() - glyphs->Width()) / 2 - 1;
            const int y = r.Top + (r.Height() - a) / 2;
            canvas.StretchDraw(glyphs, TRect::FromSize(x, y, glyphs->Width(), a),
                               Frame(glyphs, a, firstGlyph + kGlyphOffset[state]));
        }
    };
    UpArrowRect = {bar.Left, bar.Top, bar.Right, bar.Top + f};
    arrow(UpArrowRect, PartState[0], 0);
    DownArrowRect = {bar.Left, bar.Bottom - f, bar.Right, bar.Bottom};
    arrow(DownArrowRect, PartState[2], 4);

    PageStep = pageStep;
    Position = position;
    Range = range;
    MinThumb = f;
    TrackLength = bar.Height() - 2 * f;

    // MulDiv answers -1 for a range of 0 and a negative length for a negative
    // range, so short lists get the smallest thumb.
    const int thumb =
        std::max(MinThumb, std::min(TrackLength, MulDiv(TrackLength, PageStep, Clamp(Range))));
    const int64_t thumbPos =
        Range <= 0 ? 0 : RoundHalfEven(double(Position) / double(Range) * (TrackLength - thumb));
    const int top = Clamp(bar.Top + f + thumbPos);
    ThumbRect = {bar.Left, top, bar.Right, top + thumb};

    if (bg) {
        // The body in three slices: 4 rows, the middle stretched, 4 rows.
        const TRect frame = Frame(bg, f, PartState[1]);
        const TRect& t = ThumbRect;
        canvas.StretchDraw(bg, {t.Left, t.Top, t.Right, t.Top + 4},
                           {frame.Left, frame.Top, frame.Right, frame.Top + 4});
        canvas.StretchDraw(bg, {t.Left, t.Top + 4, t.Right, t.Bottom - 4},
                           {frame.Left, frame.Top + 4, frame.Right, frame.Bottom - 4});
        canvas.StretchDraw(bg, {t.Left, t.Bottom - 4, t.Right, t.Bottom},
                           {frame.Left, frame.Bottom - 4, frame.Right, frame.Bottom});
    }
    if (const TGPImage* grip = images.Center) {
        static constexpr int kGripFrame[3] = {1, 2, 0};
        const int x = ThumbRect.Left + (ThumbRect.Width() - grip->Width()) / 2;
        const int y = ThumbRect.Top + (ThumbRect.Height() - c) / 2;
        canvas.StretchDraw(grip, TRect::FromSize(x, y, grip->Width(), c),
                           Frame(grip, c, kGripFrame[PartState[1]]));
    }
}

// --- TCDListBox ----------------------------------------------------------------

TCDListBox::TCDListBox()
    : bar_background_(LoadResourceImage("ScroolBarBG")),
      bar_center_(LoadResourceImage("ScroolBarCenterBG")),
      bar_arrow_(LoadResourceImage("ScroolBarArrow")) {}

TCDListBox::~TCDListBox() {
    Items.clear();
}

void TCDListBox::Clear() {
    Items.clear();
    ContentTotal = 0;
    top_offset_ = 0;
    ForgetHotSpots();
}

void TCDListBox::AddItem(std::unique_ptr<TCDListBoxItem> Item) {
    if (!Item) return;
    Items.push_back(std::move(Item));
    LayoutItem(Count() - 1);
    Invalidate();
}

void TCDListBox::Delete(int Index) {
    if (Index < 0 || Index >= Count()) return;
    Items.erase(Items.begin() + Index);
    LayoutItems();
    Invalidate();
}

TCDListBoxItem* TCDListBox::Item(int Index) const {
    return Index >= 0 && Index < Count() ? Items[Index].get() : nullptr;
}

void TCDListBox::LayoutItem(int Index) {
    TCDListBoxItem* item = Item(Index);
    if (!item) return;
    item->Index = Index;
    int h = 0;
    GetItemHeight(Index, h);
    item->ItemRect = ItemArea();
    item->ItemRect.Top = ContentTotal;
    item->ItemRect.Bottom = ContentTotal + h;
    ContentTotal += h;
}

void TCDListBox::LayoutItems() {
    ContentTotal = 0;
    for (int i = 0; i < Count(); ++i) LayoutItem(i);
    ForgetHotSpots();
    KeepOffsetInRange();
}

void TCDListBox::KeepOffsetInRange() {
    // Items that went or shrank, or a taller list, may leave the offset past
    // the end: what is left would be drawn above the view, the thumb below
    // the track.
    const int limit = std::max(0, ContentHeight() - Height() / 2);
    if (top_offset_ <= limit) return;
    top_offset_ = limit;
    ForgetHotSpots();
    Invalidate();
}

int TCDListBox::ContentHeight() const {
    return Items.empty() ? 0 : Items.back()->ItemRect.Bottom;
}

int TCDListBox::ItemAtPos(int X, int Y) const {
    const int y = Y + top_offset_;
    for (int i = 0; i < Count(); ++i)
        if (Items[i]->ItemRect.Contains(X, y)) return i;
    return -1;
}

void TCDListBox::SetTopOffset(int Value) {
    if (Value < 0) {
        Value = 0;
    } else {
        // The end of the list may scroll up to the middle of the control.
        const int limit = ContentHeight() - Height() / 2;
        if (Value > limit) Value = std::max(0, limit);
    }
    if (Value == top_offset_) return;
    top_offset_ = Value;
    ForgetHotSpots();
    Invalidate();
}

int TCDListBox::PageStep() const {
    const int v = ItemArea().Height();
    return v - int(std::min<int64_t>(20, std::max<int64_t>(10, RoundHalfEven(v * 0.1))));
}

void TCDListBox::DrawItem(TCanvas& canvas, int Index, const TRect& ARect, int OffsetX,
                          int OffsetY) {
    const TCDListBoxItem* item = Item(Index);
    if (!item) return;
    const TRect r = ARect.Offset(OffsetX, OffsetY);
    canvas.FrameRect(r, kFrameColor);
    canvas.DrawText(item->Caption, r.Shrunk(2), tf::Left | tf::Top);
}

void TCDListBox::Paint(TCanvas& canvas) {
    canvas.FillRect(ClientRect(), clWhite);
    const TRect area = ItemArea();
    const int first = std::max(0, ItemAtPos(area.Width() / 2, 0));
    int last = ItemAtPos(area.Width() / 2, area.Bottom);
    if (last == -1) last = Count() - 1;
    for (int i = first; i <= last; ++i) {
        TRect& r = Items[i]->ItemRect;
        // From the first paint on, the bar's column is no part of an item.
        r.Left = area.Left;
        r.Right = area.Right - kBarWidth;
        DrawItem(canvas, i, r.Offset(0, -top_offset_), 0, 0);
    }
    const TRect bar{area.Right - kBarWidth, 1, area.Right, area.Bottom};
    ScrollBar.Paint(canvas, {bar_background_.get(), bar_center_.get(), bar_arrow_.get()}, bar,
                    top_offset_, int64_t(ContentHeight()) - Height() / 2, PageStep());
}

void TCDListBox::Resize() {
    ForgetHotSpots();
    KeepOffsetInRange();
    TControl::Resize();
}

void TCDListBox::MouseDown(TMouseButton, TShiftState, int x, int y) {
    MouseIsDown = true;
    if (ScrollBar.UpdateStates(x, y, true)) Invalidate();
    if (ScrollBar.ThumbRect.Contains(x, y)) {
        ScrollBar.Dragging = true;
        ScrollBar.DragStartY = y;
        ScrollBar.DragStartOffset = top_offset_;
    }
}

void TCDListBox::MouseMove(TShiftState, int x, int y) {
    SetFocus();
    if (ScrollBar.UpdateStates(x, y, MouseIsDown)) Invalidate();
    if (MouseIsDown && ScrollBar.Dragging) SetTopOffset(Clamp(ScrollBar.DragOffset(y)));
}

void TCDListBox::MouseUp(TMouseButton, TShiftState, int x, int y) {
    MouseIsDown = false;
    if (ScrollBar.UpdateStates(x, y, false)) Invalidate();
    ScrollBar.Dragging = false;
}

bool TCDListBox::MouseWheel(TShiftState, int delta, int, int) {
    // One page per notch, whatever the delta.
    SetTopOffset(delta < 0 ? top_offset_ + PageStep() : top_offset_ - PageStep());
    return true;
}

void TCDListBox::Click() {
    TControl::Click();
    SetFocus();
    const TPoint p = CursorPos();
    ScrollBar.UpdateStates(p.X, p.Y, false);
    const uint8_t* s = ScrollBar.PartState;
    int next = top_offset_;
    bool chosen = false;
    if (s[0] == 0) {
        next = top_offset_ - PageStep();
        chosen = true;
    } else if (s[2] == 0) {
        next = top_offset_ + PageStep();
        chosen = true;
    } else if (s[0] == 2 && s[1] == 2 && s[2] == 2 && ScrollBar.TrackRect.Contains(p)) {
        if (p.Y < ScrollBar.ThumbRect.Top) {
            next = top_offset_ - PageStep();
            chosen = true;
        } else if (p.Y >= ScrollBar.ThumbRect.Bottom) {
            next = top_offset_ + PageStep();
            chosen = true;
        }
    }
    if (chosen) SetTopOffset(next);
}

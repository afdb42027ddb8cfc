#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "controls/Control.h"
#include "controls/GPImage.h"

// The common base of the objects the lists hand to their event handlers as
// "the list item"; handlers cast it to the item class of the list.
class TObject {
  public:
    virtual ~TObject() = default;
};

// One item of a TCDListBox; subclasses add their data.
class TCDListBoxItem : public TObject {
  public:
    // The item's position in the list, rewritten at every layout.
    int Index = 0;
    // Drawn only by the base DrawItem.
    AnsiString Caption;
    // The item's rectangle in content coordinates: Top is the sum of the
    // heights of the items before it.
    TRect ItemRect;
};

// State and geometry of the list's own scroll bar. Painting writes the
// geometry; the mouse handlers read the values of the last paint.
class TCDScrollBar {
  public:
    // Up arrow (0), thumb (1), down arrow (2): 0 pointer inside, 1 pressed
    // inside, 2 outside.
    uint8_t PartState[3] = {2, 2, 2};
    int64_t Range = 0;     // the largest offset
    int TrackLength = 0;   // bar height less both arrows
    int64_t Position = 0;  // the offset at the last paint
    int MinThumb = 0;
    int PageStep = 0;
    int DragStartOffset = 0;
    int DragStartY = 0;
    bool Dragging = false;
    TRect UpArrowRect, ThumbRect, DownArrowRect, TrackRect;

    // The three images the bar is drawn from, owned by the list.
    struct Images {
        const TGPImage* Background = nullptr;  // "ScroolBarBG"
        const TGPImage* Center = nullptr;      // "ScroolBarCenterBG"
        const TGPImage* Arrow = nullptr;       // "ScroolBarArrow"
    };

    // The states of the three parts for a point; true when any changed.
    bool UpdateStates(int X, int Y, bool Pressed);
    // Lays the bar out in rectangle `bar` (client coordinates) for the scroll
    // model given, stores the geometry and draws it.
    void Paint(TCanvas& canvas, const Images& images, const TRect& bar, int64_t position,
               int64_t range, int pageStep);
    // The offset a thumb drag to y gives; the drag maps the whole track to the
    // whole range. A bar with no track moves nothing.
    int64_t DragOffset(int y) const;
};

// The base of the book lists: an owned list of items of varying height,
// scrolled by pixels, with a 17-pixel scroll bar drawn from three images.
// Subclasses draw the items and tell their heights.
class TCDListBox : public TControl {
  public:
    TCDListBox();
    ~TCDListBox() override;

    // Frees every item; the offset goes back to 0. Does not repaint.
    virtual void Clear();
    // Appends the item (the list owns it), lays it out and repaints.
    void AddItem(std::unique_ptr<TCDListBoxItem> Item);
    // Takes out the item at Index (freeing it), lays the list out again and
    // repaints; an index outside the list does nothing.
    void Delete(int Index);
    int Count() const { return static_cast<int>(Items.size()); }
    TCDListBoxItem* Item(int Index) const;

    void LayoutItem(int Index);
    // Lays every item out again, in order, and brings the offset back within
    // the content; repaints only when the offset had to move.
    void LayoutItems();
    // Bottom of the last item; 0 for an empty list.
    int ContentHeight() const;
    // The first item whose rectangle holds (X, Y + TopOffset), or -1.
    int ItemAtPos(int X, int Y) const;
    int TopOffset() const { return top_offset_; }
    void SetTopOffset(int Value);
    int PageStep() const;
    // The item area: the client rectangle less its last column and row.
    TRect ItemArea() const { return {0, 0, Width() - 1, Height() - 1}; }

    std::vector<std::unique_ptr<TCDListBoxItem>> Items;
    int ContentTotal = 0;
    bool MouseIsDown = false;
    TCDScrollBar ScrollBar;

    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    bool MouseWheel(TShiftState shift, int delta, int x, int y) override;
    void Click() override;
    bool CanFocus() const override { return true; }

  protected:
    // Draws item Index into ARect (client coordinates) moved by the offsets.
    virtual void DrawItem(TCanvas& canvas, int Index, const TRect& ARect, int OffsetX, int OffsetY);
    // The list passes Height in as 0; subclasses set it.
    virtual void GetItemHeight(int Index, int& Height) {}
    // What the last paint drew moved or went away (a new layout, a new
    // offset): subclasses forget the hot spots they registered then, so that
    // nothing is hit that is not on the screen.
    virtual void ForgetHotSpots() {}
    void Resize() override;

  private:
    void KeepOffsetInRange();

    std::unique_ptr<TGPImage> bar_background_, bar_center_, bar_arrow_;
    int top_offset_ = 0;
};

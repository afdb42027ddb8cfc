#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "controls/BookListBox.h"

// One row of the recent-read list: one story read.
class TBookLastReadBoxItem : public TObject, public THotButtons {
  public:
    AnsiString SiteID, StoryID, SiteName, Title, Author, LastArticleInfo;
    AnsiString ArticleState, ReadTime;
    uint8_t Flag = 0;
    // A UTF-8 file path, like every folder text.
    AnsiString CoverPath;
    int ArticleClassID = 0;
    // The cover's index in the list's covers; -1 until the first paint.
    int CoverIndex = -1;

    // Button states for the pointer at (X, Y); true when any changed.
    bool UpdateHotSpots(int X, int Y, bool Pressed, bool* onSpot = nullptr);
    // Before a paint: only what it draws can be hit.
    void ForgetHotSpots() { ForgetButtons(); }
    // The row moved: nothing of it stays lit.
    void ResetHotSpots() { ResetButtons(); }
};

// The reading history: one 70-pixel row per story in the order added, with
// cover, title, author, latest chapter, site, read date and state, a read
// button and, on the row under the pointer, a delete button. Scrolls by
// whole rows: one per wheel notch; a scroll bar shows when the rows do not
// fit. The arrow and page keys move the selection as in a list box.
class TXLastReadListBox : public TControl, public TBookListState {
  public:
    static constexpr int kRowHeight = 70;

    TXLastReadListBox();
    ~TXLastReadListBox() override;

    // Appends one row (no grouping). CoverPath is a UTF-8 path.
    void AddBook(const AnsiString& SiteID, const AnsiString& StoryID, const AnsiString& SiteName,
                 const AnsiString& Title, const AnsiString& Author,
                 const AnsiString& LastArticleInfo, const AnsiString& ArticleState,
                 const AnsiString& ReadTime, bool Flag, const AnsiString& CoverPath,
                 int ArticleClassID);
    // Frees every row.
    void Clear();
    // Takes out (and frees) the row at Index.
    void Delete(int Index);
    int Count() const { return static_cast<int>(rows_.size()); }
    TBookLastReadBoxItem* Row(int Index) const;

    int TopIndex() const { return top_index_; }
    // Kept within 0 and the last row; repaints on a change.
    void SetTopIndex(int Index);
    // The row at a client point, or -1.
    int ItemAtPos(TPoint Point) const;
    // The row's rectangle in client coordinates (it may lie outside).
    TRect ItemRect(int Index) const;
    // Whether the scroll bar shows: the rows do not fit, or the list is
    // scrolled.
    bool ScrollBarShown() const;
    const TCDScrollBar& ScrollBar() const { return bar_; }
    TGPImageList& Covers() { return covers_; }

    void Paint(TCanvas& canvas) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseLeave() override;
    void Click() override;
    void DblClick() override;
    bool MouseWheel(TShiftState shift, int delta, int x, int y) override;
    // The keys of a list box: the arrows move the selection a row, the page
    // keys a page, Home and End to either end, and the selected row is
    // scrolled into view.
    bool KeyDown(unsigned key, TShiftState shift) override;
    bool CanFocus() const override { return true; }

  protected:
    void DrawRow(TCanvas& canvas, int Index, const TRect& R, int Left, int Top);
    void Resize() override;

  private:
    // Nothing painted before stays hot: rows moved or went away.
    void ForgetHotSpots();
    // Rows moved or went away: nothing stays hot or lit.
    void ResetHotSpots();
    int VisibleRows() const;
    TRect RowArea() const;
    bool ClickScrollBar(TPoint p);
    // Takes the row out of the list; the caller frees it.
    std::unique_ptr<TBookLastReadBoxItem> Extract(int Index);

    std::vector<std::unique_ptr<TBookLastReadBoxItem>> rows_;
    std::unique_ptr<TGPImage> del_image_, read_image_;
    std::unique_ptr<TGPImage> bar_background_, bar_center_, bar_arrow_;
    TGPImageList covers_;
    TCDScrollBar bar_;
    int top_index_ = 0;
    bool mouse_down_ = false;
};

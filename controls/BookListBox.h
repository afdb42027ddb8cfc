#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/CDListBox.h"
#include "controls/GPImageList.h"

// The event of every book list: the list, the item object (the book or the
// row, nil when it is gone), the SiteID and StoryID concerned, an index.
using TShelfListBoxEvent =
    std::function<void(TControl* Sender, TObject* ListItem, const AnsiString& SiteID,
                       const AnsiString& StoryID, int Index)>;

// One hot button of a book or row, registered by the last paint.
struct TButtonData {
    AnsiString Name;
    TRect ButtonRect;   // client coordinates of the last paint
    uint8_t State = 2;  // 0 pressed, 1 pointer inside, 2 normal
};

// One source row of a book: the site that has it.
struct TBookData {
    AnsiString SiteID, ArticleID, SiteName;
    AnsiString LastArticleInfo;  // the latest chapter's text
    AnsiString UpdateTime;
    AnsiString Tag;     // as the search reported it; kept, not shown
    uint8_t Flag = 0;   // the shelf keeps its update flag here; not drawn
    TRect RowRect;      // client coordinates of the last paint
    uint8_t Hover = 2;  // 1 pointer on the row, 2 not
};

// The hot buttons of a book or row. A record, once registered, stays.
class THotButtons {
  public:
    std::vector<TButtonData> Buttons;

    // Updates the rectangle of the button of exactly that name, or appends it.
    void SetButton(const AnsiString& Name, const TRect& Rect);
    // The state of that button; 2 when there is none.
    uint8_t ButtonState(const AnsiString& Name) const;
    // The name of the first button holding the point, or empty.
    AnsiString ButtonAt(TPoint Point) const;

  protected:
    // Button states for the pointer at (X, Y); true when any changed. on
    // becomes true when the point is on a button.
    bool UpdateButtons(int X, int Y, bool Pressed, bool& on);
    // Empties the rectangles of the last paint.
    void ForgetButtons();
    // The buttons moved: their rectangles go and every one is normal again.
    void ResetButtons();
};

// A book of the search-result and shelf lists: one title and author, with
// one source row per site, sorted by update time.
class TBookListBoxItem : public TCDListBoxItem, public THotButtons {
  public:
    std::vector<TBookData> Sources;
    // Of the record that made the book.
    AnsiString Title, Author, SiteID, ArticleID, SiteName, LastArticleInfo;
    AnsiString ArticleState, UpdateTime;
    bool IsConcern = false;
    // A UTF-8 file path, like every folder text.
    AnsiString CoverPath;
    bool HaveUpdate = false;
    // The cover's index in the list's covers; -1 until the first paint.
    int CoverIndex = -1;

    // Appends a row and sorts the rows by update time, oldest first; rows
    // with equal times keep the order they came in.
    void AddSource(const AnsiString& SiteID, const AnsiString& ArticleID,
                   const AnsiString& SiteName, const AnsiString& LastArticleInfo,
                   const AnsiString& UpdateTime, const AnsiString& Tag, uint8_t Flag);
    // Button states and row hovers for the pointer at (X, Y); true when any
    // changed. onSpot, when given, tells whether the point is on a button or
    // a row.
    bool UpdateHotSpots(int X, int Y, bool Pressed, bool* onSpot = nullptr);
    // Empties the rectangles of the last paint and puts every button and row
    // back to normal (the records stay).
    void ForgetHotSpots();
};

// What every book list publishes: the book or row last pressed (-1 at
// creation) and the one last under the pointer, whether a mouse button is
// down, and the six events of the shared wiring (each list raises some).
struct TBookListState {
    int SelectedIndex = -1;
    int HoverIndex = 0;
    bool ButtonDown = false;

    TShelfListBoxEvent OnRead;
    TShelfListBoxEvent OnAddShelf;
    TShelfListBoxEvent OnMoveShelf;
    TShelfListBoxEvent OnDelete;
    TShelfListBoxEvent OnConcern;
    TShelfListBoxEvent OnCancelConcern;
};

// How the source rows of a book are laid out.
struct TRowLayout {
    int Left = 20;         // the rows' left edge, from the book's left
    bool Numbered = true;  // "n、" before the latest chapter
    int TextLeft = 2;      // the latest chapter, from the rows' left edge
    int TextRight = 252;
    int SourceRight = 490;                  // the site name ends here, from the rows' left edge
    const TGPImage* DeleteImage = nullptr;  // a "Del" + n button on each row
};

// What the search-result and shelf lists share: books with source rows and
// hot buttons, grouping, selection and hover, the row height, the drawing
// of a book and the mouse handling around it. The subclasses add their own
// parts and clicks.
class TBookListBox : public TCDListBox, public TBookListState {
  public:
    TBookListBox();
    ~TBookListBox() override;

    TBookListBoxItem* Book(int Index) const;

    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseMove(TShiftState shift, int x, int y) override;
    void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
    void MouseLeave() override;
    // The second press of a double click is consumed: no second click.
    void DblClick() override {}

  protected:
    void GetItemHeight(int Index, int& Height) override;
    void ForgetHotSpots() override;
    void Resize() override;

    // The first book of that title and, unless author is empty, that author
    // (exact comparisons), or -1.
    int FindBook(const AnsiString& title, const AnsiString& author) const;
    // Adds a record: its row joins the book of its title (and author, unless
    // empty), and the list is laid out again without a repaint; or `make`
    // gives a new book, which takes the record's fields and is appended.
    void AddRecord(const AnsiString& Title, const AnsiString& Author, const TBookData& row,
                   const std::function<std::unique_ptr<TBookListBoxItem>()>& make);
    // The source rows of book Index under its title (of height titleHeight),
    // with their hover, texts, delete and read buttons.
    void DrawRows(TCanvas& canvas, int Index, TBookListBoxItem& book, const TRect& R,
                  int titleHeight, int OffsetX, int OffsetY, const TRowLayout& layout);
    // The book's background (highlighted when selected or hovered) and its
    // bottom line; sets the canvas font for the texts.
    void DrawBackground(TCanvas& canvas, int Index, const TRect& R);
    // Title and author from x; answers the height of the title text.
    int DrawTitle(TCanvas& canvas, const TBookListBoxItem& book, const TRect& R, int x,
                  int authorRight);
    // The number after the first `skip` characters of a button name (0 when
    // it is none).
    static int ButtonNumber(const AnsiString& name, size_t skip);
    // Raises OnRead for the read button at the pointer, when there is one.
    // Answers whether the click was on a read button.
    bool ClickRead(TBookListBoxItem& book, const AnsiString& name);

    std::unique_ptr<TGPImage> read_image_;  // "ListBoxStartRead"
};

// Draws a strip button of four frames at (x, y) and registers it under name
// with its rectangle moved by the offsets: frame 3 pressed, 2 pointer inside,
// 1 normal.
void DrawHotButton(TCanvas& canvas, THotButtons& owner, const TGPImage* image,
                   const AnsiString& name, int x, int y, int OffsetX, int OffsetY);

// The grey of the lists' texts.
inline constexpr TColor kBookListText = RGB(102, 102, 102);

// The background of a book or row, highlighted when it is the selected or
// the hovered one, with its bottom line.
void DrawRowBackground(TCanvas& canvas, const TRect& R, bool highlighted);

// The covers of a list: drawn at 49 x 60, "DefaultCover" as image 0.
void InitCovers(TGPImageList& covers);
// Draws a book's cover at (x, y). Its file is tried once, at the first paint
// (while coverIndex is -1); the default cover stands in when it does not
// load.
void DrawCover(TCanvas& canvas, TGPImageList& covers, int& coverIndex, const std::string& path,
               int x, int y);

// The pointer moved to (x, y), over item i of a list (none: -1). The hovered
// index follows the pointer over items, and the item it leaves shows no lit
// button or row. Answers whether anything changed; onSpot tells whether the
// pointer is on a button or row.
template <typename Item, typename ItemAt>
bool FollowPointer(int& hoverIndex, int i, const ItemAt& itemAt, int x, int y, bool pressed,
                   bool& onSpot) {
    onSpot = false;
    Item* item = itemAt(i);
    if (!item) {
        // Over empty space the hovered item stays, without lit buttons.
        Item* hovered = itemAt(hoverIndex);
        return hovered && hovered->UpdateHotSpots(-1, -1, false);
    }
    const int old = hoverIndex;
    hoverIndex = i;
    bool changed = item->UpdateHotSpots(x, y, pressed, &onSpot);
    if (old != i)
        if (Item* left = itemAt(old)) changed |= left->UpdateHotSpots(-1, -1, false);
    return changed || old != i;
}

// The row text of a source: the latest-chapter text up to its first NUL.
AnsiString UpToNul(const AnsiString& text);

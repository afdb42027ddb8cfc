#include "controls/BookListBox.h"

#include <algorithm>
#include <charconv>

#include "controls/ComponentGlobal.h"

namespace {

constexpr TColor kText = kBookListText;
constexpr TColor kAuthor = RGB(84, 115, 203);

constexpr TColor kRowHover = RGB(222, 222, 222);

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

const AnsiString& AuthorLabel() {
    static const AnsiString text = A(" 作者: ");
    return text;
}

// Frame of a strip button by its state: 0 pressed, 1 pointer inside, 2 normal.
int FrameOf(uint8_t state) {
    return state == 0 ? 3 : state == 1 ? 2 : 1;
}

}  // namespace

void DrawHotButton(TCanvas& canvas, THotButtons& owner, const TGPImage* image,
                   const AnsiString& name, int x, int y, int OffsetX, int OffsetY) {
    if (!image) return;
    const int fh = image->Height() / 4;
    const TRect r = TRect::FromSize(x, y, image->Width(), fh);
    owner.SetButton(name, r.Offset(OffsetX, OffsetY));
    canvas.StretchDraw(
        image, r, TRect::FromSize(0, FrameOf(owner.ButtonState(name)) * fh, image->Width(), fh));
}

void DrawRowBackground(TCanvas& canvas, const TRect& R, bool highlighted) {
    canvas.FillRect(R, highlighted ? RGB(246, 246, 246) : clWhite);
    canvas.Line(R.Left, R.Bottom - 1, R.Right, R.Bottom - 1, RGB(229, 229, 229));
}

void InitCovers(TGPImageList& covers) {
    covers.Width = 49;
    covers.Height = 60;
    covers.AddResource("DefaultCover");
}

void DrawCover(TCanvas& canvas, TGPImageList& covers, int& coverIndex, const std::string& path,
               int x, int y) {
    if (coverIndex == -1) {
        const int index = covers.AddFile(path);
        coverIndex = index == -1 ? 0 : index;
    }
    covers.Draw(canvas, x, y, coverIndex);
}

AnsiString UpToNul(const AnsiString& text) {
    return text.substr(0, text.find('\0'));
}

// --- THotButtons --------------------------------------------------------------------

void THotButtons::SetButton(const AnsiString& Name, const TRect& Rect) {
    for (TButtonData& button : Buttons) {
        if (button.Name == Name) {
            button.ButtonRect = Rect;
            return;
        }
    }
    Buttons.push_back({Name, Rect, 2});
}

uint8_t THotButtons::ButtonState(const AnsiString& Name) const {
    for (const TButtonData& button : Buttons)
        if (button.Name == Name) return button.State;
    return 2;
}

AnsiString THotButtons::ButtonAt(TPoint Point) const {
    for (const TButtonData& button : Buttons)
        if (button.ButtonRect.Contains(Point)) return button.Name;
    return {};
}

bool THotButtons::UpdateButtons(int X, int Y, bool Pressed, bool& on) {
    bool changed = false;
    for (TButtonData& button : Buttons) {
        const bool inside = button.ButtonRect.Contains(X, Y);
        const uint8_t state = inside ? (Pressed ? 0 : 1) : 2;
        changed |= state != button.State;
        button.State = state;
        on |= inside;
    }
    return changed;
}

void THotButtons::ForgetButtons() {
    for (TButtonData& button : Buttons) button.ButtonRect = {};
}

void THotButtons::ResetButtons() {
    // What moved away from under the pointer is no longer lit: its face
    // would stay so until the pointer crossed it again.
    for (TButtonData& button : Buttons) {
        button.ButtonRect = {};
        button.State = 2;
    }
}

// --- TBookListBoxItem -------------------------------------------------------------

void TBookListBoxItem::AddSource(const AnsiString& SiteID, const AnsiString& ArticleID,
                                 const AnsiString& SiteName, const AnsiString& LastArticleInfo,
                                 const AnsiString& UpdateTime, const AnsiString& Tag,
                                 uint8_t Flag) {
    Sources.push_back({.SiteID = SiteID,
                       .ArticleID = ArticleID,
                       .SiteName = SiteName,
                       .LastArticleInfo = LastArticleInfo,
                       .UpdateTime = UpdateTime,
                       .Tag = Tag,
                       .Flag = Flag});
    // Byte order, as the stored times sort; equal times keep their order.
    std::stable_sort(Sources.begin(), Sources.end(), [](const TBookData& a, const TBookData& b) {
        return a.UpdateTime < b.UpdateTime;
    });
}

bool TBookListBoxItem::UpdateHotSpots(int X, int Y, bool Pressed, bool* onSpot) {
    bool on = false;
    bool changed = UpdateButtons(X, Y, Pressed, on);
    for (TBookData& row : Sources) {
        const bool inside = row.RowRect.Contains(X, Y);
        const uint8_t hover = inside ? 1 : 2;
        changed |= hover != row.Hover;
        row.Hover = hover;
        on |= inside;
    }
    if (onSpot) *onSpot = on;
    return changed;
}

void TBookListBoxItem::ForgetHotSpots() {
    ResetButtons();
    for (TBookData& row : Sources) {
        row.RowRect = {};
        row.Hover = 2;
    }
}

// --- TBookListBox -----------------------------------------------------------------

TBookListBox::TBookListBox() : read_image_(LoadResourceImage("ListBoxStartRead")) {}

TBookListBox::~TBookListBox() = default;

TBookListBoxItem* TBookListBox::Book(int Index) const {
    return static_cast<TBookListBoxItem*>(Item(Index));
}

void TBookListBox::GetItemHeight(int Index, int& Height) {
    const TBookListBoxItem* book = Book(Index);
    const int rows = book ? static_cast<int>(book->Sources.size()) : 0;
    Height = std::max(70, rows * 26 + 35);
}

void TBookListBox::ForgetHotSpots() {
    for (int i = 0; i < Count(); ++i) Book(i)->ForgetHotSpots();
}

void TBookListBox::Resize() {
    TCDListBox::Resize();
    Invalidate();
}

int TBookListBox::FindBook(const AnsiString& title, const AnsiString& author) const {
    for (int i = 0; i < Count(); ++i) {
        const TBookListBoxItem* book = Book(i);
        if (book->Title == title && (author.empty() || book->Author == author)) return i;
    }
    return -1;
}

void TBookListBox::DrawBackground(TCanvas& canvas, int Index, const TRect& R) {
    canvas.Font = Font;
    DrawRowBackground(canvas, R, Index == SelectedIndex || Index == HoverIndex);
    canvas.Font.Height = 12;
}

int TBookListBox::DrawTitle(TCanvas& canvas, const TBookListBoxItem& book, const TRect& R, int x,
                            int authorRight) {
    const TPoint title =
        canvas.DrawStyledText(book.Title, {x, R.Top + 4, 292, R.Bottom}, kText, true, 14);
    int left = x + title.X + 2;
    canvas.DrawStyledText(AuthorLabel(), {left, R.Top + 4, 292, R.Bottom}, kText, false, 12);
    left += canvas.TextWidth(AuthorLabel()) + 2;
    canvas.DrawStyledText(book.Author, {left, R.Top + 4, authorRight, R.Bottom}, kAuthor, false,
                          12);
    return title.Y;
}

void TBookListBox::AddRecord(const AnsiString& Title, const AnsiString& Author,
                             const TBookData& row,
                             const std::function<std::unique_ptr<TBookListBoxItem>()>& make) {
    if (TBookListBoxItem* book = Book(FindBook(Title, Author))) {
        book->AddSource(row.SiteID, row.ArticleID, row.SiteName, row.LastArticleInfo,
                        row.UpdateTime, row.Tag, row.Flag);
        LayoutItems();
        return;
    }
    std::unique_ptr<TBookListBoxItem> book = make();
    book->Title = Title;
    book->Author = Author;
    book->SiteID = row.SiteID;
    book->ArticleID = row.ArticleID;
    book->SiteName = row.SiteName;
    book->LastArticleInfo = row.LastArticleInfo;
    book->UpdateTime = row.UpdateTime;
    book->HaveUpdate = row.Flag != 0;
    book->CoverIndex = -1;
    book->AddSource(row.SiteID, row.ArticleID, row.SiteName, row.LastArticleInfo, row.UpdateTime,
                    row.Tag, row.Flag);
    AddItem(std::move(book));
}

void TBookListBox::DrawRows(TCanvas& canvas, int Index, TBookListBoxItem& book, const TRect& R,
                            int titleHeight, int OffsetX, int OffsetY, const TRowLayout& layout) {
    static const AnsiString comma = A("、"), source = A("来源: ");
    TRect C{R.Left + layout.Left, R.Top + titleHeight + 12, R.Right - 100, R.Bottom};
    if (book.Sources.size() == 1) C = C.Offset(0, 10);
    for (size_t n = 0; n < book.Sources.size(); ++n) {
        TBookData& row = book.Sources[n];
        row.RowRect = TRect{C.Left, C.Top, R.Right, C.Top + 26}.Offset(OffsetX, OffsetY);
        if (Index == HoverIndex && row.Hover == 1)
            canvas.FillRect({C.Left - 6, C.Top - 4, R.Right, C.Top + 20}, kRowHover);
        const std::string number = std::to_string(n);
        if (layout.DeleteImage)
            DrawHotButton(canvas, book, layout.DeleteImage, "Del" + number, C.Left + 2, C.Top + 2,
                          OffsetX, OffsetY);
        const AnsiString text = UpToNul(row.LastArticleInfo);
        canvas.DrawStyledText(
            layout.Numbered ? std::to_string(n + 1) + comma + text : text,
            {C.Left + layout.TextLeft, C.Top, C.Left + layout.TextRight, C.Bottom}, kText, false,
            12);
        canvas.DrawStyledText(source + row.SiteName,
                              {C.Left + 290, C.Top, C.Left + layout.SourceRight, C.Bottom}, kText,
                              false, 12);
        canvas.DrawStyledText(row.UpdateTime.substr(0, 10),
                              {C.Left + 400, C.Top, C.Left + 520, C.Bottom}, kText, false, 12);
        DrawHotButton(canvas, book, read_image_.get(), "Browse" + number, R.Right - 100, C.Top - 2,
                      OffsetX, OffsetY);
        C = C.Offset(0, 26);
    }
}

int TBookListBox::ButtonNumber(const AnsiString& name, size_t skip) {
    if (name.size() <= skip) return 0;
    int n = 0;
    const char* first = name.data() + skip;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, n);
    return error == std::errc() && end == last ? n : 0;
}

bool TBookListBox::ClickRead(TBookListBoxItem& book, const AnsiString& name) {
    if (name.find("Browse") == AnsiString::npos) return false;
    const int n = ButtonNumber(name, 6);
    if (n < 0 || n >= static_cast<int>(book.Sources.size()) || !OnRead) return true;
    // Copies: the handler may clear the list.
    const AnsiString siteID = book.Sources[n].SiteID, storyID = book.Sources[n].ArticleID;
    OnRead(this, &book, siteID, storyID, HoverIndex);
    return true;
}

void TBookListBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCDListBox::MouseDown(button, shift, x, y);
    if (button == TMouseButton::Left) {
        const int i = ItemAtPos(x, y);
        if (i != -1 && i != SelectedIndex) {
            SelectedIndex = i;
            Invalidate();
        }
    }
    ButtonDown = true;
    if (TBookListBoxItem* book = Book(ItemAtPos(x, y)))
        if (book->UpdateHotSpots(x, y, true)) Invalidate();
}

void TBookListBox::MouseMove(TShiftState shift, int x, int y) {
    TCDListBox::MouseMove(shift, x, y);
    bool onSpot = false;
    const auto book = [this](int i) { return Book(i); };
    if (FollowPointer<TBookListBoxItem>(HoverIndex, ItemAtPos(x, y), book, x, y, ButtonDown,
                                        onSpot))
        Invalidate();
    SetScreenCursor(onSpot ? TCursor::HandPoint : TCursor::Default);
}

void TBookListBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    TCDListBox::MouseUp(button, shift, x, y);
    ButtonDown = false;
}

void TBookListBox::MouseLeave() {
    if (TBookListBoxItem* book = Book(HoverIndex))
        if (book->UpdateHotSpots(-1, -1, false)) Invalidate();
    SetScreenCursor(TCursor::Default);
}

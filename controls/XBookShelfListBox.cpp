#include "controls/XBookShelfListBox.h"

#include "controls/ComponentGlobal.h"

TXBookShelfListBox::TXBookShelfListBox()
    : close_image_(LoadResourceImage("ListBoxCloseBook")),
      search_image_(LoadResourceImage("ListBoxSearchOtherSource")) {
    InitCovers(covers_);
}

TXBookShelfListBox::~TXBookShelfListBox() = default;

void TXBookShelfListBox::AddBook(const AnsiString& SiteID, const AnsiString& ArticleID,
                                 const AnsiString& SiteName, const AnsiString& Title,
                                 const AnsiString& Author, const AnsiString& LastArticleInfo,
                                 const AnsiString& ArticleState, const AnsiString& UpdateTime,
                                 bool IsConcern, const AnsiString& CoverPath, int ArticleClassID,
                                 bool HaveUpdate) {
    const TBookData row{.SiteID = SiteID,
                        .ArticleID = ArticleID,
                        .SiteName = SiteName,
                        .LastArticleInfo = LastArticleInfo,
                        .UpdateTime = UpdateTime,
                        .Flag = uint8_t(HaveUpdate ? 1 : 0)};
    AddRecord(Title, Author, row, [&] {
        auto book = std::make_unique<TBookShelfListBoxItem>();
        book->ArticleState = ArticleState;
        book->IsConcern = IsConcern;
        book->CoverPath = CoverPath;
        book->ArticleClassID = ArticleClassID;
        return book;
    });
}

void TXBookShelfListBox::DrawItem(TCanvas& canvas, int Index, const TRect& ARect, int OffsetX,
                                  int OffsetY) {
    TBookListBoxItem* book = Book(Index);
    if (!book) return;
    const TRect& R = ARect;
    DrawBackground(canvas, Index, R);
    DrawCover(canvas, covers_, book->CoverIndex, book->CoverPath, R.Left + 5, R.Top + 5);
    const int h = DrawTitle(canvas, *book, R, R.Left + 69, R.Left + 356);
    DrawHotButton(canvas, *book, search_image_.get(), "SearchOther", R.Left + 360, R.Top + 4,
                  OffsetX, OffsetY);
    TRowLayout layout;
    layout.Left = 69;
    layout.Numbered = false;
    layout.TextLeft = 20;
    layout.TextRight = 270;
    layout.SourceRight = 410;
    layout.DeleteImage = close_image_.get();
    DrawRows(canvas, Index, *book, R, h, OffsetX, OffsetY, layout);
}

void TXBookShelfListBox::Click() {
    TCDListBox::Click();
    const TPoint p = CursorPos();
    HoverIndex = ItemAtPos(p.X, p.Y);
    TBookListBoxItem* book = Book(HoverIndex);
    if (!book) return;
    const AnsiString name = book->ButtonAt(p);
    if (ClickRead(*book, name)) return;
    if (name.find("Del") != AnsiString::npos) {
        DeleteRow(*book, ButtonNumber(name, 3));
    } else if (name == "SearchOther" && OnSearchStory) {
        const AnsiString siteID = book->SiteID, storyID = book->ArticleID;
        OnSearchStory(this, book, siteID, storyID, HoverIndex);
    }
}

void TXBookShelfListBox::DeleteRow(TBookListBoxItem& book, int n) {
    if (n < 0 || n >= static_cast<int>(book.Sources.size())) return;
    const AnsiString siteID = book.Sources[n].SiteID, storyID = book.Sources[n].ArticleID;
    book.Sources.erase(book.Sources.begin() + n);
    TObject* item = &book;
    if (book.Sources.empty()) {
        Items.erase(Items.begin() + HoverIndex);
        item = nullptr;
    } else if (book.SiteID == siteID && book.ArticleID == storyID) {
        // The book stood for the deleted row: it stands for the first
        // remaining one now, so that "search other sites" names a kept story.
        const TBookData& first = book.Sources.front();
        book.SiteID = first.SiteID;
        book.ArticleID = first.ArticleID;
        book.SiteName = first.SiteName;
        book.LastArticleInfo = first.LastArticleInfo;
        book.UpdateTime = first.UpdateTime;
        book.HaveUpdate = first.Flag != 0;
    }
    LayoutItems();
    // What was deleted must not stay on the screen.
    Invalidate();
    if (OnDelete) OnDelete(this, item, siteID, storyID, HoverIndex);
}

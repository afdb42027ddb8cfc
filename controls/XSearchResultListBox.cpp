#include "controls/XSearchResultListBox.h"

TXSearchResultListBox::TXSearchResultListBox() = default;

TXSearchResultListBox::~TXSearchResultListBox() = default;

void TXSearchResultListBox::AddResult(const AnsiString& SiteName, const AnsiString& SiteID,
                                      const AnsiString& StoryName, const AnsiString& ArticleID,
                                      const AnsiString& LastArticleInfo, const AnsiString& Author,
                                      const AnsiString& Tag, int ClassID) {
    const TBookData row{.SiteID = SiteID,
                        .ArticleID = ArticleID,
                        .SiteName = SiteName,
                        .LastArticleInfo = LastArticleInfo,
                        .Tag = Tag};
    AddRecord(StoryName, Author, row, [ClassID] {
        auto book = std::make_unique<TSearchResultListBoxItem>();
        book->ClassID = ClassID;
        return book;
    });
}

void TXSearchResultListBox::DrawItem(TCanvas& canvas, int Index, const TRect& ARect, int OffsetX,
                                     int OffsetY) {
    TBookListBoxItem* book = Book(Index);
    if (!book) return;
    DrawBackground(canvas, Index, ARect);
    const int h = DrawTitle(canvas, *book, ARect, ARect.Left + 20, ARect.Right - 100);
    DrawRows(canvas, Index, *book, ARect, h, OffsetX, OffsetY, TRowLayout{});
}

void TXSearchResultListBox::Click() {
    TCDListBox::Click();
    const TPoint p = CursorPos();
    HoverIndex = ItemAtPos(p.X, p.Y);
    if (TBookListBoxItem* book = Book(HoverIndex)) ClickRead(*book, book->ButtonAt(p));
}

#pragma once

#include "controls/BookListBox.h"

// A book of a shelf, with its shelf folder.
class TBookShelfListBoxItem : public TBookListBoxItem {
  public:
    int ArticleClassID = 0;
};

// The books of a shelf: cover, title and author, a button that searches the
// story on other sites, and per source row a delete and a read button. The
// main window shows the online and the local shelf in two of these.
class TXBookShelfListBox : public TBookListBox {
  public:
    TXBookShelfListBox();
    ~TXBookShelfListBox() override;

    // Raised with the book's SiteID and ArticleID.
    TShelfListBoxEvent OnSearchStory;

    // Adds one shelf record: a new source row of the book of that title (and
    // author, unless it is empty), or a new book. CoverPath is a UTF-8 path.
    void AddBook(const AnsiString& SiteID, const AnsiString& ArticleID, const AnsiString& SiteName,
                 const AnsiString& Title, const AnsiString& Author,
                 const AnsiString& LastArticleInfo, const AnsiString& ArticleState,
                 const AnsiString& UpdateTime, bool IsConcern, const AnsiString& CoverPath,
                 int ArticleClassID, bool HaveUpdate);
    TBookShelfListBoxItem* ShelfBook(int Index) const {
        return static_cast<TBookShelfListBoxItem*>(Item(Index));
    }
    // The covers: "DefaultCover" is image 0; each book's file is added once.
    TGPImageList& Covers() { return covers_; }

    void Click() override;

  protected:
    void DrawItem(TCanvas& canvas, int Index, const TRect& ARect, int OffsetX,
                  int OffsetY) override;

  private:
    void DeleteRow(TBookListBoxItem& book, int n);

    std::unique_ptr<TGPImage> close_image_;   // "ListBoxCloseBook"
    std::unique_ptr<TGPImage> search_image_;  // "ListBoxSearchOtherSource"
    TGPImageList covers_;
};

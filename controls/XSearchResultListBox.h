#pragma once

#include "controls/BookListBox.h"

// A book of the search results. ClassID is kept as passed.
class TSearchResultListBoxItem : public TBookListBoxItem {
  public:
    int ClassID = 0;
};

// The results of a search over all sites: one book per title and author,
// one source row per site that reported it, each with a read button that
// raises OnRead. The other five events are there for the shared wiring and
// never raised here.
class TXSearchResultListBox : public TBookListBox {
  public:
    TXSearchResultListBox();
    ~TXSearchResultListBox() override;

    // Adds one result: a new source row of the book of that title (and
    // author, unless it is empty), or a new book. A row joining a book lays
    // the list out without a repaint; the caller repaints.
    void AddResult(const AnsiString& SiteName, const AnsiString& SiteID,
                   const AnsiString& StoryName, const AnsiString& ArticleID,
                   const AnsiString& LastArticleInfo, const AnsiString& Author,
                   const AnsiString& Tag, int ClassID);
    TSearchResultListBoxItem* Result(int Index) const {
        return static_cast<TSearchResultListBoxItem*>(Item(Index));
    }

    void Click() override;

  protected:
    void DrawItem(TCanvas& canvas, int Index, const TRect& ARect, int OffsetX,
                  int OffsetY) override;
};

#pragma once

#include <cstddef>
#include <vector>

// The content views of the main window's right-hand side, of which one is
// shown at a time.
enum class TContentView {
    None,
    ResultList,
    RecentList,
    ListBrowser,
    SearchBrowser,
    BlankBrowser,
    LibraryBrowser,
    OnlineShelf,
    LocalShelf,
};

// The views the user went through, newest last. A view is never pushed twice
// in a row; popping drops the top and names the view that is on top now.
class TViewStack {
  public:
    // Appends the view unless it is on top already; true when appended.
    bool Push(TContentView view);
    // Drops the top entry (nothing when empty) and returns the new top, or
    // None when the stack is empty afterwards.
    TContentView Pop();
    TContentView Top() const { return views_.empty() ? TContentView::None : views_.back(); }
    std::size_t Size() const { return views_.size(); }
    bool Empty() const { return views_.empty(); }
    const std::vector<TContentView>& Views() const { return views_; }

  private:
    std::vector<TContentView> views_;
};

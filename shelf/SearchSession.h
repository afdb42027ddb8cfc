#pragma once

#include <cstdint>
#include <string_view>

#include "net/SearchStoryManager.h"
#include "platform/Charset.h"

// What one press of search does with the text of the search box.
struct TSearchPlan {
    // The text the keyword report gets: the whole trimmed text, before any
    // split (the box's prompt counts as empty).
    AnsiString Reported;
    // The keyword and the author filter.
    TSearchQuery Query;
    // True when nothing is searched and the search page is shown instead.
    bool ShowSearchPage = false;
    // Whether the sites are asked for an author search.
    bool ByAuthor = false;
};

// The decisions of a search: the prompt the box shows while empty is no
// text to search for; "title+author" searches the title and filters by the
// author; a text without a title shows the search page; only a caller that
// asks for an author search (a page's Search) gets one, and never with a
// filter.
TSearchPlan PlanSearch(std::string_view boxText, std::string_view prompt, bool byAuthor);

// The search the result list belongs to, on the user-interface thread.
// Results travel from the sites' workers to this thread by posted copies, so
// some may still be queued when the search is stopped or replaced; they carry
// their search's generation and are dropped here unless it is the current one.
class TSearchSession {
  public:
    // A new search: results of any older one are no longer accepted, and the
    // first accepted result brings the list to the front.
    void Start(const TSearchQuery& query, uint64_t generation);
    // No result and no end of the running search is taken any more.
    void Stop() { generation_ = 0; }

    bool IsCurrent(uint64_t generation) const {
        return generation_ != 0 && generation == generation_;
    }
    // A result of the current search that names a story and passes the
    // author filter.
    bool Accept(const SearchResultFields& result) const;
    // True once per search: for its first accepted result.
    bool TakeFirstResult();

    const TSearchQuery& Query() const { return query_; }
    uint64_t Generation() const { return generation_; }

  private:
    TSearchQuery query_;
    uint64_t generation_ = 0;
    bool pending_ = false;
};

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "core/StoryDB.h"
#include "net/SearchStory.h"

// One search over every site of the story database at once: one TSearchStory
// per Site row, all started together, every result passed straight on, and one
// OnAllDone when the last site of the search has finished. No merging happens
// here; results of the sites arrive interleaved, in the order they answer.
//
// Each search has a generation number. Events of a search that was stopped or
// replaced by a newer one are dropped, so a late site can neither report into
// the new search nor count towards its end.
class TSearchStoryManager {
  public:
    using TNotifyEvent = std::function<void(TSearchStoryManager* sender)>;

    static constexpr const char* kSearchUserAgent =
        "Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/535.4 (KHTML, like Gecko) "
        "Chrome/16.0.889.0 Safari/535.4";

    // Reads every site's search columns from the database, in table order.
    // Sites added to the database later are not seen by this object.
    explicit TSearchStoryManager(TStoryDB& db) {
        std::vector<TSearchSiteData> sites;
        db.GetSearchSites(sites);
        LoadSites(sites);
    }
    explicit TSearchStoryManager(const std::vector<TSearchSiteData>& sites) { LoadSites(sites); }
    ~TSearchStoryManager();
    TSearchStoryManager(const TSearchStoryManager&) = delete;
    TSearchStoryManager& operator=(const TSearchStoryManager&) = delete;

    // Run on the sites' worker threads, several at once (OnAllDone on the
    // caller's thread when the search has no site to wait for). Taken for a
    // search when it starts.
    TSearchStory::TFoundEvent OnFound;
    TNotifyEvent OnAllDone;

    // All requests are under way when this returns; a search still running is
    // abandoned. With no site, OnAllDone fires at once.
    void Search(const AnsiString& keyword, bool byAuthor);
    // No OnFound and no OnAllDone of the running search arrive once this returns.
    void Stop();

    AnsiString Keyword() const;
    // The generation of the last search started (0 before the first).
    uint64_t Generation() const;
    const std::vector<std::unique_ptr<TSearchStory>>& Sites() const { return sites_; }

  private:
    struct Run;
    void LoadSites(const std::vector<TSearchSiteData>& sites);
    void SiteDone(const std::shared_ptr<Run>& run);
    bool IsCurrent(const std::shared_ptr<Run>& run) const;

    std::vector<std::unique_ptr<TSearchStory>> sites_;
    mutable std::mutex mutex_;  // guards current_, generation_, keyword_ and each run's pending
    std::shared_ptr<Run> current_;
    uint64_t generation_ = 0;
    AnsiString keyword_;
};

// The search box's text split for a title-plus-author query: with a "+" and a
// non-empty text after it, the keyword is the part before it and results must
// name an author that contains the part after it. Both parts trimmed.
struct TSearchQuery {
    AnsiString Keyword;
    AnsiString AuthorFilter;
    bool FilterActive = false;
};
TSearchQuery SplitSearchText(std::string_view text);
// Whether a result belongs in the result list: it names a story id and, with
// the filter on, an author that contains the filter text.
bool AcceptSearchResult(const TSearchQuery& query, const SearchResultFields& result);

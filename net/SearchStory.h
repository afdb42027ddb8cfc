#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/StoryDB.h"
#include "net/WinHTTPRequest2.h"
#include "platform/Charset.h"

// The search of one novel site: the site's search URL filled with the keyword,
// the result page downloaded on a request worker, cut into items by the site's
// rules and reported item by item, then the end of the site's search. A site
// that answers with the only hit's story page is read with its story-page
// rules instead. Everything comes from the site's search columns.

class TSearchStory;

// One found result, passed from the site through the search manager to the
// result list. GBK texts, cleaned; any may be empty.
struct SearchResultFields {
    TSearchStory* Sender = nullptr;
    AnsiString SiteName;
    AnsiString SiteID;
    AnsiString StoryName;
    AnsiString ArticleID;
    AnsiString LastChapter;
    AnsiString Author;
    AnsiString Tag;
    // The search this result belongs to, as the owner numbered it when it
    // started the search; a receiver drops results of a search it left.
    uint64_t Generation = 0;
};

class TSearchStory {
  public:
    using TFoundEvent = std::function<void(const SearchResultFields& fields)>;
    using TDoneEvent = std::function<void(TSearchStory* sender, uint64_t generation)>;

    TSearchStory();
    ~TSearchStory();
    TSearchStory(const TSearchStory&) = delete;
    TSearchStory& operator=(const TSearchStory&) = delete;

    // The site's search columns (GBK). Set them before the first search; the
    // workers read them while a search runs.
    AnsiString SiteName, SiteID;
    AnsiString SearchURL;  // template with "{SearchType}" and one "%s" for the keyword
    AnsiString SearchTypeStoryValue, SearchTypeAuthorValue;
    AnsiString CodePage;  // "utf-8" in any case, or anything else for GBK
    AnsiString ArticleItemSection;
    AnsiString ArticleName, ArticleID, AuthorName, LastArticleInfo;  // rules inside one item
    AnsiString ArticleTitle, ArticleAuthor, ArticleLastInfo2;        // rules of a story page
    std::string UserAgent;
    int Tag = 0;

    // Both run on the request's worker thread. They are taken for a search when
    // it starts, so a search in flight never sees them change.
    TFoundEvent OnFound;
    TDoneEvent OnDone;  // the site has finished, with or without results

    void Assign(const TSearchSiteData& site);

    // Starts the search and returns at once; a search still running on this
    // site is abandoned without further events. generation is handed back with
    // every event of this search. A site without a search URL reports OnDone
    // at once, on the caller's thread.
    void Search(const AnsiString& keyword, bool byAuthor, uint64_t generation = 0);
    // No event of the running search arrives once this returns.
    void Stop();

    // The URL that Search requests for the keyword.
    std::string SearchURLFor(const AnsiString& keyword, bool byAuthor) const;
    // The results of a page (already in GBK), in page order. Throws RegexError
    // when a rule of the site does not compile.
    std::vector<SearchResultFields> ParseResults(const AnsiString& page) const;

    // The request, for its time-outs.
    TWinHTTPRequest2& Request() { return *request_; }

  private:
    void Report(const std::string& text, uint64_t ticket, uint64_t generation,
                const TFoundEvent& onFound, const TDoneEvent& onDone);
    bool Current(uint64_t ticket) const { return ticket_.load() == ticket; }

    std::unique_ptr<TWinHTTPRequest2> request_;
    std::atomic<uint64_t> ticket_{0};  // which search of this site is the live one
};

// Fills the one "%s" of a URL template with text, as a format call with one
// text argument does ("%%" gives "%", width and precision apply). False when
// the template holds a directive that one text cannot satisfy.
bool FormatWithOneText(std::string_view format, std::string_view text, std::string& result);

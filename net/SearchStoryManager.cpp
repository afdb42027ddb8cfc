#include "net/SearchStoryManager.h"

#include <string>

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

// The state of one search; the sites' events of that search hold it.
struct TSearchStoryManager::Run {
    uint64_t generation = 0;
    std::size_t pending = 0;
    TSearchStory::TFoundEvent onFound;
    TNotifyEvent onAllDone;
};

TSearchStoryManager::~TSearchStoryManager() {
    Stop();
    sites_.clear();
}

void TSearchStoryManager::LoadSites(const std::vector<TSearchSiteData>& sites) {
    for (const auto& record : sites) {
        auto site = std::make_unique<TSearchStory>();
        site->Assign(record);
        site->UserAgent = kSearchUserAgent;
        sites_.push_back(std::move(site));
    }
}

void TSearchStoryManager::Search(const AnsiString& keyword, bool byAuthor) {
    auto run = std::make_shared<Run>();
    run->onFound = OnFound;
    run->onAllDone = OnAllDone;
    run->pending = sites_.size();
    {
        std::lock_guard lock(mutex_);
        keyword_ = keyword;
        run->generation = ++generation_;
        current_ = run;
    }
    if (sites_.empty()) {
        if (run->onAllDone) run->onAllDone(this);
        return;
    }
    for (auto& site : sites_) {
        site->OnFound = [this, run](const SearchResultFields& fields) {
            if (IsCurrent(run) && run->onFound) run->onFound(fields);
        };
        site->OnDone = [this, run](TSearchStory*, uint64_t) { SiteDone(run); };
        site->Search(keyword, byAuthor, run->generation);
    }
}

void TSearchStoryManager::Stop() {
    {
        std::lock_guard lock(mutex_);
        current_.reset();
    }
    // Each site's Stop waits for a handler of its own in flight, so nothing of
    // this search runs once the loop is through.
    for (auto& site : sites_) site->Stop();
}

bool TSearchStoryManager::IsCurrent(const std::shared_ptr<Run>& run) const {
    std::lock_guard lock(mutex_);
    return current_ == run;
}

void TSearchStoryManager::SiteDone(const std::shared_ptr<Run>& run) {
    {
        // The decrement and the test for zero are one step, so exactly one
        // site ends the search however their ends interleave.
        std::lock_guard lock(mutex_);
        if (current_ != run || run->pending == 0 || --run->pending != 0) return;
    }
    if (run->onAllDone) run->onAllDone(this);
}

AnsiString TSearchStoryManager::Keyword() const {
    std::lock_guard lock(mutex_);
    return keyword_;
}

uint64_t TSearchStoryManager::Generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

TSearchQuery SplitSearchText(std::string_view text) {
    TSearchQuery query;
    text = TrimBlanks(text);
    query.Keyword = AnsiString(text);
    const auto plus = text.find('+');
    if (plus == std::string_view::npos) return query;
    const auto filter = TrimBlanks(text.substr(plus + 1));
    if (filter.empty()) return query;  // "title+" searches the whole text
    query.FilterActive = true;
    query.AuthorFilter = AnsiString(filter);
    query.Keyword = AnsiString(TrimBlanks(text.substr(0, plus)));
    return query;
}

bool AcceptSearchResult(const TSearchQuery& query, const SearchResultFields& result) {
    if (result.ArticleID.empty()) return false;
    return !query.FilterActive || result.Author.find(query.AuthorFilter) != std::string::npos;
}

#include "shelf/SearchSession.h"

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

TSearchPlan PlanSearch(std::string_view boxText, std::string_view prompt, bool byAuthor) {
    TSearchPlan plan;
    std::string_view text = TrimBlanks(boxText);
    // The prompt is the box's own text, never the user's.
    if (!prompt.empty() && text == TrimBlanks(prompt)) text = {};
    plan.Reported = AnsiString(text);
    plan.Query = SplitSearchText(text);
    plan.ShowSearchPage = plan.Query.Keyword.empty();
    plan.ByAuthor = byAuthor && !plan.Query.FilterActive && !plan.ShowSearchPage;
    return plan;
}

void TSearchSession::Start(const TSearchQuery& query, uint64_t generation) {
    query_ = query;
    generation_ = generation;
    pending_ = true;
}

bool TSearchSession::Accept(const SearchResultFields& result) const {
    return IsCurrent(result.Generation) && AcceptSearchResult(query_, result);
}

bool TSearchSession::TakeFirstResult() {
    const bool first = pending_;
    pending_ = false;
    return first;
}

#include "net/SearchStory.h"

#include <algorithm>
#include <cctype>

#include "core/Regex.h"
#include "core/TextHelpers.h"

namespace {

std::string AsciiLower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

// Every occurrence of tag, in any letter case, replaced by value.
std::string ReplaceNoCase(std::string_view text, std::string_view tag, std::string_view value) {
    const std::string lowerText = AsciiLower(text);
    const std::string lowerTag = AsciiLower(tag);
    std::string out;
    std::size_t at = 0;
    for (std::size_t found; (found = lowerText.find(lowerTag, at)) != std::string::npos;
         at = found + tag.size()) {
        out.append(text.substr(at, found - at));
        out.append(value);
    }
    out.append(text.substr(at));
    return out;
}

// Blanks and control characters off both ends.
AnsiString TrimControls(std::string_view s) {
    const auto blank = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b <= ' ' || b == 0x7F;
    };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return AnsiString(s);
}

AnsiString Field(std::string_view text, std::string_view rule) {
    return TrimControls(DecodeEntities(StripTags(RegexMatchAny(text, rule))));
}

// The widest field a template may ask for; the whole address is far shorter.
constexpr int kMaxFieldWidth = 4096;

// A number of the directive; one past kMaxFieldWidth stands for any larger,
// so that a rule's digits can neither overflow nor ask for gigabytes.
bool ParseNumber(std::string_view format, std::size_t& i, int& value) {
    const std::size_t start = i;
    value = 0;
    while (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])))
        value = std::min(value * 10 + (format[i++] - '0'), kMaxFieldWidth + 1);
    return i > start;
}

}  // namespace

bool FormatWithOneText(std::string_view format, std::string_view text, std::string& result) {
    std::string out;
    int nextArgument = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            out += format[i];
            continue;
        }
        if (++i >= format.size()) return false;
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        // %[index:][-][width][.precision]type
        int argument = nextArgument;
        int number = 0;
        std::size_t mark = i;
        if (ParseNumber(format, i, number) && i < format.size() && format[i] == ':') {
            argument = number;
            ++i;
        } else {
            i = mark;
        }
        const bool left = i < format.size() && format[i] == '-';
        if (left) ++i;
        if (i < format.size() && format[i] == '*') return false;  // would take a number
        int width = 0;
        if (ParseNumber(format, i, width) && width > kMaxFieldWidth) return false;
        int precision = -1;
        if (i < format.size() && format[i] == '.') {
            ++i;
            if (i < format.size() && format[i] == '*') return false;
            ParseNumber(format, i, precision);
        }
        if (i >= format.size() || std::tolower(static_cast<unsigned char>(format[i])) != 's')
            return false;
        if (argument != 0) return false;  // only one argument exists
        nextArgument = argument + 1;
        std::string value(
            text.substr(0, precision >= 0 ? static_cast<std::size_t>(precision) : text.size()));
        if (static_cast<int>(value.size()) < width) {
            const std::string pad(static_cast<std::size_t>(width) - value.size(), ' ');
            value = left ? value + pad : pad + value;
        }
        out += value;
    }
    result = std::move(out);
    return true;
}

TSearchStory::TSearchStory() : request_(std::make_unique<TWinHTTPRequest2>()) {}

TSearchStory::~TSearchStory() {
    try {
        Stop();
        request_.reset();
    } catch (...) {
    }
}

void TSearchStory::Assign(const TSearchSiteData& site) {
    SiteName = site.SiteName;
    SiteID = site.SiteID;
    SearchURL = site.SiteSearchURL;
    SearchTypeStoryValue = site.SearchTypeStoryValue;
    SearchTypeAuthorValue = site.SearchTypeAuthorValue;
    CodePage = site.CodePage;
    ArticleItemSection = site.ArticleItemSection;
    ArticleName = site.ArticleName;
    ArticleID = site.ArticleID;
    AuthorName = site.AuthorName;
    LastArticleInfo = site.LastArticleInfo;
    ArticleTitle = site.ArticleTitle;
    ArticleAuthor = site.ArticleAuthor;
    ArticleLastInfo2 = site.ArticleLastInfo2;
}

std::string TSearchStory::SearchURLFor(const AnsiString& keyword, bool byAuthor) const {
    const bool utf8 = AsciiLower(CodePage) == "utf-8";
    const std::string encoded = URLEncode(utf8 ? platform::AnsiToUtf8(keyword) : keyword);
    const std::string url = ReplaceNoCase(SearchURL, "{SearchType}",
                                          byAuthor ? SearchTypeAuthorValue : SearchTypeStoryValue);
    std::string formatted;
    return FormatWithOneText(url, encoded, formatted) ? formatted : url;
}

void TSearchStory::Search(const AnsiString& keyword, bool byAuthor, uint64_t generation) {
    const uint64_t ticket = ++ticket_;
    const TFoundEvent onFound = OnFound;
    const TDoneEvent onDone = OnDone;
    const std::string url = SearchURLFor(keyword, byAuthor);
    if (url.empty()) {
        request_->Cancel();
        if (onDone) onDone(this, generation);
        return;
    }
    request_->OnDone = [this, ticket, generation, onFound, onDone](TWinHTTPRequest2* r) {
        Report(r->Text, ticket, generation, onFound, onDone);
    };
    // A failed site simply brings no results.
    request_->OnFail = [this, ticket, generation, onDone](TWinHTTPRequest2*) {
        if (Current(ticket) && onDone) onDone(this, generation);
    };
    request_->UserAgent = UserAgent;
    request_->Referer.clear();
    try {
        request_->Get(url);
    } catch (...) {
        if (Current(ticket) && onDone) onDone(this, generation);
    }
}

void TSearchStory::Stop() {
    ++ticket_;
    request_->Cancel();
}

std::vector<SearchResultFields> TSearchStory::ParseResults(const AnsiString& page) const {
    std::vector<SearchResultFields> results;
    const auto fill = [&](std::string_view text, const AnsiString& name, const AnsiString& author,
                          const AnsiString& last) {
        SearchResultFields f;
        f.SiteName = SiteName;
        f.SiteID = SiteID;
        f.StoryName = Field(text, name);
        f.ArticleID = Field(text, ArticleID);
        f.LastChapter = Field(text, last);
        f.Author = Field(text, author);
        f.Tag = std::to_string(Tag);
        results.push_back(std::move(f));
    };
    const auto section = Regex::Get("(?i)" + ArticleItemSection);
    for (const auto& match : section->SearchAll(page)) {
        // An empty match is no item: a section rule that can match nothing
        // (an empty one among them) would otherwise report every byte.
        if (match.End() == match.Start()) continue;
        fill(std::string_view(page).substr(match.Start(), match.End() - match.Start()), ArticleName,
             AuthorName, LastArticleInfo);
    }
    // No item at all: the site answered with the only hit's story page.
    if (results.empty()) fill(page, ArticleTitle, ArticleAuthor, ArticleLastInfo2);
    return results;
}

void TSearchStory::Report(const std::string& text, uint64_t ticket, uint64_t generation,
                          const TFoundEvent& onFound, const TDoneEvent& onDone) {
    std::vector<SearchResultFields> results;
    try {
        results = ParseResults(DecodeCharset(text, CodePage));
    } catch (...) {
        // A rule that does not compile fails this site alone; the search goes on.
        results.clear();
    }
    for (auto& result : results) {
        if (!Current(ticket)) return;
        result.Sender = this;
        result.Generation = generation;
        if (onFound) onFound(result);
    }
    if (Current(ticket) && onDone) onDone(this, generation);
}

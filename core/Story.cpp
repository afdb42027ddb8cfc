#include "core/Story.h"

#include <array>

#include "core/Regex.h"
#include "core/TextHelpers.h"

namespace {

// How often a filter line is applied again to catch matches that a removal
// re-created; a pass that changes nothing ends it sooner.
constexpr int kMaxFilterPasses = 64;

// Trim: white space and control characters at both ends.
AnsiString Trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') --end;
    return AnsiString(text.substr(begin, end - begin));
}

// The clean-up chain of a story field: tags and comments out, entities
// decoded, optionally line breaks out, trimmed.
AnsiString CleanField(std::string_view value, bool removeLineBreaks) {
    AnsiString out = DecodeEntities(StripTags(value));
    if (removeLineBreaks) out = RemoveLineBreaks(out);
    return Trim(out);
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool MatchesAt(std::string_view text, size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (size_t i = 0; i < lowerWord.size(); ++i)
        if (Lower(text[at + i]) != lowerWord[i]) return false;
    return true;
}

// The navigation links some sites put among the chapters, in the ANSI code page.
bool IsNavigationName(std::string_view name) {
    static const std::array<AnsiString, 2> kNames{platform::Utf8ToAnsi("回首页"),
                                                  platform::Utf8ToAnsi("品书网")};
    for (const auto& navigation : kNames)
        if (name == navigation) return true;
    return false;
}

// Removes every match of the filter line from the content. Removal can join
// pieces into a new match, so passes repeat while they change the text; a
// line that matches the empty text changes nothing and ends at once.
void RemoveMatches(std::string_view line, AnsiString& content) {
    const std::string pattern =
        MatchesAt(line, 0, "(?i)") ? std::string(line) : "(?i)" + std::string(line);
    const auto regex = Regex::Get(pattern);
    for (int pass = 0; pass < kMaxFilterPasses; ++pass) {
        bool replaced = false;
        AnsiString next = regex->ReplaceAll(content, "", &replaced);
        if (!replaced || next == content) break;
        content = std::move(next);
    }
}

}  // namespace

bool TStory::LoadSite(std::string_view siteID) {
    TAnalyzeSiteData rules;
    TStoryDB* db = StoryDB();
    if (!db || !db->GetSiteRules(siteID, rules)) {
        ClearRules();
        return false;
    }
    rules.SiteID = AnsiString(siteID);
    LoadRules(rules);
    return true;
}

void TStory::LoadRules(const TAnalyzeSiteData& rules) {
    SiteID = rules.SiteID;
    SiteName = rules.SiteName;
    SiteURL = rules.SiteURL;
    CodePage = rules.CodePage;
    ArticleURL = rules.ArticleURL;
    ArticleTitle = rules.ArticleTitle;
    ArticleAuthor = rules.ArticleAuthor;
    ArticleClass = rules.ArticleClass;
    ArticleClassLib = rules.ArticleClassLib;
    ArticleKeywords = rules.ArticleKeywords;
    ArticleIntro = rules.ArticleIntro;
    ArticlePic = rules.ArticlePic;
    ArticleState = rules.ArticleState;
    ArticleLastInfo2 = rules.ArticleLastInfo2;
    ArticleVolumnURLFromHome = rules.ArticleVolumnURLFromHome;
    ArticleVolumnURL = rules.ArticleVolumnURL;
    ArticleSubVolumnsName = rules.ArticleSubVolumnsName;
    ArticleChapterNameID = rules.ArticleChapterNameID;
    ArticleChapterName = rules.ArticleChapterName;
    ArticleChapterID = rules.ArticleChapterID;
    ArticleChapterURL = rules.ArticleChapterURL;
    ArticleChapterContent = rules.ArticleChapterContent;
    ArticleChapterContentFilter = rules.ArticleChapterContentFilter;
}

void TStory::ClearRules() {
    LoadRules(TAnalyzeSiteData{});
}

AnsiString TStory::FormatURL(std::string_view urlTemplate, std::string_view articleID,
                             std::string_view chapterID, std::string_view folderID) {
    const std::array<std::pair<std::string_view, std::string_view>, 3> placeholders{{
        {"{articleid}", articleID},
        {"{chapterid}", chapterID},
        {"{folderid}", folderID},
    }};
    AnsiString url;
    for (size_t i = 0; i < urlTemplate.size();) {
        bool filled = false;
        if (urlTemplate[i] == '{') {
            for (const auto& [placeholder, value] : placeholders) {
                if (MatchesAt(urlTemplate, i, placeholder)) {
                    url.append(value);
                    i += placeholder.size();
                    filled = true;
                    break;
                }
            }
        }
        if (!filled) url += urlTemplate[i++];
    }
    return url;
}

AnsiString TStory::GetArticleURL() const {
    return FormatURL(ArticleURL, ArticleID, "", FolderID);
}

AnsiString TStory::GetVolumnURL() const {
    return FormatURL(ArticleVolumnURL, ArticleID, "", FolderID);
}

AnsiString TStory::GetChapterURL(std::string_view chapterID) const {
    return FormatURL(ArticleChapterURL, ArticleID, chapterID, FolderID);
}

AnsiString TStory::ExtractFolderID(std::string_view page) {
    FolderID = CleanField(RegexMatchAny(page, ArticleVolumnURLFromHome), false);
    return FolderID;
}

AnsiString TStory::ExtractTitle(std::string_view page) const {
    return CleanField(RegexMatchAny(page, ArticleTitle), true);
}

AnsiString TStory::ExtractAuthor(std::string_view page) const {
    return CleanField(RegexMatchAny(page, ArticleAuthor), false);
}

AnsiString TStory::ExtractIntro(std::string_view page) const {
    return CleanField(RegexMatchAny(page, ArticleIntro), false);
}

AnsiString TStory::ExtractKeywords(std::string_view page) const {
    return CleanField(RegexMatchAny(page, ArticleKeywords), false);
}

AnsiString TStory::ExtractPicURL(std::string_view page) const {
    return CleanField(RegexMatchAny(page, ArticlePic), false);
}

AnsiString TStory::ExtractState(std::string_view page) const {
    return CleanField(RegexMatchAny(page, ArticleState), true);
}

AnsiString TStory::ExtractLastInfo(std::string_view page) const {
    AnsiString value = CleanField(RegexMatchAny(page, ArticleLastInfo2), true);
    // One site writes the latest chapter with a script call on its story page.
    if (SiteID == kDocumentWriteSiteID) value = DecodeDocumentWrite(value);
    return value;
}

AnsiString TStory::ExtractClass(std::string_view page) const {
    return RegexMatchAny(page, ArticleClass);
}

AnsiString TStory::ExtractChapterContent(std::string_view page) const {
    AnsiString content = RegexMatchAny(page, ArticleChapterContent);
    for (const std::string_view line : SplitLines(ArticleChapterContentFilter)) {
        // An empty line would match everywhere and remove nothing.
        if (line.empty()) continue;
        RemoveMatches(line, content);
    }
    return content;
}

void TStory::ParseChapterList(std::string_view page, std::vector<TArticleVolumnChapterData>* list,
                              AnsiString& lastName) const {
    lastName.clear();
    // A rule that is missing or matches the empty text cannot find chapters;
    // without this guard every byte of the page would be a chapter.
    if (ArticleChapterNameID.empty()) return;
    const auto chapterRegex = Regex::Get("(?i)" + ArticleChapterNameID);

    // A volume's name and the piece of the page that belongs to it.
    struct TArticleSubVolumnData {
        AnsiString volume;
        std::string_view text;
    };
    std::vector<TArticleSubVolumnData> pieces;
    const AnsiString firstVolume = RegexMatchAny(page, ArticleSubVolumnsName);
    const auto headingRegex = Regex::Get("(?i)" + ArticleSubVolumnsName);
    const auto headings = headingRegex->SearchAll(page);
    // The list has volumes when any heading names one: a first heading
    // without a name must not cost every later volume its name.
    bool withVolumes = !firstVolume.empty();
    for (const auto& heading : headings)
        withVolumes = withVolumes || !heading.Group(page, 1).empty();
    if (withVolumes) {
        // The page is cut at every volume heading; text before the first
        // heading belongs to no volume and is not parsed.
        AnsiString volume = firstVolume;
        size_t start = 0;
        bool started = false;
        for (const auto& heading : headings) {
            if (heading.End() == heading.Start()) continue;
            if (started) pieces.push_back({volume, page.substr(start, heading.Start() - start)});
            volume = AnsiString(heading.Group(page, 1));
            start = heading.Start();
            started = true;
        }
        pieces.push_back({volume, page.substr(start)});
    } else {
        pieces.push_back({AnsiString(), page});
    }

    for (const auto& piece : pieces) {
        for (const auto& match : chapterRegex->SearchAll(piece.text)) {
            if (match.End() == match.Start()) continue;
            const std::string_view whole =
                piece.text.substr(match.Start(), match.End() - match.Start());
            AnsiString name = Trim(RemoveLineBreaks(
                DecodeEntities(StripTags(RegexMatchAny(whole, ArticleChapterName)))));
            AnsiString id = RegexMatchAny(whole, ArticleChapterID);
            lastName = name;
            if (!withVolumes && (name.empty() || IsNavigationName(name))) continue;
            if (list) list->push_back({piece.volume, std::move(name), std::move(id), AnsiString()});
        }
    }
}

AnsiString TStory::GetLastChapterName(std::string_view page) const {
    AnsiString lastName;
    ParseChapterList(page, nullptr, lastName);
    return lastName;
}

AnsiString TStory::GetFolderName(std::string_view siteID, std::string_view articleID) const {
    AnsiString folderName;
    if (TStoryDB* db = StoryDB()) db->GetFolderName(siteID, articleID, folderName);
    return folderName;
}

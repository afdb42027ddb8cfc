#include "tests/support/FakeNovelSite.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace testing_support {

namespace {

constexpr std::array<std::string_view, 12> kPhrases = {
    "夜色渐深，山间的风带着凉意吹过竹林。",
    "他握紧手中的长剑，目光落在远处的城门上。",
    "少女轻声笑道：“你又迟到了。”",
    "客栈里人声鼎沸，说书人正讲到精彩处。",
    "雨水顺着屋檐滴落，敲在青石板上叮咚作响。",
    "师父曾说，剑意不在手中，而在心中。",
    "远方传来马蹄声，一队人马疾驰而来。",
    "他翻开那本泛黄的古书，字迹依稀可辨。",
    "灯火映照着她的侧脸，神情若有所思。",
    "这一战，关系着整个江湖的命运。",
    "晨光破晓，薄雾笼罩着宁静的小镇。",
    "老者叹了口气，缓缓讲起多年前的往事。",
};

constexpr std::array<std::string_view, 6> kVolumeNames = {"风起青萍", "江湖夜雨", "孤城落日",
                                                          "剑指苍穹", "万里归途", "终章"};

std::string Paragraphs(int seed, int count) {
    std::string text;
    for (int p = 0; p < count; ++p) {
        if (p) text += "\n";
        for (int s = 0; s < 3; ++s) text += kPhrases[(seed * 7 + p * 3 + s) % kPhrases.size()];
    }
    return text;
}

bool Contains(std::string_view text, std::string_view part) {
    return !part.empty() && text.find(part) != std::string_view::npos;
}

void PutU32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void PngChunk(std::string& out, std::string_view type, std::string_view data) {
    PutU32(out, static_cast<uint32_t>(data.size()));
    std::string body(type);
    body += data;
    out += body;
    PutU32(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                            static_cast<uInt>(body.size()))));
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::vector<const FakeChapter*> FakeStory::Chapters() const {
    std::vector<const FakeChapter*> all;
    for (const auto& v : volumes)
        for (const auto& c : v.chapters) all.push_back(&c);
    return all;
}

const FakeChapter* FakeStory::LastChapter() const {
    const auto all = Chapters();
    return all.empty() ? nullptr : all.back();
}

const FakeChapter* FakeStory::FindChapter(std::string_view id) const {
    for (const auto* c : Chapters())
        if (c->id == id) return c;
    return nullptr;
}

std::vector<std::pair<std::string_view, const AnsiString*>> FakeSiteRow::Columns() const {
    return {{"SiteID", &SiteID},
            {"SiteName", &SiteName},
            {"SiteURL", &SiteURL},
            {"SiteSearchURL", &SiteSearchURL},
            {"SearchTypeStoryValue", &SearchTypeStoryValue},
            {"SearchTypeAuthorValue", &SearchTypeAuthorValue},
            {"ArticleItemSection", &ArticleItemSection},
            {"ArticleName", &ArticleName},
            {"ArticleID", &ArticleID},
            {"AuthorName", &AuthorName},
            {"LastArticleInfo", &LastArticleInfo},
            {"CodePage", &CodePage},
            {"ArticleURL", &ArticleURL},
            {"ArticleTitle", &ArticleTitle},
            {"ArticleAuthor", &ArticleAuthor},
            {"ArticleClass", &ArticleClass},
            {"ArticleClassLib", &ArticleClassLib},
            {"ArticleKeywords", &ArticleKeywords},
            {"ArticleIntro", &ArticleIntro},
            {"ArticlePic", &ArticlePic},
            {"ArticleState", &ArticleState},
            {"ArticleLastInfo2", &ArticleLastInfo2},
            {"ArticleVolumnURLFromHome", &ArticleVolumnURLFromHome},
            {"ArticleVolumnURL", &ArticleVolumnURL},
            {"ArticleSubVolumnsName", &ArticleSubVolumnsName},
            {"ArticleChapterNameID", &ArticleChapterNameID},
            {"ArticleChapterName", &ArticleChapterName},
            {"ArticleChapterID", &ArticleChapterID},
            {"ArticleChapterURL", &ArticleChapterURL},
            {"ArticleChapterContent", &ArticleChapterContent},
            {"ArticleChapterContentFilter", &ArticleChapterContentFilter}};
}

// The whole row and the editor's row have the same 31 columns by name (in
// another order), so one copy serves both.
template <typename Row>
Row CopyAllColumns(const FakeSiteRow& from) {
    Row r;
    r.SiteID = from.SiteID;
    r.SiteName = from.SiteName;
    r.SiteURL = from.SiteURL;
    r.SiteSearchURL = from.SiteSearchURL;
    r.SearchTypeStoryValue = from.SearchTypeStoryValue;
    r.SearchTypeAuthorValue = from.SearchTypeAuthorValue;
    r.ArticleItemSection = from.ArticleItemSection;
    r.ArticleName = from.ArticleName;
    r.ArticleID = from.ArticleID;
    r.AuthorName = from.AuthorName;
    r.LastArticleInfo = from.LastArticleInfo;
    r.CodePage = from.CodePage;
    r.ArticleURL = from.ArticleURL;
    r.ArticleTitle = from.ArticleTitle;
    r.ArticleAuthor = from.ArticleAuthor;
    r.ArticleClass = from.ArticleClass;
    r.ArticleClassLib = from.ArticleClassLib;
    r.ArticleKeywords = from.ArticleKeywords;
    r.ArticleIntro = from.ArticleIntro;
    r.ArticlePic = from.ArticlePic;
    r.ArticleState = from.ArticleState;
    r.ArticleLastInfo2 = from.ArticleLastInfo2;
    r.ArticleVolumnURLFromHome = from.ArticleVolumnURLFromHome;
    r.ArticleVolumnURL = from.ArticleVolumnURL;
    r.ArticleSubVolumnsName = from.ArticleSubVolumnsName;
    r.ArticleChapterNameID = from.ArticleChapterNameID;
    r.ArticleChapterName = from.ArticleChapterName;
    r.ArticleChapterID = from.ArticleChapterID;
    r.ArticleChapterURL = from.ArticleChapterURL;
    r.ArticleChapterContent = from.ArticleChapterContent;
    r.ArticleChapterContentFilter = from.ArticleChapterContentFilter;
    return r;
}

TSiteData FakeSiteRow::ToSiteData() const {
    return CopyAllColumns<TSiteData>(*this);
}

TSiteItemData FakeSiteRow::ToSiteItemData() const {
    return CopyAllColumns<TSiteItemData>(*this);
}

TSearchSiteData FakeSiteRow::ToSearchSiteData() const {
    TSearchSiteData r;
    r.SiteName = SiteName;
    r.SiteID = SiteID;
    r.SiteSearchURL = SiteSearchURL;
    r.SearchTypeStoryValue = SearchTypeStoryValue;
    r.SearchTypeAuthorValue = SearchTypeAuthorValue;
    r.CodePage = CodePage;
    r.ArticleItemSection = ArticleItemSection;
    r.ArticleName = ArticleName;
    r.ArticleID = ArticleID;
    r.AuthorName = AuthorName;
    r.LastArticleInfo = LastArticleInfo;
    r.ArticleTitle = ArticleTitle;
    r.ArticleAuthor = ArticleAuthor;
    r.ArticleLastInfo2 = ArticleLastInfo2;
    return r;
}

struct FakeNovelSite::Data {
    FakeSiteOptions options;
    std::string prefix;
    std::string base;  // server base URL
    mutable std::mutex mutex;
    // Each story is replaced whole, never changed in place: a request holds
    // the ones it reads without copying them.
    std::vector<std::shared_ptr<const FakeStory>> stories;
    std::vector<std::string> searchKeys;

    std::string Encode(std::string_view utf8) const {
        return options.charset == SiteCharset::Gbk ? platform::Utf8ToAnsi(utf8) : std::string(utf8);
    }
    const char* CharsetName() const {
        return options.charset == SiteCharset::Gbk ? "gbk" : "utf-8";
    }

    std::string StoryPath(std::string_view id) const {
        return prefix + "/book/" + std::string(id) + ".html";
    }
    std::string Folder(const FakeStory& story) const { return story.folder; }
    std::string ListPath(const FakeStory& story) const {
        if (options.listOnStoryPage) return StoryPath(story.id);
        return prefix + "/" + story.folder + "/" + story.id + "/index.html";
    }
    std::string ChapterPath(const FakeStory& story, std::string_view chapter) const {
        return prefix + "/" + story.folder + "/" + story.id + "/" + std::string(chapter) + ".html";
    }
    std::string CoverPath(std::string_view id) const {
        return prefix + "/cover/" + std::string(id) + ".png";
    }
    std::string PicturePath(std::string_view id, std::string_view picture) const {
        return prefix + "/pic/" + std::string(id) + "/" + std::string(picture);
    }

    std::string Head(std::string_view title, std::string_view extra = {}) const {
        std::string h =
            "<!DOCTYPE html>\n<html><head><meta http-equiv=\"Content-Type\" "
            "content=\"text/html; charset=";
        h += CharsetName();
        h += "\">\n<title>" + HtmlEscape(title) + " - " + HtmlEscape(options.siteName) +
             "</title>\n";
        h += extra;
        h += "</head>\n<body>\n<div class=\"nav\"><a href=\"" + prefix + "/\">首页</a></div>\n";
        return h;
    }

    std::string ChapterListHtml(const FakeStory& story) const {
        std::string h = "<div id=\"list\" data-folder=\"" + story.folder + "\">\n";
        if (options.volumeHeadings) {
            // Sites put the newest chapters first, before the first heading; a
            // reader of the list must not take them for the story's start.
            h += "<div class=\"newest\"><ul>";
            const auto all = story.Chapters();
            for (std::size_t i = all.size() > 3 ? all.size() - 3 : 0; i < all.size(); ++i)
                h += "<li><a href=\"" + ChapterPath(story, all[i]->id) + "\">" +
                     HtmlEscape(all[i]->name) + "</a></li>";
            h += "</ul></div>\n";
        } else {
            h += "<ul><li><a href=\"" + prefix + "/\">回首页</a></li></ul>\n";
        }
        for (const auto& volume : story.volumes) {
            if (options.volumeHeadings)
                h += "<h2 class=\"vol\">" + HtmlEscape(volume.name) + "</h2>\n";
            h += "<ul>\n";
            for (const auto& c : volume.chapters)
                h += "<li><a href=\"" + ChapterPath(story, c.id) + "\">" + HtmlEscape(c.name) +
                     "</a></li>\n";
            h += "</ul>\n";
        }
        h += "</div>\n";
        return h;
    }

    std::string StoryPageHtml(const FakeStory& story) const {
        std::string h = Head(story.title, "<link rel=\"canonical\" href=\"" + StoryPath(story.id) +
                                              "\">\n<meta name=\"keywords\" content=\"" +
                                              HtmlEscape(story.title) + "," +
                                              HtmlEscape(story.author) + "\">\n");
        h += "<div id=\"info\">\n<h1>" + HtmlEscape(story.title) + "</h1>\n";
        h += "<p class=\"author\">作&nbsp;&nbsp;者：<a href=\"" + prefix + "/author.php\">" +
             HtmlEscape(story.author) + "</a>&nbsp;</p>\n";
        h += "<p class=\"class\">类别：" + HtmlEscape(story.category) + "</p>\n";
        h += "<p class=\"state\">状态：" + HtmlEscape(story.state) + "</p>\n";
        if (const auto* last = story.LastChapter())
            h += "<p class=\"last\">最新章节：<a href=\"" + ChapterPath(story, last->id) + "\">" +
                 HtmlEscape(last->name) + "</a></p>\n";
        h += "</div>\n";
        if (story.cover)
            h += "<img class=\"cover\" src=\"" + CoverPath(story.id) + "\" alt=\"\">\n";
        h += "<div id=\"intro\">" + HtmlEscape(story.intro) + "</div>\n";
        if (options.listOnStoryPage)
            h += ChapterListHtml(story);
        else
            h += "<a class=\"list\" href=\"" + ListPath(story) + "\">章节目录</a>\n";
        h += "</body></html>\n";
        return Encode(h);
    }

    std::string ChapterContent(const FakeStory& story, const FakeChapter& chapter,
                               bool adverts) const {
        std::string h;
        std::string_view rest = chapter.text;
        while (!rest.empty()) {
            const auto nl = rest.find('\n');
            h += "&nbsp;&nbsp;&nbsp;&nbsp;" + HtmlEscape(rest.substr(0, nl)) + "<br /><br />";
            if (nl == std::string_view::npos) break;
            rest.remove_prefix(nl + 1);
        }
        if (adverts) {
            h += "<script type=\"text/javascript\">cpad();</script>";
            h += kAdvertLine;
        }
        h += "<br />";
        for (const auto& p : chapter.pictures)
            h += "<img src=\"" + PicturePath(story.id, p) + "\" border=\"0\" />";
        return h;
    }

    std::string SearchPageHtml(const std::vector<FakeStory>& hits) const {
        std::string h = Head("搜索结果");
        h += "<table "
             "class=\"grid\">\n<tr><th>书名</th><th>最新章节</th><th>作者</th><th>简介</th></tr>\n";
        for (const auto& s : hits) {
            const auto* last = s.LastChapter();
            h += "<tr class=\"item\"><td class=\"name\"><a href=\"" + StoryPath(s.id) +
                 "\" target=\"_blank\">" + HtmlEscape(s.title) + "</a></td><td class=\"last\">";
            if (last)
                h += "<a href=\"" + ChapterPath(s, last->id) + "\">" + HtmlEscape(last->name) +
                     "</a>";
            h += "</td><td class=\"author\">" + HtmlEscape(s.author) + "</td><td class=\"intro\">" +
                 HtmlEscape(s.intro) + "</td></tr>\n";
        }
        h += "</table>\n</body></html>\n";
        return Encode(h);
    }

    HttpReply Reply(std::string page) const {
        HttpReply reply =
            HttpReply::Page(std::move(page), std::string("text/html; charset=") + CharsetName());
        reply.encoding = options.encoding;
        reply.framing = options.framing;
        return reply;
    }

    std::vector<std::shared_ptr<const FakeStory>> Current() const {
        std::lock_guard lock(mutex);
        return stories;
    }
    std::vector<FakeStory> Snapshot() const {
        std::vector<FakeStory> copies;
        for (const auto& story : Current()) copies.push_back(*story);
        return copies;
    }

    HttpReply Search(const HttpRequestRecord& request) {
        const std::string bytes = PercentDecode(request.QueryParam("key"));
        const std::string key =
            options.charset == SiteCharset::Gbk ? platform::AnsiToUtf8(bytes) : bytes;
        const bool byAuthor = request.QueryParam("type") == "author";
        {
            std::lock_guard lock(mutex);
            searchKeys.push_back(key);
        }
        std::vector<FakeStory> hits;
        for (auto& s : Snapshot())
            if (Contains(byAuthor ? s.author : s.title, key)) hits.push_back(std::move(s));
        if (hits.size() == 1) return HttpReply::Redirect(StoryPath(hits.front().id));
        if (hits.empty()) return Reply(NoResult());
        return Reply(SearchPageHtml(hits));
    }

    std::string NoResult() const {
        return Encode(
            Head("搜索结果") +
            "<div class=\"empty\">没有找到相关小说，请减少关键字再试。</div>\n</body></html>\n");
    }

    // Everything under the prefix other than the search page.
    HttpReply Page(const HttpRequestRecord& request) const {
        const auto current = Current();
        const std::string& path = request.path;
        for (const auto& story : current) {
            const FakeStory& s = *story;
            if (path == StoryPath(s.id)) return Reply(StoryPageHtml(s));
            if (path == ListPath(s)) {
                std::string page = Head(s.title) + "<h1>" + HtmlEscape(s.title) + "</h1>\n" +
                                   ChapterListHtml(s) + "</body></html>\n";
                return Reply(Encode(page));
            }
            if (s.cover && path == CoverPath(s.id)) {
                HttpReply r = HttpReply::Page(PictureBytes(path), "image/png");
                r.framing = options.framing;
                return r;
            }
            // A chapter's path names its id, a picture's path its file: both
            // are found without building every path of the story.
            const std::string_view html = ".html";
            std::string folder = ChapterPath(s, "");  // the story's folder and ".html"
            folder.resize(folder.size() - html.size());
            if (path.size() > folder.size() + html.size() && path.starts_with(folder) &&
                path.ends_with(html)) {
                const std::string id =
                    path.substr(folder.size(), path.size() - folder.size() - html.size());
                if (const FakeChapter* c = s.FindChapter(id)) return Reply(ChapterPageHtml(s, *c));
            }
            const std::string pictures = PicturePath(s.id, "");
            if (path.starts_with(pictures)) {
                const std::string_view name = std::string_view(path).substr(pictures.size());
                for (const auto* c : s.Chapters())
                    for (const auto& p : c->pictures)
                        if (p == name) {
                            HttpReply r = HttpReply::Page(PictureBytes(path), "image/png");
                            r.framing = options.framing;
                            return r;
                        }
            }
        }
        return HttpReply::Status(404, Encode(Head("404") + "<p>页面不存在</p></body></html>"));
    }

    std::string ChapterPageHtml(const FakeStory& story, const FakeChapter& chapter) const {
        std::string h = Head(chapter.name);
        h += "<div class=\"bookname\"><h1>" + HtmlEscape(chapter.name) + "</h1></div>\n";
        h += "<div id=\"content\">" + ChapterContent(story, chapter, true) + "</div>\n";
        h += "<div class=\"bottom\"><a href=\"" + ListPath(story) + "\">返回目录</a></div>\n";
        h += "</body></html>\n";
        return Encode(h);
    }
};

FakeNovelSite::FakeNovelSite(FakeHttpServer& server, FakeSiteOptions options)
    : data_(std::make_shared<Data>()) {
    data_->options = std::move(options);
    data_->prefix =
        data_->options.prefix.empty() ? "/" + data_->options.siteID : data_->options.prefix;
    data_->base = server.BaseURL();
    server.Route(data_->prefix + "/search.php",
                 [data = data_](const HttpRequestRecord& r) { return data->Search(r); });
    server.Route(data_->prefix + "/*",
                 [data = data_](const HttpRequestRecord& r) { return data->Page(r); });
}

FakeStory FakeNovelSite::AddStory(std::string title, std::string author, int chapters, int volumes,
                                  int picturesEvery) {
    FakeStory story;
    {
        std::lock_guard lock(data_->mutex);
        story.id = std::to_string(1001 + data_->stories.size());
    }
    story.folder = story.id.substr(0, story.id.size() - 3);
    story.title = std::move(title);
    story.author = std::move(author);
    story.intro = "一个关于" + story.title + "的故事。" +
                  std::string(kPhrases[story.id.back() % kPhrases.size()]);
    story.category = "武侠仙侠";
    story.state = "连载中";
    volumes = std::max(1, volumes);
    const int perVolume = (chapters + volumes - 1) / volumes;
    int number = 0;
    for (int v = 0; v < volumes; ++v) {
        FakeVolume volume;
        volume.name = "第" + std::to_string(v + 1) + "卷 " +
                      std::string(kVolumeNames[v % kVolumeNames.size()]);
        for (int i = 0; i < perVolume && number < chapters; ++i) {
            ++number;
            FakeChapter c;
            c.id = std::to_string(number);
            c.name = "第" + std::to_string(number) + "章 " +
                     std::string(kPhrases[number % kPhrases.size()].substr(0, 12));
            c.text = Paragraphs(number, 4);
            if (picturesEvery > 0 && number % picturesEvery == 0)
                c.pictures = {c.id + "-1.png", c.id + "-2.png"};
            volume.chapters.push_back(std::move(c));
        }
        story.volumes.push_back(std::move(volume));
    }
    AddStory(story);
    return story;
}

void FakeNovelSite::AddStory(FakeStory story) {
    if (story.folder.empty()) story.folder = "0";
    std::lock_guard lock(data_->mutex);
    data_->stories.push_back(std::make_shared<const FakeStory>(std::move(story)));
}

std::vector<FakeStory> FakeNovelSite::Stories() const {
    return data_->Snapshot();
}

void FakeNovelSite::UpdateStory(const FakeStory& story) {
    std::lock_guard lock(data_->mutex);
    for (auto& s : data_->stories)
        if (s->id == story.id) s = std::make_shared<const FakeStory>(story);
}

const FakeSiteOptions& FakeNovelSite::Options() const {
    return data_->options;
}
const std::string& FakeNovelSite::Prefix() const {
    return data_->prefix;
}

std::string FakeNovelSite::SearchPath() const {
    return data_->prefix + "/search.php";
}
std::string FakeNovelSite::StoryPath(std::string_view id) const {
    return data_->StoryPath(id);
}

std::string FakeNovelSite::ChapterListPath(std::string_view id) const {
    for (const auto& s : Stories())
        if (s.id == id) return data_->ListPath(s);
    return {};
}

std::string FakeNovelSite::ChapterPath(std::string_view id, std::string_view chapterID) const {
    for (const auto& s : Stories())
        if (s.id == id) return data_->ChapterPath(s, chapterID);
    return {};
}

std::string FakeNovelSite::CoverPath(std::string_view id) const {
    return data_->CoverPath(id);
}
std::string FakeNovelSite::PicturePath(std::string_view id, std::string_view picture) const {
    return data_->PicturePath(id, picture);
}
std::string FakeNovelSite::StoryURL(std::string_view id) const {
    return data_->base + StoryPath(id);
}
std::string FakeNovelSite::ChapterListURL(std::string_view id) const {
    return data_->base + ChapterListPath(id);
}
std::string FakeNovelSite::ChapterURL(std::string_view id, std::string_view chapterID) const {
    return data_->base + ChapterPath(id, chapterID);
}
std::string FakeNovelSite::CoverURL(std::string_view id) const {
    return data_->base + CoverPath(id);
}
std::string FakeNovelSite::PictureURL(std::string_view id, std::string_view picture) const {
    return data_->base + PicturePath(id, picture);
}

FakeSiteRow FakeNovelSite::Row() const {
    const auto gbk = [](std::string_view utf8) { return platform::Utf8ToAnsi(utf8); };
    const std::string site = data_->base + data_->prefix;
    FakeSiteRow row;
    row.SiteID = gbk(data_->options.siteID);
    row.SiteName = gbk(data_->options.siteName);
    row.SiteURL = site + "/";
    row.SiteSearchURL = site + "/search.php?type={SearchType}&key=%s";
    row.SearchTypeStoryValue = "articlename";
    row.SearchTypeAuthorValue = "author";
    row.ArticleItemSection = "<tr class=\"item\">.*?</tr>";
    row.ArticleName = "<td class=\"name\"><a[^>]*>(.*?)</a>";
    row.ArticleID = "/book/(\\d+)\\.html";
    row.AuthorName = "<td class=\"author\">(.*?)</td>";
    row.LastArticleInfo = "<td class=\"last\">(.*?)</td>";
    row.CodePage = data_->CharsetName();
    row.ArticleURL = site + "/book/{articleid}.html";
    row.ArticleTitle = "<div id=\"info\">\\s*<h1>(.*?)</h1>";
    row.ArticleAuthor = gbk("<p class=\"author\">作&nbsp;&nbsp;者：(.*?)</p>");
    row.ArticleClass = gbk("<p class=\"class\">类别：(.*?)</p>");
    row.ArticleKeywords = "<meta name=\"keywords\" content=\"(.*?)\"";
    row.ArticleIntro = "<div id=\"intro\">(.*?)</div>";
    row.ArticlePic = "<img class=\"cover\" src=\"(.*?)\"";
    row.ArticleState = gbk("<p class=\"state\">状态：(.*?)</p>");
    row.ArticleLastInfo2 = gbk("<p class=\"last\">最新章节：(.*?)</p>");
    row.ArticleVolumnURLFromHome =
        "<a class=\"list\" href=\"[^\"]*/(\\d+)/\\d+/index\\.html\"\r\n<div id=\"list\" "
        "data-folder=\"(\\d+)\"";
    row.ArticleVolumnURL = data_->options.listOnStoryPage
                               ? row.ArticleURL
                               : site + "/{folderid}/{articleid}/index.html";
    row.ArticleSubVolumnsName = data_->options.volumeHeadings ? "<h2 class=\"vol\">(.*?)</h2>" : "";
    row.ArticleChapterNameID = "<li><a href=\"[^\"]*\">.*?</a></li>";
    row.ArticleChapterName = "<a[^>]*>(.*?)</a>";
    row.ArticleChapterID = "href=\"(?:[^\"]*/)?(\\d+)\\.html\"";
    row.ArticleChapterURL = site + "/{folderid}/{articleid}/{chapterid}.html";
    row.ArticleChapterContent = "<div id=\"content\">(.*?)</div>";
    row.ArticleChapterContentFilter = gbk("<script[^<>]*>.*?</script>\r\n本站推荐：[^<]*");
    return row;
}

std::string FakeNovelSite::SearchResultPage(const std::vector<FakeStory>& hits) const {
    return data_->SearchPageHtml(hits);
}
std::string FakeNovelSite::NoResultPage() const {
    return data_->NoResult();
}
std::string FakeNovelSite::StoryPage(const FakeStory& story) const {
    return data_->StoryPageHtml(story);
}
std::string FakeNovelSite::ChapterListPage(const FakeStory& story) const {
    return data_->Encode(data_->Head(story.title) + data_->ChapterListHtml(story) +
                         "</body></html>\n");
}
std::string FakeNovelSite::ChapterPage(const FakeStory& story, const FakeChapter& chapter) const {
    return data_->ChapterPageHtml(story, chapter);
}
std::string FakeNovelSite::ExpectedChapterContent(const FakeStory& story,
                                                  const FakeChapter& chapter) const {
    return data_->ChapterContent(story, chapter, false);
}

std::vector<std::string> FakeNovelSite::SearchKeys() const {
    std::lock_guard lock(data_->mutex);
    return data_->searchKeys;
}

std::string FakeNovelSite::PictureBytes(std::string_view name) {
    // An 8 x 8 RGB PNG whose colour follows the name, so different pictures differ.
    const uint32_t hash =
        crc32(0, reinterpret_cast<const Bytef*>(name.data()), static_cast<uInt>(name.size()));
    constexpr int kSize = 8;
    std::string raw;
    for (int y = 0; y < kSize; ++y) {
        raw += '\0';
        for (int x = 0; x < kSize; ++x) {
            raw += static_cast<char>(hash & 0xFF);
            raw += static_cast<char>((hash >> 8) + x * 16);
            raw += static_cast<char>((hash >> 16) + y * 16);
        }
    }
    std::string packed = Compress(raw, BodyEncoding::ZlibDeflate);
    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    PutU32(header, kSize);
    PutU32(header, kSize);
    header += std::string("\x08\x02\x00\x00\x00", 5);
    PngChunk(png, "IHDR", header);
    PngChunk(png, "IDAT", packed);
    PngChunk(png, "IEND", "");
    return png;
}

}  // namespace testing_support

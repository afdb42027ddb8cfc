#include "tools/demo-site/DemoWorld.h"

#include <filesystem>
#include <fstream>

#include "core/DBCreater.h"
#include "core/StoryDB.h"
#include "platform/BuildConfig.h"
#include "platform/Charset.h"

namespace {

using namespace testing_support;

struct DemoStory {
    const char* title;
    const char* author;
    int chapters;
    int volumes;
    int picturesEvery;
};

// A handful of stories per site: volumes, many chapters, covers, pictures.
constexpr DemoStory kGbkStories[] = {
    {"剑影江湖", "云中客", 120, 4, 37},
    {"青石镇旧事", "林晚", 45, 2, 0},
    {"孤城夜雨", "沈默", 300, 6, 0},
};
constexpr DemoStory kUtf8Stories[] = {
    {"剑影江湖", "云中客", 118, 3, 0},
    {"星河归途", "苏白", 80, 3, 25},
    {"山海录", "老树", 12, 1, 5},
};
// The followed story of the demo profile, on the UTF-8 site, and how many
// chapters its stored latest chapter lies behind the site's.
constexpr const char* kFollowedTitle = "星河归途";
constexpr int kFollowedBehind = 3;

constexpr const char* kStyle =
    "<style>body{font-family:sans-serif;margin:24px 32px;color:#333;background:#fff}"
    "h1{font-size:20px;color:#2273bf;margin:0 0 12px}h2{font-size:16px;margin:20px 0 8px}"
    "ul{padding-left:20px}li{margin:6px 0}a{color:#2b83d6;text-decoration:none}"
    "a:hover{text-decoration:underline}.muted{color:#888}"
    "button{padding:4px 14px}input{padding:4px;width:260px}</style>";

std::string Page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
           "</title>" + kStyle + "</head><body>" + body + "</body></html>";
}

HttpReply Html(const std::string& page) {
    return HttpReply::Page(page, "text/html; charset=utf-8");
}

// Links that search every site of the program for a title, through the page
// bridge that the program gives the vendor's pages.
constexpr const char* kSearchLinksScript =
    "<script>document.querySelectorAll('[data-search]').forEach(function(a){"
    "a.onclick=function(){window.external.Search(a.dataset.search,0);return false;};});"
    "</script>";

}  // namespace

DemoWorld::DemoWorld() : vendor_(vendorServer_) {
    FakeSiteOptions gbkOptions;
    gbkOptions.siteID = "demogbk";
    gbkOptions.siteName = "演示书站（GBK）";
    gbkOptions.charset = SiteCharset::Gbk;
    gbkOptions.encoding = BodyEncoding::Gzip;
    gbk_ = std::make_unique<FakeNovelSite>(sites_, gbkOptions);
    FakeSiteOptions utf8Options;
    utf8Options.siteID = "demoutf8";
    utf8Options.siteName = "演示书站（UTF-8）";
    utf8Options.charset = SiteCharset::Utf8;
    utf8Options.listOnStoryPage = true;
    utf8_ = std::make_unique<FakeNovelSite>(sites_, utf8Options);
    AddStories();
    ServeIndexPages();

    vendor_.SetStoryList(platform::Utf8ToAnsi(StoryListText()));
    // The program is up to date: the update check finds nothing to offer.
    vendor_.SetUpdateDescription(
        "[General]\r\nVersion=" + std::string(platform::build::kVersionText) + "\r\n");
    vendor_.AddSyncAccount(kUserID, kLoginKey, kFDID);
    // A story read on another computer, so that downloading the history
    // brings something home.
    const FakeStory far = gbk_->Stories().back();
    const FakeChapter* farChapter = far.Chapters().at(41);
    vendor_.SetSyncRows(kUserID,
                        {{far.title, far.author, far.id, gbkOptions.siteName, gbkOptions.siteID,
                          farChapter->name, farChapter->id, "2024-05-01 21:30:00"}});
    ServeVendorPages();
}

void DemoWorld::AddStories() {
    const auto add = [&](FakeNovelSite& site, const auto& stories) {
        for (const auto& s : stories) {
            const FakeStory story =
                site.AddStory(s.title, s.author, s.chapters, s.volumes, s.picturesEvery);
            stories_.push_back(
                {story.title, story.author, site.Options().siteName, site.StoryURL(story.id)});
            if (&site == utf8_.get() && story.title == kFollowedTitle) followed_ = story;
        }
    };
    add(*gbk_, kGbkStories);
    add(*utf8_, kUtf8Stories);
}

void DemoWorld::ServeIndexPages() {
    std::string body = "<h1>演示书站</h1><p>Quira 的演示用小说站点，内容由程序生成。</p>";
    for (const FakeNovelSite* site : {gbk_.get(), utf8_.get()}) {
        body += "<h2>" + HtmlEscape(site->Options().siteName) + "</h2><ul>";
        for (const FakeStory& story : site->Stories()) {
            body += "<li><a href=\"" + HtmlEscape(site->StoryURL(story.id)) + "\">" +
                    HtmlEscape(story.title) + "</a> <span class=\"muted\">" +
                    HtmlEscape(story.author) + "，" + std::to_string(story.Chapters().size()) +
                    "章</span></li>";
        }
        body += "</ul>";
    }
    sites_.Serve("/", Html(Page("演示书站", body)));
}

void DemoWorld::ServeVendorPages() {
    std::string hot;
    for (const auto& story : kUtf8Stories) {
        hot += "<li><a href=\"#\" data-search=\"" + HtmlEscape(story.title) + "\">" +
               HtmlEscape(story.title) + "</a> <span class=\"muted\">" + HtmlEscape(story.author) +
               "</span></li>";
    }
    const std::string login =
        "<h2>用户中心</h2><p>演示账号 <b>" + std::string(kUserID) +
        "</b>：登录后可在左侧“同步最近阅读记录”中上传、下载阅读记录。</p>"
        "<button id=\"login\">登录演示账号</button> <span id=\"state\" class=\"muted\"></span>"
        "<script>document.getElementById('login').onclick=function(){"
        "var ok=window.external.LoginUC('" +
        std::string(kUserName) + "','" + kLoginKey + "','" + kUserID + "','" + kFDID +
        "');document.getElementById('state').textContent=ok==1?'已登录':'登录失败';};"
        "</script>";
    vendorServer_.Serve(
        "/velqonew/html/index2.html",
        Html(Page("今日热门",
                  "<h1>今日热门</h1><p>点击书名，在站点表的所有书站中同时搜索。</p><ul>" + hot +
                      "</ul>" + login + kSearchLinksScript)));

    vendorServer_.Serve(
        "/velqonew/news/search.php",
        Html(Page("搜索",
                  "<h1>搜索小说</h1><form id=\"f\"><input id=\"key\" placeholder=\"书名，"
                  "或书名+作者\"> <button>搜索</button></form>"
                  "<script>document.getElementById('f').onsubmit=function(){"
                  "window.external.Search(document.getElementById('key').value,0);"
                  "return false;};</script>")));

    vendorServer_.Serve(
        "/velqonew/news/booknull.php",
        Html(Page("空",
                  "<h1>这里还没有小说</h1><p>搜索一本小说，在它的章节目录页把它加入书架；"
                  "读过的小说会出现在“最近阅读”中。</p>")));

    std::string library = "<h1>小说库</h1><ul>";
    for (const auto& story : stories_) {
        library += "<li><a href=\"#\" data-search=\"" + HtmlEscape(story.title) + "\">" +
                   HtmlEscape(story.title) + "</a> <span class=\"muted\">" +
                   HtmlEscape(story.author) + " · " + HtmlEscape(story.siteName) + "</span></li>";
    }
    library += "</ul>";
    const HttpReply libraryPage = Html(Page("小说库", library + kSearchLinksScript));
    vendorServer_.Serve("/velqonew/news", libraryPage);
    vendorServer_.Serve("/velqonew/news/", libraryPage);

    vendorServer_.Serve("/velqonew/feedback/",
                        Html(Page("意见反馈",
                                  "<h1>意见反馈</h1><p>这是演示服务：这里不收集意见，"
                                  "也不向任何地方发送内容。</p>")));

    vendorServer_.Serve("/",
                        Html(Page("演示服务",
                                  "<h1>演示服务</h1><ul>"
                                  "<li><a href=\"/velqonew/html/index2.html\">今日热门</a></li>"
                                  "<li><a href=\"/velqonew/news/search.php\">搜索</a></li>"
                                  "<li><a href=\"/velqonew/news\">小说库</a></li>"
                                  "<li><a href=\"/story.cab\">story.cab</a> · "
                                  "<a href=\"/update.cab\">update.cab</a></li></ul>")));
}

std::string DemoWorld::StoryListText() const {
    // The package marker, hot stories that search the demo sites and one
    // status-bar message.
    std::string text =
        "[General]\r\nmarker=<b ID=\"{E4E4647D-5B7B-4DDB-9078-6658B701838B}\">\r\n[Story]\r\n";
    int n = 0;
    for (const auto& story : kUtf8Stories)
        text += "s" + std::to_string(++n) + "=<a StoryName=\"" + story.title + "\" SearchWords=\"" +
                story.title + "\">\r\n";
    text += "[windows]\r\nw1=<a Title=\"演示书站已启动\" URL=\"" + sites_.BaseURL() +
            "/\" Color=\"0\">\r\n";
    return text;
}

bool DemoWorld::WriteDatabase(const std::string& path, bool follow) const {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    // An empty file is an empty database: the check creates every table and
    // imports no shipped sites.
    if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary);
    if (!TDBCreater().CheckDatabase(path, path + ".no-shipped-database")) return false;
    try {
        TStoryDB db(path);
        for (const FakeNovelSite* site : {gbk_.get(), utf8_.get()}) {
            const FakeSiteRow row = site->Row();
            if (!db.SaveSite(row.SiteID, row.ToSiteItemData())) return false;
        }
        if (!follow) return true;
        const auto chapters = followed_.Chapters();
        const FakeChapter* behind = chapters.at(chapters.size() - 1 - kFollowedBehind);
        const auto A = [](const std::string& utf8) { return platform::Utf8ToAnsi(utf8); };
        return db.AddArticle(utf8_->Options().siteID, followed_.id, A(followed_.title),
                             A(followed_.author), A(followed_.intro), A(behind->name),
                             A(followed_.category), 0, "") &&
               db.SetInOnlineShelf(utf8_->Options().siteID, followed_.id, true) &&
               db.SetFollowed(utf8_->Options().siteID, followed_.id, true);
    } catch (const std::exception&) {
        return false;
    }
}

std::string DemoWorld::Summary() const {
    std::string text = "Demo novel sites:  " + sites_.BaseURL() + "/\n";
    for (const auto& story : stories_)
        text += "  " + story.title + " / " + story.author + "  " + story.url + "\n";
    text += "Vendor services:   QUIRA_SERVICE_URL=" + vendor_.BaseURL() + "\n";
    text += "Sync account:      user id " + std::string(kUserID) + ", login key " + kLoginKey +
            ", fdid " + kFDID + " (the start page logs it in)\n";
    text += "Followed story:    " + followed_.title + " (" + std::to_string(kFollowedBehind) +
            " chapters behind the site: the first follow check announces them)\n";
    return text;
}

void DemoWorld::Stop() {
    sites_.Stop();
    vendorServer_.Stop();
}

#include "shelf/VendorPages.h"

#include <glib.h>

#include <string_view>

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "net/ServiceURL.h"

namespace {

struct LocalPage {
    TVendorPage page;
    const char* file;
    const char* title;
    const char* text;
};

constexpr LocalPage kLocalPages[] = {
    {TVendorPage::Search, "search.html", "搜索小说",
     "在上方的搜索框里输入小说名，按回车或点“搜索”，Tolvane 会同时在所有书站里查找。"
     "书名后加“+作者名”可以只看这位作者的书。"},
    {TVendorPage::EmptyList, "booknull.html", "这里还没有书",
     "搜索一本小说，在目录页里点“加入书架”，它就会出现在这里。"},
    {TVendorPage::Library, "library.html", "小说库", "搜索您想看的小说，书站里的好书都能找到。"},
    {TVendorPage::HotStories, "index.html", "今日热门",
     "在上方输入书名开始搜索；点书名下面的热门推荐可以直接搜索它。"},
};

// What the search page says after a search, chosen by the part of its
// address after "#": "none:" and the words searched, or "nosites". The words
// are put in as text, never as markup.
constexpr const char* kSearchOutcomeScript = R"JS(
function ShowOutcome() {
  var title = document.getElementById("title"), text = document.getElementById("text");
  var hash = location.hash.slice(1), words = null;
  try { hash = decodeURIComponent(hash); } catch (e) { hash = ""; }
  if (hash.indexOf("none:") === 0) {
    words = hash.slice(5);
    title.textContent = "没有找到您要的小说";
    text.textContent = "";
    text.appendChild(document.createTextNode("所有书站都没有找到与“"));
    var b = document.createElement("b");
    b.id = "words";
    b.textContent = words;
    text.appendChild(b);
    text.appendChild(document.createTextNode(
      "”有关的小说。请检查书名有没有错字，或者只输入书名中的几个字再搜索一次；" +
      "书名后加“+作者名”可以只看这位作者的书。"));
  } else if (hash === "nosites") {
    title.textContent = "书站列表还是空的";
    text.textContent =
      "Tolvane 还不知道可以去哪些书站搜索，这次搜索没有发出去。书站这样加入：" +
      "设置了服务地址（QUIRA_SERVICE_URL）时，Tolvane 启动 5 秒后的升级检查会下载新的书站数据库并导入；" +
      "也可以用导入程序 DBCreater 把书站数据库中的书站导入进来（见 README 的“Sites”一节）。" +
      "导入之后再搜索即可。";
  } else {
    title.textContent = title.getAttribute("data-default");
    text.textContent = text.getAttribute("data-default");
  }
  document.body.setAttribute("data-outcome", words !== null ? "none" : hash === "nosites" ? "nosites" : "");
}
window.addEventListener("hashchange", ShowOutcome);
window.addEventListener("DOMContentLoaded", ShowOutcome);
)JS";

const LocalPage& Local(TVendorPage page) {
    for (const LocalPage& local : kLocalPages) {
        if (local.page == page) return local;
    }
    return kLocalPages[0];
}

std::string LocalPagePath(const LocalPage& page) {
    return DataFolder() + std::string(kCacheFolderName) + "/" + page.file;
}

std::string Escaped(std::string_view text) {
    gchar* escaped = g_markup_escape_text(text.data(), static_cast<gssize>(text.size()));
    std::string result(escaped);
    g_free(escaped);
    return result;
}

std::string PageText(const LocalPage& page) {
    const std::string title = Escaped(page.title), text = Escaped(page.text);
    const bool search = page.page == TVendorPage::Search;
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" + title +
           "</title><style>body{margin:0;background:#fff;color:#555;font:14px/1.8 "
           "\"Noto Sans CJK SC\",sans-serif}.box{margin:70px auto;max-width:460px;text-align:"
           "center}h1{font-size:20px;font-weight:600;color:#2b83d6;margin:0 0 10px}b{color:#333;"
           "word-break:break-all}</style>" +
           (search ? std::string("<script>") + kSearchOutcomeScript + "</script>" : std::string()) +
           "</head><body><div class=\"box\"><h1 id=\"title\" data-default=\"" + title + "\">" +
           title + "</h1><p id=\"text\" data-default=\"" + text + "\">" + text +
           "</p></div></body></html>\n";
}

// The local search page's address with the outcome after "#", all in
// ASCII: the browser takes addresses as ANSI texts.
std::string LocalSearchPageURI(const std::string& outcome) {
    gchar* uri =
        g_filename_to_uri(LocalPagePath(Local(TVendorPage::Search)).c_str(), nullptr, nullptr);
    if (!uri) return {};
    gchar* fragment = g_uri_escape_string(outcome.c_str(), nullptr, FALSE);
    std::string result = std::string(uri) + "#" + fragment;
    g_free(fragment);
    g_free(uri);
    return result;
}

}  // namespace

std::string VendorPageURL(TVendorPage page) {
    const char* path = "/velqonew/news/search.php";
    switch (page) {
        case TVendorPage::Search:
            path = "/velqonew/news/search.php";
            break;
        case TVendorPage::EmptyList:
            path = "/velqonew/news/booknull.php";
            break;
        case TVendorPage::Library:
            path = "/velqonew/news";
            break;
        case TVendorPage::HotStories:
            path = "/velqonew/html/index2.html";
            break;
    }
    const std::string url = ServiceURL(path);
    return url.empty() ? LocalPagePath(Local(page)) : url;
}

std::string SearchNothingFoundURL(const std::string& wordsUtf8) {
    if (!ServiceURL("").empty()) return VendorPageURL(TVendorPage::Search);
    return LocalSearchPageURI("none:" + wordsUtf8);
}

std::string SearchWithoutSitesURL() {
    return LocalSearchPageURI("nosites");
}

std::string VendorCategoryURL(int typeID) {
    const std::string url = ServiceURL("/velqonew/news/?type_id=" + std::to_string(typeID));
    return url.empty() ? VendorPageURL(TVendorPage::Library) : url;
}

std::string VendorHomeURL() {
    return ServiceURL("/");
}

std::string VendorFeedbackURL() {
    return ServiceURL("/velqonew/feedback/");
}

bool WriteLocalVendorPages() {
    // The search page is also the one that says that the site table is
    // empty, which the service's page cannot know.
    const bool service = !ServiceURL("").empty();
    bool all = true;
    for (const LocalPage& page : kLocalPages) {
        if (service && page.page != TVendorPage::Search) continue;
        all = WriteFileAtomic(LocalPagePath(page), PageText(page), FileDurability::Replaceable) &&
              all;
    }
    return all;
}

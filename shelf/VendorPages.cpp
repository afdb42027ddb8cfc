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
    return "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
           Escaped(page.title) +
           "</title><style>body{margin:0;background:#fff;color:#555;font:14px/1.8 "
           "\"Noto Sans CJK SC\",sans-serif}.box{margin:70px auto;max-width:460px;text-align:"
           "center}h1{font-size:20px;font-weight:600;color:#2b83d6;margin:0 0 10px}</style>"
           "</head><body><div class=\"box\"><h1>" +
           Escaped(page.title) + "</h1><p>" + Escaped(page.text) + "</p></div></body></html>\n";
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
    if (!ServiceURL("").empty()) return true;
    bool all = true;
    for (const LocalPage& page : kLocalPages)
        all = WriteFileAtomic(LocalPagePath(page), PageText(page), FileDurability::Replaceable) &&
              all;
    return all;
}

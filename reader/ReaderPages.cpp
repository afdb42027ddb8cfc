#include "reader/ReaderPages.h"

#include <glib.h>

#include "core/HtmlSanitizer.h"
#include "core/PageTemplate.h"
#include "core/Regex.h"
#include "core/TextHelpers.h"
#include "net/ServiceURL.h"
#include "platform/Url.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

AnsiString EscapeRegex(std::string_view text) {
    AnsiString out;
    for (const char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}-/").find(c) != std::string_view::npos)
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

bool HasNonAscii(std::string_view bytes) {
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

}  // namespace

AnsiString GetTemplateValue(std::string_view text, std::string_view name) {
    return RegexMatch(text, "(?i)" + EscapeRegex(name) + "=<\\[(.*?)\\]>");
}

std::string VendorDomain() {
    const std::string base = ServiceURL("/");
    if (base.empty()) return {};
    const size_t start = base.find("://");
    if (start == std::string::npos) return {};
    const size_t hostStart = start + 3;
    const size_t end = base.find_first_of(":/?#", hostStart);
    std::string host = base.substr(hostStart, end == std::string::npos ? end : end - hostStart);
    if (const size_t at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    return host;
}

AnsiString RemoveVendorScripts(std::string_view page, std::string_view domain) {
    if (domain.empty()) return AnsiString(page);
    return RegexReplaceAll("(?i)<script[^<>]*" + EscapeRegex(domain) + "[^<>]*>\\s*</script>", page,
                           "");
}

AnsiString RenderChapterPage(std::string_view contentTemplate, std::string_view fileText,
                             bool offline) {
    const AnsiString chapterName = GetTemplateValue(fileText, "ChapterName");
    const AnsiString author = GetTemplateValue(fileText, "Author");
    const AnsiString updateTime = GetTemplateValue(fileText, "UpdateTime");
    const AnsiString content = RegexReplaceAll("(?i)<!\\-\\-.*?\\-\\->", fileText, "");
    AnsiString page = FillTemplate(
        contentTemplate,
        {{"Date", updateTime}, {"Author", author}, {"Title", chapterName}, {"Content", content}});
    if (offline) page = RemoveVendorScripts(page, VendorDomain());
    return page;
}

AnsiString LocalTextToHtml(std::string_view bytes) {
    AnsiString text;
    if (bytes.starts_with(kUtf8Bom)) {
        text = platform::Utf8ToAnsi(bytes.substr(kUtf8Bom.size()));
    } else if (HasNonAscii(bytes) && platform::IsValidUtf8(bytes)) {
        // A GBK text long enough to matter is practically never valid UTF-8.
        text = platform::Utf8ToAnsi(bytes);
    } else {
        text = AnsiString(bytes);
    }
    const AnsiString escaped = EscapeHtml(text);
    AnsiString out;
    out.reserve(escaped.size() + escaped.size() / 8);
    for (size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '\r') {
            if (i + 1 < escaped.size() && escaped[i + 1] == '\n') ++i;
            out += "<br>";
        } else if (c == '\n') {
            out += "<br>";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

AnsiString RenderLocalPage(std::string_view contentTemplate, std::string_view bytes,
                           std::string_view fileNameUtf8, const std::string& dateTime,
                           bool offline) {
    AnsiString page =
        FillTemplate(contentTemplate, {{"Date", dateTime},
                                       {"Author", platform::Utf8ToAnsi("本地导入")},
                                       {"Title", EscapeHtml(platform::Utf8ToAnsi(fileNameUtf8))},
                                       {"Content", LocalTextToHtml(bytes)}});
    if (offline) page = RemoveVendorScripts(page, VendorDomain());
    // Neither the chapter buttons nor the way back to the contents mean
    // anything for a local file.
    page = RegexReplaceAll("(?i)<div[^<>]*class=\"btmBtns\">.*?</div>", page, "");
    page = RegexReplaceAll("(?i)\\[[^<>]*<a[^<>]*href=\"[^<>]*\">" +
                               platform::Utf8ToAnsi("返回书目") + "</a>[^<>]*\\]",
                           page, "");
    return page;
}

bool IsLoadingPage(std::string_view page) {
    const size_t cut = page.find_last_of('/');
    const std::string_view name = cut == std::string_view::npos ? page : page.substr(cut + 1);
    return g_ascii_strcasecmp(std::string(name).c_str(), "loading.html") == 0;
}

std::string ErrorPageURL(const AnsiString& title, const AnsiString& message, bool retry) {
    std::string page =
        "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
        platform::AnsiToUtf8(EscapeHtml(title)) +
        "</title><style>body{margin:0;display:flex;align-items:center;justify-content:center;"
        "height:100vh;background:#f6efe2;color:#2f2a24;font:16px/1.8 \"Noto Sans CJK SC\","
        "sans-serif}.box{text-align:center;max-width:520px;padding:24px}h1{font-size:20px;"
        "font-weight:600;margin:0 0 10px}p{color:#8f8477;margin:0 0 18px}a{display:inline-block;"
        "padding:6px 22px;border:1px solid #b5482f;border-radius:4px;color:#b5482f;"
        "text-decoration:none}</style></head><body><div class=\"box\"><h1>" +
        platform::AnsiToUtf8(EscapeHtml(title)) + "</h1><p>" +
        platform::AnsiToUtf8(EscapeHtml(message)) + "</p>";
    if (retry)
        page += "<a id=\"retry\" href=\"" + std::string(kRetryURL) + "\">重新加载</a>";
    else
        page += "<p>请点击工具栏的“刷新”按钮重试。</p>";
    page += "</div></body></html>";
    char* escaped = g_uri_escape_string(page.c_str(), nullptr, FALSE);
    std::string url = std::string("data:text/html;charset=utf-8,") + escaped;
    g_free(escaped);
    return url;
}

std::string ErrorReportURL(std::string_view chapterURL) {
    const std::string base = ServiceURL("/help/cuowu.php");
    if (base.empty()) return {};
    char* escaped = g_uri_escape_string(std::string(chapterURL).c_str(), nullptr, FALSE);
    std::string url = base + "?url=" + escaped;
    g_free(escaped);
    return url;
}

// How fast the rule engine pulls fields out of a chapter-list page, and how
// fast a chapter page is cleaned up: the two regex-heavy paths of a download.
#include <benchmark/benchmark.h>

#include <string>

#include "core/TextHelpers.h"

namespace {

// A GBK chapter-list page of n entries, shaped like the sites' pages.
std::string ChapterListPage(int entries) {
    std::string page = "<html><head><title>\xCA\xE9\xC3\xFB</title></head><body><div id=\"list\">";
    for (int i = 0; i < entries; ++i) {
        page += "<dd><a href=\"/book/1/" + std::to_string(1000 + i) + ".html\">\xB5\xDA" +
                std::to_string(i) + "\xD5\xC2 \xD6\xD0\xCE\xC4</a></dd>\r\n";
    }
    return page + "</div><div id=\"footer\">end</div></body></html>";
}

std::string ChapterPage(int paragraphs) {
    std::string page = "<!DOCTYPE html><html><body><div id=\"content\">";
    for (int i = 0; i < paragraphs; ++i) {
        page += "&nbsp;&nbsp;<font color=red>\xD6\xD0\xCE\xC4</font> <b>text</b> &ldquo;" +
                std::to_string(i) + "&rdquo;<br/><!-- ad -->\r\n";
    }
    return page + "</div></body></html>";
}

void BM_RegexMatchAnyLastLine(benchmark::State& state) {
    const std::string page = ChapterListPage(static_cast<int>(state.range(0)));
    // The first lines miss, the last one finds the footer after the whole list.
    const std::string rule =
        "<div id=\"nav\">(.*?)</div>\r\n<p class=\"x\">(.*?)</p>\r\n"
        "<div id=\"footer\">(.*?)</div>";
    for (auto _ : state) {
        const AnsiString value = RegexMatchAny(page, rule);
        if (value != "end") state.SkipWithError("rule did not match");
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_RegexMatchAnyLastLine)->Arg(100)->Arg(3000);

void BM_CleanChapter(benchmark::State& state) {
    const std::string page = ChapterPage(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        const AnsiString text = TrimAndIndent(DecodeEntities(StripTags(page)));
        if (text.empty()) state.SkipWithError("nothing left");
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(page.size()));
}
BENCHMARK(BM_CleanChapter)->Arg(200);

}  // namespace

#include "core/ExportText.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "core/AtomicFile.h"
#include "core/PageTemplate.h"
#include "core/TextHelpers.h"
#include "platform/BuildConfig.h"

namespace {

// The vendor's web address for the notice: the service host when one is set.
std::string VendorAddress() {
    if (const char* url = std::getenv("QUIRA_SERVICE_URL"); url && *url) return url;
    return platform::build::kServiceUrl;
}

}  // namespace

TExportText::TExportText() {
    LoadStoryTemplate();
}

void TExportText::LoadStoryTemplate() {
    // The template's source is UTF-8; the file is written in GBK, so the
    // template is decoded once here and the output is GBK throughout.
    const AnsiString story = platform::Utf8ToAnsi(LoadTemplateText("Story"));
    storyHeader_ = CutTemplateBlock(story, "StoryHeader", false);
    chapter_ = CutTemplateBlock(story, "Chapter", false);
}

TExportText::~TExportText() {
    StopWorker();
}

void TExportText::LoadChapters(std::string_view siteID, std::string_view articleID) {
    LoadCachedChapters(siteID, articleID, false);
}

AnsiString TExportText::NoticeText() {
    const std::string address = VendorAddress();
    const std::string where = address.empty() ? std::string() : "（官网：" + address + "）";
    return platform::Utf8ToAnsi(
        "   提示：您下载的当前小说源上的本章节内容可能是图片，无法导出成TXT格式。请在电脑上使用"
        "Tolvane" +
        where + "客户端阅读本章节或者将小说导出为EPUB格式！");
}

AnsiString TExportText::HtmlToText(std::string_view html) {
    // A plain-text file holds no markup: every reference becomes its
    // character, named or numeric, in one pass.
    AnsiString text = StripTags(DecodeHtmlEntities(html));
    text = RegexReplaceAll("(?i)<br\\s*/?>", text, "\r\n");
    text = RegexReplaceAll("(?i)<p>", text, "\r\n");
    text = RegexReplaceAll("(?i)</p>", text, "");
    // Lines holding only white space or "|" between two line breaks go.
    return RegexReplaceAll("\\n[\\s| ]*\\r", text, "");
}

// Titles and names are stored as the site's rules cleaned them, which
// decodes only a few references; in a plain-text file every one is its
// character.
AnsiString TExportText::PlainName(const AnsiString& name) {
    return DecodeHtmlEntities(StripTags(name));
}

std::string TExportText::DoExport(const std::string& folder, int startIndex) {
    // Without the template every chapter would come out empty, in a file
    // that looks written well.
    if (chapter_.empty())
        throw TExportError("the story template is missing or broken", TExportFailure::Templates);
    const AnsiString title = PlainName(Title);
    const std::string fileName = ExportFileName(folder, title, ".txt");
    AnsiString out = FillTemplate(storyHeader_, {{"Title", title},
                                                 {"Author", PlainName(Author)},
                                                 {"Intro", HtmlToText(Intro)},
                                                 {"DateTime", DateTimeText(std::time(nullptr))}});
    const int count = static_cast<int>(Chapters.size());
    for (int i = std::max(startIndex, 0); i < count; ++i) {
        if (cancelled_) return fileName;
        const TChapterItemData& chapter = Chapters[static_cast<size_t>(i)];
        const AnsiString name = PlainName(chapter.ChapterName);
        const AnsiString content = TrimAndIndent(TrimAndIndent(chapter.ChapterContent));
        Progress(i + 1, name, count);
        if (name.empty()) continue;
        out += FillTemplate(
            chapter_, {{"ChapterName", name},
                       {"ChapterContent", content.empty() ? NoticeText() : HtmlToText(content)}});
    }
    if (cancelled_) return fileName;
    if (!MakeFolders(WithTrailingSlash(folder)) || !WriteFileAtomic(fileName, out))
        throw TExportError("cannot write " + fileName);
    return fileName;
}

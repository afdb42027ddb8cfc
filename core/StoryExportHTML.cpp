#include "core/StoryExportHTML.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <ctime>
#include <memory>

#include "core/AtomicFile.h"
#include "core/Folders.h"
#include "core/HtmlSanitizer.h"
#include "core/PageTemplate.h"
#include "core/StoryDB.h"
#include "core/TextHelpers.h"
#include "platform/Image.h"

namespace {

constexpr std::string_view kDefaultCover = "../../Image/cover.jpg";

// A FolderName names one folder under the book folder; anything that could
// reach elsewhere (empty, a separator, a dot name) names none.
bool IsPlainFolderName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::string FolderOf(std::string_view folderName) {
    if (!IsPlainFolderName(folderName)) return {};
    return BookFolder() + platform::AnsiToUtf8(folderName) + "/";
}

// JPEG has no transparency: a transparent cover is laid on white first.
platform::PixbufPtr Opaque(platform::PixbufPtr picture) {
    if (!gdk_pixbuf_get_has_alpha(picture.get())) return picture;
    const int width = gdk_pixbuf_get_width(picture.get());
    const int height = gdk_pixbuf_get_height(picture.get());
    platform::PixbufPtr flat(gdk_pixbuf_composite_color_simple(
        picture.get(), width, height, GDK_INTERP_NEAREST, 255, 8, 0xFFFFFF, 0xFFFFFF));
    return flat;
}

AnsiString Now() {
    return DateTimeText(std::time(nullptr));
}

}  // namespace

std::string StoryCacheFolder(std::string_view folderName) {
    return FolderOf(folderName);
}

std::string ChapterCacheFile(std::string_view siteID, std::string_view articleID,
                             std::string_view chapterID) {
    AnsiString folderName;
    if (TStoryDB* db = StoryDB()) db->GetFolderName(siteID, articleID, folderName);
    const std::string folder = FolderOf(folderName);
    if (folder.empty()) return {};
    return folder + SaltedMD5(chapterID) + ".txt";
}

TStoryExportHTML::TStoryExportHTML() {
    LoadTemplateTexts();
}

void TStoryExportHTML::LoadTemplateTexts() {
    listTemplate_ = platform::Utf8ToAnsi(LoadTemplateText("List"));
    list2Template_ = platform::Utf8ToAnsi(LoadTemplateText("List2"));
    chapterTemplate_ = platform::Utf8ToAnsi(LoadTemplateText("chapter"));
    subVolumnsItem_ = CutTemplateBlock(listTemplate_, "SubVolumnsItem", true);
    chapterItem_ = CutTemplateBlock(listTemplate_, "ChapterItem", true);
}

void TStoryExportHTML::SetChapters(const std::vector<TArticleVolumnChapterData>& chapters) {
    chapters_ = chapters;
}

void TStoryExportHTML::ClearChapters() {
    chapters_.clear();
}

std::string TStoryExportHTML::StoryFolder() const {
    return FolderOf(FolderName);
}

std::string TStoryExportHTML::WriteChapterPage(std::string_view chapterID, std::string_view author,
                                               std::string_view title, std::string_view content) {
    const std::string folder = StoryFolder();
    if (folder.empty()) return {};
    const AnsiString now = Now();
    // A chapter without text is shown as it is, but its marker stays empty, so
    // the page does not count as published and the chapter is fetched again
    // next time instead of staying empty for good.
    const AnsiString published = content.empty() ? AnsiString() : now;
    const AnsiString page = FillTemplate(chapterTemplate_, {{"Date", published},
                                                            {"Author", EscapeHtml(author)},
                                                            {"Title", EscapeHtml(title)},
                                                            {"Content", SanitizeHtml(content)},
                                                            {"LastDateTime", now}});
    const std::string file = folder + SaltedMD5(chapterID) + ".txt";
    const std::string bytes = page + "\r\n";
    // The folder is made when a write finds it missing, not asked for before
    // every chapter of a download.
    if (!WriteFileAtomic(file, bytes, FileDurability::Replaceable) &&
        (!MakeFolders(folder) || !WriteFileAtomic(file, bytes, FileDurability::Replaceable)))
        return {};
    return file;
}

AnsiString TStoryExportHTML::BuildItems(AnsiString& lastReadChapter,
                                        AnsiString& firstReadChapter) const {
    AnsiString items;
    AnsiString previousVolume;
    lastReadChapter.clear();
    firstReadChapter.clear();
    if (!chapters_.empty()) firstReadChapter = chapters_.front().ChapterName;
    for (const auto& entry : chapters_) {
        // A chapter without a volume name never starts a heading, also when it
        // follows chapters of a volume: an empty heading would show as a bare bar.
        if (!entry.VolumnName.empty() && entry.VolumnName != previousVolume)
            items +=
                FillTemplate(subVolumnsItem_, {{"SubVolumnsName", EscapeHtml(entry.VolumnName)}});
        const AnsiString name = EscapeHtml(entry.ChapterName);
        AnsiString shownName = name;
        // With no last-read chapter, a chapter without an id is not marked.
        if (!LastReadChapterID.empty() && entry.ChapterID == LastReadChapterID) {
            shownName = "<B><Font Color=\"#FF0000\">" + name + "</B></Font>";
            lastReadChapter = entry.ChapterName;
        }
        // The escaped id holds no quote, "&", "<" or "%", so the URL is safe in a
        // quoted attribute as it stands.
        const AnsiString url = "javascript:Browser('" + EscapeScriptString(entry.ChapterID) + "')";
        items += FillTemplate(chapterItem_, {{"ChapterURL", url},
                                             {"ChapterNameDesc", name},
                                             {"ChapterID", EscapeHtml(entry.ChapterID)},
                                             {"ChapterName", shownName}});
        previousVolume = entry.VolumnName;
    }
    return items;
}

AnsiString TStoryExportHTML::ListPage(bool second, std::string_view siteID,
                                      std::string_view storyID) {
    if (State.empty()) State = platform::Utf8ToAnsi("连载中");
    const AnsiString cover =
        Cover.empty() || IsScriptURL(Cover) ? AnsiString(kDefaultCover) : Cover;
    AnsiString lastRead;
    AnsiString firstRead;
    const AnsiString items = BuildItems(lastRead, firstRead);
    return FillTemplate(second ? list2Template_ : listTemplate_,
                        {{"Title", EscapeHtml(Title)},
                         {"Author", EscapeHtml(Author)},
                         {"Class", EscapeHtml(Class)},
                         {"Keywords", EscapeHtml(Keywords)},
                         {"Intro", SanitizeHtml(Intro)},
                         {"SiteID", EscapeHtml(siteID)},
                         {"StoryID", EscapeHtml(storyID)},
                         {"State", EscapeHtml(State)},
                         {"LastInfo2", EscapeHtml(LastInfo2)},
                         {"Cover", EscapeHtml(cover)},
                         {"ArticleList", items},
                         {"LastReadChapter", EscapeHtml(lastRead)},
                         {"FirstReadChapter", EscapeHtml(firstRead)}});
}

void TStoryExportHTML::WriteListPages(std::string_view siteID, std::string_view storyID) {
    const std::string folder = StoryFolder();
    if (folder.empty()) return;
    MakeFolders(folder);
    // Made again whenever the story is read.
    WriteFileAtomic(folder + "List.HTML",
                    platform::AnsiToUtf8(ListPage(false, siteID, storyID)) + "\r\n",
                    FileDurability::Replaceable);
    WriteFileAtomic(folder + "List2.HTML",
                    platform::AnsiToUtf8(ListPage(true, siteID, storyID)) + "\r\n",
                    FileDurability::Replaceable);
}

AnsiString TStoryExportHTML::SavePicture(std::string_view bytes, std::string_view url) {
    if (bytes.empty()) return AnsiString(url);
    const std::string folder = StoryFolder();
    if (folder.empty()) return AnsiString(url);
    MakeFolders(folder);
    const std::string name = SaltedMD5(url);
    // A picture that could not be stored keeps its remote address, so the
    // page still shows it rather than naming a file that is not there.
    if (!WriteFileAtomic(folder + name, bytes, FileDurability::Replaceable)) return AnsiString(url);
    return name;
}

bool TStoryExportHTML::SaveCover() {
    if (CoverStream.empty()) return false;
    const std::string folder = StoryFolder();
    if (folder.empty()) return false;
    platform::PixbufPtr picture = platform::DecodePicture(CoverStream);
    if (!picture) return false;
    picture = Opaque(std::move(picture));
    if (!picture) return false;
    gchar* buffer = nullptr;
    gsize size = 0;
    if (!gdk_pixbuf_save_to_buffer(picture.get(), &buffer, &size, "jpeg", nullptr, nullptr))
        return false;
    const std::string jpeg(buffer, size);
    g_free(buffer);
    MakeFolders(folder);
    return WriteFileAtomic(folder + "cover.jpg", jpeg, FileDurability::Replaceable);
}

#include "core/StoryExport.h"

#include "core/Folders.h"
#include "core/Regex.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"

#include <filesystem>

TStoryExport::~TStoryExport() {
    StopWorker();
}

void TStoryExport::StopWorker() {
    cancelled_ = true;
    // Freed from its own OnDone: the worker touches nothing after the event.
    if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
        return;
    }
    Wait();
}

void TStoryExport::Wait() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) worker_.join();
}

void TStoryExport::LoadArticleInfo(std::string_view siteID, std::string_view articleID) {
    Title.clear();
    Author.clear();
    Intro.clear();
    if (TStoryDB* db = StoryDB()) db->GetArticleInfo(siteID, articleID, Title, Author, Intro);
}

void TStoryExport::LoadCachedChapters(std::string_view siteID, std::string_view articleID,
                                      bool keepPictures) {
    Chapters.clear();
    TStoryDB* db = StoryDB();
    chapterListUnread_ = !db || db->GetChapterList(siteID, articleID, Chapters).Failed();
    for (auto it = Chapters.rbegin(); it != Chapters.rend(); ++it) {
        if (cancelled_) return;
        it->Mark = 0;
        it->ChapterContent.clear();
        const std::string file = ChapterCacheFile(siteID, articleID, it->ChapterID);
        std::error_code error;
        if (file.empty() || !std::filesystem::is_regular_file(file, error)) continue;
        it->Mark = 1;
        const AnsiString text = LoadTextFile(file);
        if (!keepPictures && ContainsImage(text)) continue;
        it->ChapterContent = RegexReplaceAll("(?i)<!\\-\\-(.*?)\\-\\->", text, "");
    }
}

std::string TStoryExport::Export(const std::string& folder, int startIndex) {
    cancelled_ = false;
    return CheckedExport(folder, startIndex);
}

std::string TStoryExport::CheckedExport(const std::string& folder, int startIndex) {
    // A story whose list could not be read would be written as its header
    // alone, a file that looks whole and holds nothing.
    if (chapterListUnread_)
        throw TExportError("cannot read the chapter list", TExportFailure::ChapterList);
    return DoExport(folder, startIndex);
}

bool TStoryExport::Start(std::string_view siteID, std::string_view articleID,
                         const std::string& folder, int startIndex) {
    if (running_) return false;
    // A start from the worker's own OnDone would replace a running thread.
    if (worker_.joinable() && worker_.get_id() == std::this_thread::get_id()) return false;
    Wait();
    cancelled_ = false;
    running_ = true;
    worker_ = std::thread(
        [this, site = std::string(siteID), article = std::string(articleID), folder, startIndex] {
            std::string fileName;
            bool written = false;
            TExportFailure failure = TExportFailure::None;
            std::string error;
            try {
                LoadChapters(site, article);
                fileName = CheckedExport(folder, startIndex);
                written = !cancelled_;
            } catch (const TExportError& e) {
                failure = e.Failure();
                error = e.what();
            } catch (const std::exception& e) {
                failure = TExportFailure::Write;
                error = e.what();
            }
            running_ = false;
            if (OnDone) OnDone(this, fileName, written, failure, error);
        });
    return true;
}

void TStoryExport::Progress(int index, const AnsiString& chapterName, int count) {
    if (OnProgress) OnProgress(this, index, chapterName, count);
}

std::string WithTrailingSlash(const std::string& folder) {
    if (!folder.empty() && folder.back() == '/') return folder;
    return folder + "/";
}

std::string ExportFileName(const std::string& folder, std::string_view title,
                           std::string_view extension) {
    std::string name = platform::AnsiToUtf8(SafeFileName(title));
    // A file name holds at most 255 bytes, and the temporary file written
    // beside it adds its own suffix: a longer title is cut, between two
    // characters, so that the export can still be made.
    const size_t room =
        kMaxExportNameBytes > extension.size() ? kMaxExportNameBytes - extension.size() : 0;
    if (name.size() > room) {
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
        name.resize(cut);
    }
    // A title of dots alone would name a hidden file or no file at all.
    if (name.find_first_not_of(". ") == std::string::npos) name = "未命名";
    return WithTrailingSlash(folder) + name + std::string(extension);
}

AnsiString DecodeFiveDigitReferences(std::string_view text) {
    static const auto reference = Regex::Get("(?i)&#([\\d]{5});");
    AnsiString out;
    size_t copied = 0;
    for (const auto& match : reference->SearchAll(text)) {
        out.append(text.substr(copied, match.Start() - copied));
        const unsigned unit = static_cast<unsigned>(std::stoul(std::string(match.Group(text, 1))));
        // Above the UTF-16 range the reference is no character: it stays.
        out.append(unit <= 0xFFFF
                       ? platform::Utf16UnitToAnsi(unit)
                       : AnsiString(text.substr(match.Start(), match.End() - match.Start())));
        copied = match.End();
    }
    out.append(text.substr(copied));
    return out;
}

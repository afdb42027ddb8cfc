#include "shelf/dialogs/ExportFormController.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "core/Folders.h"
#include "core/StoryDB.h"
#include "platform/Folders.h"

namespace {

using platform::ui::MessageButtons;
using platform::ui::MessageIcon;

bool IsFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

std::string WithoutTrailingSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

AnsiString Trimmed(const AnsiString& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == AnsiString::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

TExportFormController::TExportFormController(AnsiString siteID, AnsiString storyID,
                                             AnsiString siteName)
    : siteID_(std::move(siteID)),
      storyID_(std::move(storyID)),
      siteName_(std::move(siteName)),
      text_(std::make_unique<TExportText>()),
      epub_(std::make_unique<TExportEPUB>()),
      download_(std::make_unique<TStoryDownLoad>()) {
    // Every event runs on a worker and hands copies to the dialog's thread.
    download_->OnProgress = [this](TStoryDownLoad*, const AnsiString&, const AnsiString&, int done,
                                   int total, const AnsiString& name) {
        poster_.Post([this, done, total, name] { DownloadProgress(done, total, name); });
    };
    download_->OnComplete = [this](TStoryDownLoad*, int failed) {
        poster_.Post([this, failed] { DownloadComplete(failed); });
    };
    for (TStoryExport* exporter :
         {static_cast<TStoryExport*>(text_.get()), static_cast<TStoryExport*>(epub_.get())}) {
        exporter->OnProgress = [this](TStoryExport*, int index, const AnsiString& name, int count) {
            poster_.Post([this, index, name, count] { ExportProgress(index, name, count); });
        };
        exporter->OnDone = [this](TStoryExport*, const std::string& fileName, bool written,
                                  TExportFailure failure, const std::string&) {
            poster_.Post(
                [this, fileName, written, failure] { ExportDone(fileName, written, failure); });
        };
    }

    // The remembered export folder.
    TStoryDB* db = StoryDB();
    AnsiString stored;
    if (db) db->GetExportFolder(stored);
    if (!IsFolder(platform::AnsiToUtf8(stored))) stored.clear();
    if (stored.empty()) {
        std::string folder = GetSpecialFolder(0);
        if (!IsFolder(folder)) folder = platform::HomeFolder();
        stored = platform::Utf8ToAnsi(WithoutTrailingSlash(folder));
        if (db) db->SetExportFolder(stored);
    }
    exportFolder_ = stored;
}

TExportFormController::~TExportFormController() {
    download_.reset();
    text_.reset();  // each exporter stops and waits for its worker
    epub_.reset();
    poster_.Close();
}

void TExportFormController::Changed() {
    if (OnChanged) OnChanged();
}

void TExportFormController::FillChapters() {
    chapterNames_.clear();
    std::vector<TChapterItemData> chapters;
    if (TStoryDB* db = StoryDB()) db->GetChapterList(siteID_, storyID_, chapters);
    for (const TChapterItemData& chapter : chapters) chapterNames_.push_back(chapter.ChapterName);
}

AnsiString TExportFormController::Caption() const {
    return A("小说导出") + A("  来源站点：") + siteName_;
}

TStoryExport& TExportFormController::Exporter() {
    if (format_ == TExportFormat::Epub) return *epub_;
    return *text_;
}

bool TExportFormController::FolderWritable(const std::string& folder) {
    if (folder.empty() || !platform::MakeFolders(folder)) return false;
    std::string probe = WithoutTrailingSlash(folder) + "/.quira-probe-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return false;
    const bool written = ::write(fd, "x", 1) == 1;
    ::close(fd);
    ::unlink(probe.c_str());
    return written;
}

void TExportFormController::Next(TExportFormat format, int selectedChapter,
                                 const AnsiString& folderText) {
    switch (state_.Step) {
        case 0:
            if (ChooseInStepZero(format, selectedChapter, folderText)) Changed();
            break;
        case 1:
            StartExport();
            break;
        case 2:
            if (!state_.Finished) break;
            state_.Step = 3;
            if (OnClose) OnClose();
            break;
        default:
            break;
    }
}

bool TExportFormController::ChooseInStepZero(TExportFormat format, int selectedChapter,
                                             const AnsiString& folderText) {
    if (format == TExportFormat::Text && MessageBox &&
        MessageBox(
            A("您要导出的图书章节中可能含有图片，\r\n\r\nTolvane推荐您使用EPUB格式进行导出\r\n"
              "\r\nEPUB格式阅读软件推荐使用“静读天下、开卷有益”\r\n选择横屏阅读能更好的支持图片"
              "章节。\r\n\r\n是否继续？"),
            AnsiString(kAppCaption), MessageButtons::YesNo, MessageIcon::Warning,
            platform::ui::IdNo) != platform::ui::IdYes) {
        return false;
    }
    if (!download_) return false;  // cancelled
    // The folder is checked now, not after a long download.
    const AnsiString folder = Trimmed(folderText);
    if (!FolderWritable(platform::AnsiToUtf8(folder))) {
        if (MessageBox)
            MessageBox(FormatText("无法在导出位置保存文件，请选择其他文件夹。\r\n%s", folder),
                       AnsiString(kAppCaption), MessageButtons::Ok, MessageIcon::Warning,
                       platform::ui::IdOk);
        return false;
    }
    format_ = format;
    state_.Step = 1;
    state_.ChoicesVisible = false;
    state_.FolderVisible = false;
    state_.ProgressVisible = true;
    state_.OKEnabled = false;
    state_.Title = A("小说下载中");
    state_.Description = A("正在分析...");
    if (selectedChapter >= 0) startChapter_ = selectedChapter;
    exportFolder_ = folder;
    if (TStoryDB* db = StoryDB()) db->SetExportFolder(exportFolder_);
    Exporter().LoadArticleInfo(siteID_, storyID_);
    Changed();
    StartStoryDownload(
        *download_, siteID_, storyID_,
        format == TExportFormat::Text ? TChapterMode::Text : TChapterMode::EpubOrOffline,
        startChapter_);
    return false;  // already told
}

void TExportFormController::DownloadProgress(int done, int total, const AnsiString& name) {
    if (state_.Step != 1) return;
    if (total > 0) state_.Progress = Percent(done, total);
    // The step that ends a chapter names none: the last name stays.
    if (!name.empty()) state_.Description = FormatText("正在处理（章节较多，请耐心等候）:%s", name);
    Changed();
}

void TExportFormController::DownloadComplete(int failed) {
    if (state_.Step != 1) return;
    if (failed == TStoryDownLoad::kListUnreadable) {
        // Nothing was fetched, and the export would read the same list: the
        // file would miss every chapter not cached, without a word.
        state_.Step = 2;
        ExportDone({}, false, TExportFailure::ChapterList);
        return;
    }
    failed_ = failed;
    Next();
}

void TExportFormController::StartExport() {
    state_.Step = 2;
    state_.Title = A("小说导出中");
    state_.Progress = 0;
    Changed();
    if (!Exporter().Start(siteID_, storyID_, platform::AnsiToUtf8(exportFolder_), startChapter_))
        ExportDone({}, false, TExportFailure::Busy);
}

void TExportFormController::ExportProgress(int index, const AnsiString& name, int count) {
    if (state_.Step != 2 || state_.Finished) return;
    state_.Progress = Percent(index, count);
    state_.Description = FormatText("正在处理:%s", name);
    Changed();
}

AnsiString TExportFormController::FailureText(TExportFailure failure) const {
    switch (failure) {
        case TExportFailure::ChapterList:
            return A(
                "小说导出失败，无法从数据库读取小说的章节列表（数据库正被另一个程序使用），"
                "请稍后重试。");
        case TExportFailure::Templates:
            return A("小说导出失败，导出所需的模板文件缺失或损坏，请重新安装Tolvane。");
        case TExportFailure::WorkSpace:
            return A("小说导出失败，无法创建临时文件夹，请检查磁盘空间后重试。");
        case TExportFailure::Busy:
            return A("小说导出失败，上一次导出尚未结束，请稍后重试。");
        case TExportFailure::None:
        case TExportFailure::Write:
            break;
    }
    return FormatText("小说导出失败，无法在导出位置写入文件:%s", exportFolder_);
}

void TExportFormController::ExportDone(const std::string& fileName, bool written,
                                       TExportFailure failure) {
    if (state_.Step != 2 || state_.Finished) return;
    state_.Finished = true;
    state_.Written = written;
    state_.CancelVisible = false;
    state_.OKCaption = A("完成");
    state_.OKEnabled = true;
    state_.ProgressVisible = false;
    if (written) {
        fileName_ = fileName;
        state_.Title = A("小说导出完成");
        state_.Description = FormatText("小说已经导出到:%s", platform::Utf8ToAnsi(fileName));
        if (failed_ > 0)
            state_.Description += FormatText("\r\n有%s个章节未能下载，文件中只有这些章节的提示。",
                                             std::to_string(failed_));
    } else {
        state_.Title = A("小说导出失败");
        state_.Description = FailureText(failure);
    }
    Changed();
}

void TExportFormController::Cancel() {
    // Whatever runs stops here, and this waits for it: a cancelled export
    // writes nothing, and no event of it arrives afterwards.
    download_.reset();
    text_->Cancel();
    epub_->Cancel();
    text_->Wait();
    epub_->Wait();
    poster_.Close();
}

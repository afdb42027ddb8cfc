#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/ExportEPUB.h"
#include "core/ExportText.h"
#include "net/StoryDownLoad.h"
#include "shelf/dialogs/DialogCommon.h"

enum class TExportFormat { Text, Epub };

// Exports one story to a TXT or an EPUB file in three steps: the choice of
// format, first chapter and folder; the download of the chapters not cached
// yet; the export on a worker. Cancel stops whichever runs and waits for it.
class TExportFormController {
  public:
    struct State {
        int Step = 0;
        AnsiString Title = A("请设置您要导出的文件夹位置");
        AnsiString Description = A("导出位置:");
        int Progress = 0;
        bool ChoicesVisible = true;  // the two formats and the first chapter
        bool FolderVisible = true;   // the folder edit, the browse button, the picture note
        bool ProgressVisible = false;
        bool OKEnabled = true;
        AnsiString OKCaption = A("下一步");
        bool CancelVisible = true;
        bool Finished = false;  // the export ended; OK closes
        bool Written = false;   // and the file is there
    };

    TExportFormController(AnsiString siteID, AnsiString storyID, AnsiString siteName);
    // Stops the download and the export and waits for them.
    ~TExportFormController();
    TExportFormController(const TExportFormController&) = delete;
    TExportFormController& operator=(const TExportFormController&) = delete;

    const State& GetState() const { return state_; }
    std::function<void()> OnChanged;
    TMessageBoxFn MessageBox;
    // Raised when the dialog is to close with OK (the step after the end).
    std::function<void()> OnClose;

    // The chapter names of the story in list order, for the first-chapter list.
    void FillChapters();
    const std::vector<AnsiString>& ChapterNames() const { return chapterNames_; }
    // The caption: "小说导出" and the site.
    AnsiString Caption() const;
    // The remembered export folder (ANSI): the stored one when it still
    // exists, else the desktop folder, else the home folder; stored again.
    const AnsiString& ExportFolder() const { return exportFolder_; }

    // The button "下一步" with the choices of step 0 (ignored later):
    // format, selected chapter index (-1: none), folder text.
    void Next(TExportFormat format = TExportFormat::Text, int selectedChapter = -1,
              const AnsiString& folderText = {});
    // The button "取消": stops what runs; nothing partial is left behind.
    void Cancel();

    int StartChapter() const { return startChapter_; }
    // Chapters that the download could not fetch.
    int FailedChapters() const { return failed_; }
    // The written file (UTF-8 path), once the export ended well.
    const std::string& FileName() const { return fileName_; }

    // Whether a folder (UTF-8 path) exists or can be made, and takes a file.
    static bool FolderWritable(const std::string& folder);

  private:
    void Changed();
    bool ChooseInStepZero(TExportFormat format, int selectedChapter, const AnsiString& folderText);
    void DownloadProgress(int done, int total, const AnsiString& name);
    void DownloadComplete(int failed);
    void StartExport();
    void ExportProgress(int index, const AnsiString& name, int count);
    void ExportDone(const std::string& fileName, bool written, TExportFailure failure);
    // What the end of a failed export says: its cause.
    AnsiString FailureText(TExportFailure failure) const;
    TStoryExport& Exporter();

    const AnsiString siteID_;
    const AnsiString storyID_;
    const AnsiString siteName_;
    State state_;
    std::vector<AnsiString> chapterNames_;
    AnsiString exportFolder_;
    TExportFormat format_ = TExportFormat::Text;
    int startChapter_ = 0;
    int failed_ = 0;
    std::string fileName_;
    TUiPoster poster_;
    // Workers last: they stop before the rest goes.
    std::unique_ptr<TExportText> text_;
    std::unique_ptr<TExportEPUB> epub_;
    std::unique_ptr<TStoryDownLoad> download_;
};

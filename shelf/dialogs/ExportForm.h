#pragma once

#include "shelf/dialogs/DialogFrame.h"
#include "shelf/dialogs/ExportFormController.h"

// The dialog "小说导出": format, first chapter and folder; the download of
// what is missing; the export.
class TExportForm {
  public:
    TExportForm(const AnsiString& siteID, const AnsiString& storyID, const AnsiString& siteName);
    ~TExportForm();
    TExportForm(const TExportForm&) = delete;
    TExportForm& operator=(const TExportForm&) = delete;

    // The story's chapter names into the first-chapter list; the first is selected.
    void FillChapters();
    int ShowModal(GtkWindow* owner);
    GtkWindow* Window() const { return frame_.Window(); }
    TExportFormController& Controller() { return controller_; }

  private:
    void Render();
    void BtnOKClick();
    void BtnCancelClick();
    void BtnBrowseClick();

    TDialogFrame frame_;
    TExportFormController controller_;
    GtkWidget* labelTitle_;
    GtkWidget* rbExportTXT_;
    GtkWidget* rbExportEPUB_;
    GtkWidget* label2_;
    GtkWidget* cbChapter_;
    GtkWidget* label1_;
    GtkWidget* exportFolderEdit_;
    GtkWidget* btnBrowse_;
    GtkWidget* labelDescription_;
    GtkWidget* progressBar_;
    GtkWidget* includeImageLabel_;
    GtkWidget* btnOK_;
    GtkWidget* btnCancel_;
};

// Opens the export of one story modally over owner (the page script's
// export). Returns the dialog's result.
int ShowExportForm(GtkWindow* owner, const AnsiString& siteID, const AnsiString& storyID,
                   const AnsiString& siteName);

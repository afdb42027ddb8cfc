#pragma once

#include "shelf/dialogs/DialogFrame.h"
#include "shelf/dialogs/SyncFormController.h"

// The dialog "小说同步": downloads a story for offline reading.
class TSyncForm {
  public:
    TSyncForm(const AnsiString& siteID, const AnsiString& storyID);
    ~TSyncForm();
    TSyncForm(const TSyncForm&) = delete;
    TSyncForm& operator=(const TSyncForm&) = delete;

    int ShowModal(GtkWindow* owner);
    GtkWindow* Window() const { return frame_.Window(); }
    TSyncFormController& Controller() { return controller_; }

  private:
    void Render();

    TDialogFrame frame_;
    TSyncFormController controller_;
    GtkWidget* labelDescription_;
    GtkWidget* progressBar_;
    GtkWidget* btnOK_;
    GtkWidget* btnCancel_;
};

// Opens the offline download of one story modally over owner (the page
// script's download); when it closes with OK the whole story is cached and
// it is put on the local shelf. Returns the dialog's result.
int ShowSyncForm(GtkWindow* owner, const AnsiString& siteID, const AnsiString& storyID);

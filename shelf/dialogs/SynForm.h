#pragma once

#include <functional>
#include <string>

#include "shelf/dialogs/DialogFrame.h"
#include "shelf/dialogs/SynFormController.h"

// The dialog "阅读记录同步": the three sync modes, then the steps of the one
// chosen with their progress.
class TSynForm {
  public:
    TSynForm(TSynLogin login, std::string apiURL, std::string debugFolder);
    ~TSynForm();
    TSynForm(const TSynForm&) = delete;
    TSynForm& operator=(const TSynForm&) = delete;

    int ShowModal(GtkWindow* owner);
    GtkWindow* Window() const { return frame_.Window(); }
    TSynFormController& Controller() { return controller_; }

  private:
    void Render();
    void BtnOKClick();
    void BtnCancelClick();

    TDialogFrame frame_;
    TSynFormController controller_;
    GtkWidget* labelTitle_;
    GtkWidget* rbSaveLocal_;
    GtkWidget* rbSaveRemote_;
    GtkWidget* rbSaveAll_;
    GtkWidget* labelMemo_;
    GtkWidget* labelDescription_;
    GtkWidget* progressBar_;
    GtkWidget* btnOK_;
    GtkWidget* btnCancel_;
};

// Opens the sync for the account that a page logged in with (the process's
// login texts), modally over owner, and calls onSynced when it closes after
// a sync that ended well (the recent reads are then shown anew). Without a
// complete login the user is asked to log in first; while the dialog is open
// another call brings it to the front. The service is QUIRA_SERVICE_URL's
// "/api.php"; without one nothing is sent. Returns the dialog's result,
// platform::ui::MrNone when it did not open.
int ShowSynForm(GtkWindow* owner, std::function<void()> onSynced = {});

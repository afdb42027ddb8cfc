#pragma once

#include "shelf/dialogs/AMShelfFormController.h"
#include "shelf/dialogs/DialogFrame.h"

// The dialog "我的书架": the shelf folder a story is moved into.
class TAMShelfForm {
  public:
    TAMShelfForm();
    TAMShelfForm(const TAMShelfForm&) = delete;
    TAMShelfForm& operator=(const TAMShelfForm&) = delete;

    int ShowModal(GtkWindow* owner);
    // The ID of the chosen folder; -1 when none is chosen.
    int SelectedClassID();
    GtkWindow* Window() const { return frame_.Window(); }
    TAMShelfFormController& Controller() { return controller_; }

  private:
    TDialogFrame frame_;
    TAMShelfFormController controller_;
    GtkWidget* bookClassCB_;
};

// Asks for the shelf folder of one story modally over owner and, on OK with
// a folder chosen, files the story there. Returns the dialog's result.
int ShowAMShelfForm(GtkWindow* owner, const AnsiString& siteID, const AnsiString& storyID);

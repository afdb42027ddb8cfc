#pragma once

#include <string>
#include <vector>

#include "core/Folders.h"
#include "shelf/dialogs/CacheFormController.h"
#include "shelf/dialogs/DialogFrame.h"

// The dialog "缓存清理", shown without blocking: the main window makes it
// once per run, keeps it, and opens it again whenever the cache scan finds
// the online shelf's cache over the limit.
class TCacheForm {
  public:
    TCacheForm();
    // A clean-up under way stops between two paths.
    ~TCacheForm();
    TCacheForm(const TCacheForm&) = delete;
    TCacheForm& operator=(const TCacheForm&) = delete;

    // Sets the text for the limit (MB) and the scan's paths (copied), which
    // lie in bookFolder, the folder the scan ran over (the data folder may
    // have moved since), and shows the dialog in front, centred on owner.
    void Open(GtkWindow* owner, std::vector<std::string> paths, int maxCacheSizeMB,
              std::string bookFolder = BookFolder());
    void Close();
    GtkWindow* Window() const { return frame_.Window(); }
    TCacheFormController& Controller() { return controller_; }

  private:
    void Render();

    TDialogFrame frame_;
    TCacheFormController controller_;
    GtkWidget* labelDescription_;
    GtkWidget* progressBar_;
    GtkWidget* btnOK_;
    GtkWidget* btnCancel_;
};

#pragma once

#include <string>

#include "shelf/dialogs/DialogFrame.h"
#include "shelf/dialogs/SettingFormController.h"

// The dialog "设置": the page "常规" (autostart, boss key, cache limit,
// update pop-up) and the page "缓存" (where the data folder lives).
class TSettingForm {
  public:
    explicit TSettingForm(TDiskInfo disks = TDiskInfo());
    ~TSettingForm();
    TSettingForm(const TSettingForm&) = delete;
    TSettingForm& operator=(const TSettingForm&) = delete;

    int ShowModal(GtkWindow* owner);
    // The controls' values into the controller, then SaveSettings.
    bool SaveSettings();
    GtkWindow* Window() const { return frame_.Window(); }
    TSettingFormController& Controller() { return controller_; }

  private:
    void ReadControls();
    void CacheListViewSelectItem();
    static int Edit1KeyDown(GtkWidget* edit, void* event, TSettingForm* self);
    // OK: closes the dialog unless the boss key names no key.
    void BtnOKClick();

    TDialogFrame frame_;
    TSettingFormController controller_;
    GtkWidget* autoRunCB_;
    GtkWidget* edit1_;
    GtkWidget* cbCache_;
    GtkWidget* edit2_;
    GtkWidget* cbStoryUpdate_;
    GtkWidget* cacheListView_;
    GtkWidget* label4_;
    unsigned long keyHandler_ = 0;
};

// What the main window applies after the settings closed with OK.
struct TSettingResult {
    AnsiString HotKey;       // register the boss key again from this
    std::string DataFolder;  // the data folder now (UTF-8, with "/")
    bool DataFolderChanged = false;
};

// The settings modally over owner. On OK the settings are saved and the
// chosen data folder becomes the program's once its folders could be made
// and written to (otherwise the user is told and the old one stays); the
// main window then registers the boss key and tells the reader. Cancel
// writes nothing. Returns the dialog's result.
int ShowSettingForm(GtkWindow* owner, TSettingResult& result);

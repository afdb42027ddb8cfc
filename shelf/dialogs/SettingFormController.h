#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/DiskInfo.h"
#include "shelf/dialogs/DialogCommon.h"

// The user's settings: autostart, the boss key, the cache limit and scan,
// the update pop-up (set.ini and the autostart entry), and the place of the
// data folder, chosen among the local volumes.
class TSettingFormController {
  public:
    struct Settings {
        bool AutoRun = false;
        AnsiString HotKey = "ALT+R";
        int MaxCacheSize = 500;  // MB, 1 to 9999
        bool ScanCache = true;
        bool AutoNotify = true;
    };
    // One row of the location list.
    struct Location {
        std::string Drive;   // the mount point
        AnsiString Caption;  // "本地磁盘(<mount point>)"
        std::string Folder;  // the data folder it offers (UTF-8, with "/")
        AnsiString TotalText, FreeText;
    };

    // Loads the settings and fills the location list from the volumes.
    explicit TSettingFormController(TDiskInfo disks = TDiskInfo());

    // What the controls show; the view writes the user's changes back.
    Settings Values;
    const std::vector<Location>& Locations() const { return locations_; }
    // The row of the current data folder's volume; -1 when none is listed.
    int SelectedRow() const { return selectedRow_; }
    const std::string& SelectedFolder() const { return selectedFolder_; }
    void SelectRow(int row);
    AnsiString LocationText() const;  // "位置: " + the selected folder

    // The boss-key edit on a key press (GDK key value, kMod* bits): the new
    // text, or nothing when the key leaves the text as it is.
    static std::optional<AnsiString> HotKeyText(unsigned keyval, unsigned modifiers);
    // What a key press does to the boss-key edit, which takes no typing: a
    // shortcut's text replaces the text; Backspace or Delete alone empties
    // it (no boss key); every other key leaves it as it is. Keys that move
    // the focus or close the dialog are not the edit's (Handled false).
    struct HotKeyPress {
        bool Handled = true;
        std::optional<AnsiString> Text;
    };
    static HotKeyPress HotKeyEditKey(unsigned keyval, unsigned modifiers);
    // Whether a text may be saved as the boss key: empty (no key) or a
    // shortcut the hot key reads. Anything else keeps the stored key.
    static bool HotKeyUsable(const AnsiString& text);

    // After OK: the autostart entry and the set.ini keys, the boss key only
    // when it is usable. False when a part could not be written (the rest is
    // written still).
    bool SaveSettings() const;
    // After OK: makes the chosen data folder the program's, with its BooK,
    // Image and Cache folders, once a test file could be written there;
    // otherwise nothing changes and the result is false. Existing story
    // folders stay where they are.
    bool ApplyDataFolder() const;

    // A size as the location list shows it: "1024MB", "   1GB", "  0.50KB".
    static AnsiString FormatDiskSize(uint64_t bytes);

  private:
    void Load();
    void FillLocations();

    TDiskInfo disks_;
    std::vector<Location> locations_;
    int selectedRow_ = -1;
    std::string selectedFolder_;
};

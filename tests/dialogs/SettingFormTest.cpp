// The settings: sizes as the location list shows them, the boss-key texts,
// the volumes offered for the data folder, saving and applying.

#include <gdk/gdk.h>

#include <filesystem>

#include "DialogFixture.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/ui/HotKey.h"
#include "shelf/dialogs/SettingFormController.h"

namespace {

using namespace dialogtest;
using platform::ui::kModAlt;
using platform::ui::kModControl;
using platform::ui::kModShift;
namespace fs = std::filesystem;

class SettingFormTest : public DialogTest {
  protected:
    // A mount table with the root, a volume holding the data folder and one
    // holding the application folder (real folders, so that their sizes can
    // be read).
    TDiskInfo Disks() {
        volume_ = tree_.Make("vol");
        const std::string table =
            "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
            "26 1 8:2 / / rw,relatime shared:1 - ext4 /dev/sda2 rw\n"
            "27 26 8:3 / " +
            volume_ +
            " rw - ext4 /dev/sdb1 rw\n"
            "28 26 8:4 / " +
            tree_.Path("app") + " rw - xfs /dev/sdc1 rw\n";
        return TDiskInfo(tree_.Write("mountinfo", table), tree_.Make("sys"));
    }
    std::string Ini(const char* key) {
        return platform::IniFile(SettingsFile()).ReadString("General", key, "<none>");
    }
    std::string volume_;
};

TEST_F(SettingFormTest, SizesReadAsTheListShowsThem) {
    const std::pair<uint64_t, const char*> cases[] = {
        {1073741824ull, "1024MB"},
        {1073741825ull, "   1GB"},
        {1048576ull, "1024.00KB"},
        {1048577ull, "   1MB"},
        {512ull, "0.50KB"},
        {0, "0.00KB"},
        {5ull * 1073741824ull, "   5GB"},
        {1500ull * 1073741824ull, "1500GB"},
        {10485760ull, "  10MB"},
    };
    for (const auto& [bytes, text] : cases)
        EXPECT_EQ(TSettingFormController::FormatDiskSize(bytes), text) << bytes;
}

TEST_F(SettingFormTest, KeysPressedInTheBossKeyEditBecomeTextsTheHotKeyReads) {
    struct Case {
        unsigned keyval, modifiers;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {GDK_KEY_k, kModControl | kModShift, std::nullopt},  // Shift with a letter
        {GDK_KEY_F2, 0, "F2"},
        {GDK_KEY_F2, kModShift, "Shift+F2"},
        {GDK_KEY_r, kModAlt, "Alt+R"},
        {GDK_KEY_q, kModControl | kModAlt, "Ctrl+Alt+Q"},
        {GDK_KEY_5, kModControl, "Ctrl+5"},
        {GDK_KEY_Home, kModAlt, "Alt+Home"},
        {GDK_KEY_a, 0, std::nullopt},            // plain typing
        {GDK_KEY_F13, 0, std::nullopt},          // past F12
        {GDK_KEY_Alt_L, kModAlt, std::nullopt},  // the modifier alone
        {GDK_KEY_Control_L, kModControl, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.value_or("(none)"));
        const auto text = TSettingFormController::HotKeyText(c.keyval, c.modifiers);
        EXPECT_EQ(text, c.text);
        if (!text) continue;
        const auto read = platform::ui::ParseShortCutText(*text);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->keyval, gdk_keyval_to_lower(c.keyval));
        EXPECT_EQ(read->modifiers, c.modifiers);
    }
    // The stored default reads as the same key as the typed one.
    EXPECT_EQ(
        platform::ui::ParseShortCutText("ALT+R"),
        platform::ui::ParseShortCutText(*TSettingFormController::HotKeyText(GDK_KEY_r, kModAlt)));
}

// The edit takes no typing: a key that makes no shortcut leaves the text,
// Backspace or Delete alone empties it, and the keys of the dialog pass on.
TEST_F(SettingFormTest, TheBossKeyEditTypesNothing) {
    struct Case {
        unsigned keyval, modifiers;
        bool handled;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {GDK_KEY_a, 0, true, std::nullopt},
        {GDK_KEY_A, kModShift, true, std::nullopt},
        {GDK_KEY_space, 0, true, std::nullopt},
        {GDK_KEY_plus, 0, true, std::nullopt},
        {GDK_KEY_r, kModAlt, true, "Alt+R"},
        {GDK_KEY_F5, 0, true, "F5"},
        {GDK_KEY_BackSpace, 0, true, ""},
        {GDK_KEY_Delete, 0, true, ""},
        {GDK_KEY_BackSpace, kModControl, true, "Ctrl+BkSp"},
        {GDK_KEY_Tab, 0, false, std::nullopt},
        {GDK_KEY_ISO_Left_Tab, kModShift, false, std::nullopt},
        {GDK_KEY_Escape, 0, false, std::nullopt},
        {GDK_KEY_Return, 0, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.keyval) + "/" + std::to_string(c.modifiers));
        const auto press = TSettingFormController::HotKeyEditKey(c.keyval, c.modifiers);
        EXPECT_EQ(press.Handled, c.handled);
        EXPECT_EQ(press.Text, c.text);
    }
}

// A text that is no shortcut (an old setting "ALT+Ra") is never saved over
// the stored key; an empty one is: no boss key.
TEST_F(SettingFormTest, ABossKeyThatNamesNoKeyIsNotSaved) {
    for (const auto& [text, usable] :
         std::vector<std::pair<std::string, bool>>{{"ALT+R", true},
                                                   {" Ctrl+Alt+Q ", true},
                                                   {"", true},
                                                   {"  ", true},
                                                   {"ALT+Ra", false},
                                                   {"Alt+", false},
                                                   {"Ctrl+Foo", false},
                                                   {"R+Alt", false}})
        EXPECT_EQ(TSettingFormController::HotKeyUsable(text), usable) << "\"" << text << "\"";
    TSettingFormController dialog(Disks());
    dialog.Values.HotKey = "Shift+F11";
    ASSERT_TRUE(dialog.SaveSettings());
    dialog.Values.HotKey = "ALT+Ra";
    dialog.Values.MaxCacheSize = 77;
    EXPECT_TRUE(dialog.SaveSettings());
    EXPECT_EQ(Ini("CustomHotKey"), "Shift+F11");
    EXPECT_EQ(Ini("MaxCacheSize"), "77") << "the rest is saved";
    dialog.Values.HotKey = "";
    ASSERT_TRUE(dialog.SaveSettings());
    EXPECT_EQ(Ini("CustomHotKey"), "");
}

TEST_F(SettingFormTest, TheVolumesAreListedWithTheDataFolderSelected) {
    SetDataFolder(tree_.Make("vol/where/data") + "/");
    TSettingFormController dialog(Disks());
    const auto& rows = dialog.Locations();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(U(rows[0].Caption), "本地磁盘(/)");
    EXPECT_EQ(rows[0].Folder, "/VelqoData/");
    EXPECT_EQ(U(rows[1].Caption), "本地磁盘(" + volume_ + ")");
    EXPECT_EQ(rows[1].Folder, volume_ + "/VelqoData/");
    EXPECT_EQ(rows[2].Folder, AppFolder());
    uint64_t free = 0, total = 0;
    ASSERT_TRUE(TDiskInfo().GetDiskSpace(volume_, free, total));
    EXPECT_EQ(rows[1].TotalText, TSettingFormController::FormatDiskSize(total));
    // The deepest volume holding the data folder; the folder itself stays
    // chosen until a row is picked.
    EXPECT_EQ(dialog.SelectedRow(), 1);
    EXPECT_EQ(dialog.SelectedFolder(), DataFolder());
    dialog.SelectRow(2);
    EXPECT_EQ(dialog.SelectedFolder(), AppFolder());
    EXPECT_EQ(U(dialog.LocationText()), "位置: " + AppFolder());

    // Mount points are compared exactly: a folder that differs in letter
    // case lies on the root.
    std::string upper = volume_;
    upper[upper.size() - 3] = 'V';
    SetDataFolder(upper + "/data/");
    EXPECT_EQ(TSettingFormController(Disks()).SelectedRow(), 0);
}

TEST_F(SettingFormTest, SavingWritesTheKeysAndTheAutostartEntry) {
    TSettingFormController dialog(Disks());
    // Defaults when nothing is stored.
    EXPECT_FALSE(dialog.Values.AutoRun);
    EXPECT_EQ(dialog.Values.HotKey, "ALT+R");
    EXPECT_EQ(dialog.Values.MaxCacheSize, 500);
    EXPECT_TRUE(dialog.Values.ScanCache);
    EXPECT_TRUE(dialog.Values.AutoNotify);
    // Autostart off with no entry present saves without a fault.
    EXPECT_TRUE(dialog.SaveSettings());
    EXPECT_FALSE(fs::exists(platform::AutostartFile("Velqo")));

    dialog.Values = {true, "  Ctrl+Alt+Q ", 1200, false, false};
    ASSERT_TRUE(dialog.SaveSettings());
    EXPECT_EQ(Ini("CustomHotKey"), "Ctrl+Alt+Q");
    EXPECT_EQ(Ini("MaxCacheSize"), "1200");
    EXPECT_EQ(platform::IniFile(SettingsFile()).ReadBool("General", "ScanCache", true), false);
    EXPECT_EQ(platform::IniFile(SettingsFile()).ReadBool("General", "AutoNotify", true), false);
    ASSERT_TRUE(fs::exists(platform::AutostartFile("Velqo")));
    const TSettingFormController loaded(Disks());
    EXPECT_TRUE(loaded.Values.AutoRun);
    EXPECT_EQ(loaded.Values.HotKey, "Ctrl+Alt+Q");
    EXPECT_EQ(loaded.Values.MaxCacheSize, 1200);

    dialog.Values.AutoRun = false;
    ASSERT_TRUE(dialog.SaveSettings());
    EXPECT_FALSE(fs::exists(platform::AutostartFile("Velqo")));
    EXPECT_FALSE(TSettingFormController(Disks()).Values.AutoRun);
}

TEST_F(SettingFormTest, ANewDataFolderIsTakenOnlyWhenItsFoldersTakeFiles) {
    const std::string before = DataFolder();
    {
        // A file where the data folder would have to be.
        TSettingFormController dialog(Disks());
        dialog.SelectRow(1);
        ASSERT_EQ(dialog.SelectedFolder(), volume_ + "/VelqoData/");
        fs::remove_all(volume_ + "/VelqoData");
        tree_.Write("vol/VelqoData", "not a folder");
        EXPECT_FALSE(dialog.ApplyDataFolder());
        EXPECT_EQ(DataFolder(), before);
        EXPECT_EQ(Ini("VelqoData"), "<none>");
        fs::remove(volume_ + "/VelqoData");
    }
    TSettingFormController dialog(Disks());
    dialog.SelectRow(1);
    ASSERT_TRUE(dialog.ApplyDataFolder());
    EXPECT_EQ(DataFolder(), volume_ + "/VelqoData/");
    EXPECT_EQ(Ini("VelqoData"), volume_ + "/VelqoData/");
    for (const char* name : {"BooK", "Image", "Cache"})
        EXPECT_TRUE(fs::is_directory(volume_ + "/VelqoData/" + name)) << name;
    // The probe file is gone again.
    EXPECT_TRUE(fs::is_empty(volume_ + "/VelqoData/BooK"));
}

}  // namespace

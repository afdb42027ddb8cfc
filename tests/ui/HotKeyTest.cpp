#include "platform/ui/HotKey.h"

#include "tests/support/window/WindowTest.h"

#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>

// After gtest: Xlib's macros (None, Bool) would break its templates.
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace platform::ui;

namespace {

TEST(HotKeyTest, ShortCutTexts) {
    struct Case {
        const char* text;
        std::optional<ShortCut> expected;
    } cases[] = {
        {"ALT+R", ShortCut{GDK_KEY_r, kModAlt}},
        {"Ctrl+Alt+Q", ShortCut{GDK_KEY_q, kModControl | kModAlt}},
        {"shift+ctrl+F5", ShortCut{GDK_KEY_F5, kModShift | kModControl}},
        {" Alt + Home ", ShortCut{GDK_KEY_Home, kModAlt}},
        {"Ctrl++", ShortCut{GDK_KEY_plus, kModControl}},
        {"F12", ShortCut{GDK_KEY_F12, 0}},
        {"Alt+1", ShortCut{GDK_KEY_1, kModAlt}},
        {"Ctrl+PgDn", ShortCut{GDK_KEY_Page_Down, kModControl}},
        {"", std::nullopt},
        {"ALT+", std::nullopt},
        {"Win+R", std::nullopt},
        {"Alt+F25", std::nullopt},
        {"Alt+RR", std::nullopt},
        {"Alt+\xb0\xa1", std::nullopt},  // a GBK character is no key name
    };
    for (const Case& c : cases) EXPECT_EQ(ParseShortCutText(c.text), c.expected) << c.text;
}

TEST(HotKeyTest, AcceleratorTextsReadBackAsTheirKeys) {
    uitest::RequireUi();
    // GTK names Control "<Control>" or "<Primary>" depending on whether it
    // was set up yet: what counts is that the text reads back as the key.
    const auto readsBack = [](const ShortCut& key, GdkModifierType modifiers) {
        guint keyval = 0;
        GdkModifierType read = static_cast<GdkModifierType>(0);
        gtk_accelerator_parse(AcceleratorText(key).c_str(), &keyval, &read);
        return keyval == key.keyval && read == modifiers;
    };
    EXPECT_TRUE(readsBack({GDK_KEY_r, kModAlt}, GDK_MOD1_MASK));
    EXPECT_TRUE(readsBack({GDK_KEY_q, kModControl | kModAlt},
                          GdkModifierType(GDK_CONTROL_MASK | GDK_MOD1_MASK)));
    EXPECT_TRUE(readsBack({GDK_KEY_F5, kModShift | kModControl},
                          GdkModifierType(GDK_SHIFT_MASK | GDK_CONTROL_MASK)));
}

void Press(unsigned modifier, unsigned key) {
    uitest::Key(modifier, true);
    uitest::Key(key, true);
    uitest::Key(key, false);
    uitest::Key(modifier, false);
    uitest::PumpFor(50);
}

TEST(HotKeyTest, TheBossKeyFiresAnywhereAndMovesWithTheSetting) {
    uitest::RequireUi();
    int pressed = 0;
    GlobalHotKey key([&] { ++pressed; });
    ASSERT_TRUE(key.Register("ALT+R"));
    Press(XK_Alt_L, XK_r);
    EXPECT_EQ(pressed, 1);

    // Empty and unreadable texts keep the key there is.
    EXPECT_FALSE(key.Register(""));
    EXPECT_FALSE(key.Register("Hyper+R"));
    Press(XK_Alt_L, XK_r);
    EXPECT_EQ(pressed, 2);

    ASSERT_TRUE(key.Register("Ctrl+Q"));
    Press(XK_Alt_L, XK_r);
    EXPECT_EQ(pressed, 2);
    Press(XK_Control_L, XK_q);
    EXPECT_EQ(pressed, 3);

    // A key another program holds cannot be taken; the program goes on.
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    XGrabKey(other, XKeysymToKeycode(other, XK_z), Mod1Mask, DefaultRootWindow(other), True,
             GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    EXPECT_FALSE(key.Register("Alt+Z"));
    EXPECT_FALSE(key.Registered());
    XCloseDisplay(other);
    key.Unregister();
}

}  // namespace

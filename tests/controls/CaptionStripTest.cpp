#include <gtest/gtest.h>

#include <filesystem>

#include "FakeForm.h"
#include "ProgramArtwork.h"
#include "controls/HeadlessHost.h"
#include "controls/MinMaxCloseButton.h"
#include "core/Folders.h"
#include "platform/IniFile.h"
#include "reader/MinMaxCloseButton2.h"
#include "tests/support/TempTree.h"

namespace {

using testing_support::TempTree;

TEST(CaptionStrip, ButtonRectanglesFromTheImages) {
    struct Case {
        const char* what;
        std::unique_ptr<TMinMaxCloseButton> strip;
        int width, height, margin;
        TRect close, max, min;
    };
    Case cases[] = {
        // 90, 85 and 84 pixel strips of three frames: 30, 28, 28 wide.
        {"main",
         std::make_unique<TMinMaxCloseButton>(),
         86,
         19,
         0,
         {56, 0, 86, 19},
         {28, 0, 56, 19},
         {0, 0, 28, 19}},
        {"main with margin",
         std::make_unique<TMinMaxCloseButton>(),
         86,
         19,
         6,
         {50, 0, 80, 19},
         {22, 0, 50, 19},
         {-6, 0, 22, 19}},
        // 123 and 75 pixel strips: 41 and 25 wide, 17 high.
        {"reader",
         [] {
             const UseArtworkOf reader(TProgramArtwork::Reader);
             return std::make_unique<TMinMaxCloseButton2>();
         }(),
         91,
         17,
         0,
         {50, 0, 91, 17},
         {25, 0, 50, 17},
         {0, 0, 25, 17}},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.strip->Width(), c.width);
        EXPECT_EQ(c.strip->Height(), 19);
        EXPECT_EQ(c.strip->Left(), 1);
        c.strip->MaginRight = c.margin;
        THeadlessHost host(120, 30);
        host.Add(*c.strip);
        host.Render();
        EXPECT_EQ(c.strip->ButtonRect(TMinMaxCloseButton::CloseButton), c.close);
        EXPECT_EQ(c.strip->ButtonRect(TMinMaxCloseButton::MaxButton), c.max);
        EXPECT_EQ(c.strip->ButtonRect(TMinMaxCloseButton::MinButton), c.min);
    }
}

struct StripFixture : ::testing::Test {
    StripFixture() {
        strip.SetBounds(0, 0, 86, 19);
        host.SetForm(&form);
        host.Add(strip);
        host.Render();
    }
    // Centre of a button in host coordinates.
    TPoint At(TMinMaxCloseButton::Button b) const {
        const TRect r = strip.ButtonRect(b);
        return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    }
    void Click(TMinMaxCloseButton::Button b) {
        const TPoint p = At(b);
        host.ClickAt(p.X, p.Y);
    }

    FakeForm form;
    THeadlessHost host{200, 40};
    TMinMaxCloseButton strip;
};

TEST_F(StripFixture, HoverAndPressFollowThePointer) {
    using B = TMinMaxCloseButton;
    host.MoveTo(At(B::MaxButton).X, 5);
    EXPECT_EQ(strip.ButtonState(B::MaxButton), 1);
    EXPECT_EQ(strip.ButtonState(B::CloseButton), 0);
    host.PointerPress(TMouseButton::Left, At(B::MaxButton).X, 5);
    EXPECT_EQ(strip.ButtonState(B::MaxButton), 1) << "the pressed face shows from the next move";
    host.MoveTo(At(B::MaxButton).X + 1, 5);
    EXPECT_EQ(strip.ButtonState(B::MaxButton), 2);
    host.MoveTo(At(B::CloseButton).X, 5);
    EXPECT_EQ(strip.ButtonState(B::CloseButton), 2);
    EXPECT_EQ(strip.ButtonState(B::MaxButton), 0);
    host.PointerRelease(TMouseButton::Left, 150, 30);
    host.MoveTo(150, 30);
    for (auto b : {B::CloseButton, B::MaxButton, B::MinButton}) EXPECT_EQ(strip.ButtonState(b), 0);
}

TEST_F(StripFixture, ClicksMinimiseMaximiseRestoreAndClose) {
    using B = TMinMaxCloseButton;
    const TRect before = form.normal;
    Click(B::MaxButton);
    EXPECT_TRUE(strip.Maximized());
    EXPECT_EQ(form.normal, (TRect{0, 0, 1600, 860})) << "fills the work area";
    EXPECT_EQ(strip.ButtonState(B::MaxButton), 0) << "hover cleared";
    Click(B::MaxButton);  // now the restore button
    EXPECT_FALSE(strip.Maximized());
    EXPECT_EQ(form.normal, before);

    Click(B::MinButton);
    EXPECT_EQ(form.minimized, 1);
    Click(B::CloseButton);
    EXPECT_EQ(form.closed, 1);
    EXPECT_EQ(form.hidden, 0);

    strip.CloseToHide = true;
    Click(B::CloseButton);
    EXPECT_EQ(form.closed, 1);
    EXPECT_EQ(form.hidden, 1) << "hides to the notification area instead";
    // Without a notification area it could never come back: it closes.
    form.trayShown = false;
    Click(B::CloseButton);
    EXPECT_EQ(form.closed, 2);
    EXPECT_EQ(form.hidden, 1);
}

TEST_F(StripFixture, DragStartsBesideTheButtonsOnly) {
    strip.SetBounds(0, 0, 150, 19);  // free area left of the buttons
    host.Render();
    host.Press(At(TMinMaxCloseButton::CloseButton).X, 5);
    host.Release(At(TMinMaxCloseButton::CloseButton).X, 5);
    EXPECT_EQ(form.drags, 0);
    host.Press(10, 5);
    EXPECT_EQ(form.drags, 1);
    EXPECT_EQ(host.Captured(), nullptr) << "the window drag takes the pointer over";
    // The drag swallows the release: the press ends with it, so the next
    // hover shows no pressed face.
    host.MoveTo(At(TMinMaxCloseButton::CloseButton).X, 5);
    EXPECT_EQ(strip.ButtonState(TMinMaxCloseButton::CloseButton), 1);
    host.PointerPress(TMouseButton::Right, 12, 5);
    EXPECT_EQ(form.drags, 1) << "only the left button drags";
}

class PlacementTest : public ::testing::Test {
  protected:
    PlacementTest() : tree_(TempTree::Profile::kXdg) {
        tree_.Make("home/.local/share/Velqo");
        SetAppFolder(tree_.Path("home/.local/share/Velqo", true));
        strip.SetForm(&form);
    }
    platform::IniFile Ini() const { return platform::IniFile(SettingsFile()); }
    void Store(const std::string& section, TRect r, bool full) {
        const auto ini = Ini();
        ini.WriteInteger(section, "Left", r.Left);
        ini.WriteInteger(section, "Top", r.Top);
        ini.WriteInteger(section, "Right", r.Right);
        ini.WriteInteger(section, "Bottom", r.Bottom);
        ini.WriteBool(section, "FullScrren", full);
    }

    TempTree tree_;
    FakeForm form;
    TMinMaxCloseButton strip;
};

TEST_F(PlacementTest, FirstStartCentresOnTheDesktop) {
    form.normal = TRect::FromSize(0, 0, 900, 566);
    strip.LoadWindowPos("quira");
    EXPECT_EQ(form.normal, TRect::FromSize(510, 257, 900, 566));
    EXPECT_FALSE(strip.Maximized());

    // A window larger than the desktop starts at 0, 0 and keeps its far edges.
    form.desktop = {800, 500};
    strip.LoadWindowPos("quira");
    EXPECT_EQ(form.normal, (TRect{0, 0, -50 + 900, -33 + 566}));
}

TEST_F(PlacementTest, SavesAndLoadsTheRectangle) {
    form.normal = TRect::FromSize(40, 30, 1000, 600);
    strip.SaveWindowPos("quira");
    const auto ini = Ini();
    EXPECT_EQ(ini.ReadInteger("WindowExquira", "Left", -1), 40);
    EXPECT_EQ(ini.ReadInteger("WindowExquira", "Right", -1), 1040);
    EXPECT_EQ(ini.ReadString("WindowExquira", "FullScrren", "?"), "0");

    form.normal = {};
    strip.LoadWindowPos("quira");
    EXPECT_EQ(form.normal, TRect::FromSize(40, 30, 1000, 600));
    // Sections are per suffix.
    EXPECT_FALSE(ini.SectionExists("WindowExReader"));
}

TEST_F(PlacementTest, NarrowRectanglesAreWidened) {
    struct Case {
        bool reader;
        int stored, loaded;
    } cases[] = {{false, 600, 799}, {false, 798, 799}, {false, 799, 799}, {false, 1200, 1200},
                 {true, 700, 771},  {true, 771, 771},  {true, 770, 771}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        TMinMaxCloseButton2 reader;
        reader.SetForm(&form);
        TMinMaxCloseButton& s = c.reader ? reader : strip;
        const std::string suffix = c.reader ? "Reader" : "quira";
        Store("WindowEx" + suffix, TRect::FromSize(50, 60, c.stored, 500), false);
        s.LoadWindowPos(suffix);
        EXPECT_EQ(form.normal, TRect::FromSize(50, 60, c.loaded, 500));
    }
}

TEST_F(PlacementTest, AWindowSavedFullComesBackFullAndRestores) {
    const TRect stored = TRect::FromSize(100, 100, 900, 600);
    form.normal = stored;

    strip.ToggleMaximize();
    EXPECT_EQ(form.normal, (TRect{0, 0, 1600, 860}));
    strip.SaveWindowPos("quira");
    const auto ini = Ini();
    EXPECT_EQ(ini.ReadInteger("WindowExquira", "Left", -1), 100) << "the normal rectangle is kept";
    EXPECT_TRUE(ini.ReadBool("WindowExquira", "FullScrren", false));

    FakeForm next;
    TMinMaxCloseButton again;
    again.SetForm(&next);
    again.LoadWindowPos("quira");
    EXPECT_TRUE(again.Maximized());
    EXPECT_EQ(next.normal, (TRect{0, 0, 1600, 860}));
    again.ToggleMaximize();
    EXPECT_EQ(next.normal, stored);
}

TEST_F(PlacementTest, AnUnreadableSettingsFileIsIgnored) {
    // A folder where the file should be: it can be neither read nor written,
    // whoever runs the test.
    tree_.Make("home/.local/share/Velqo/set.ini");
    form.normal = TRect::FromSize(40, 30, 900, 566);
    strip.SaveWindowPos("quira");  // nothing written, nothing thrown
    strip.LoadWindowPos("quira");
    EXPECT_EQ(form.normal, TRect::FromSize(510, 257, 900, 566)) << "centred at the design size";
    // Mended: the reader's strip, too, carries on (its reads and writes were
    // left unguarded): it centres its window and keeps the file as it was.
    TMinMaxCloseButton2 reader;
    reader.SetForm(&form);
    form.normal = TRect::FromSize(0, 0, 800, 500);
    EXPECT_NO_THROW(reader.SaveWindowPos("Reader"));
    EXPECT_NO_THROW(reader.LoadWindowPos("Reader"));
    EXPECT_EQ(form.normal, TRect::FromSize(560, 290, 800, 500));
    EXPECT_TRUE(std::filesystem::is_directory(SettingsFile()));
}

// Mended: a placement saved on a monitor that is no longer there (or a damaged
// settings file) put the frameless window wholly off the work area, out of
// reach. Such a rectangle is moved onto the work area; any other stays.
TEST(KeepOnWorkArea, OnlyARectangleWhollyOutsideIsMovedOn) {
    const TRect area{0, 0, 1600, 860};
    struct Case {
        const char* what;
        TRect asked, placed;
    } cases[] = {
        {"inside", TRect::FromSize(40, 30, 900, 566), TRect::FromSize(40, 30, 900, 566)},
        {"partly outside", TRect::FromSize(1500, 800, 900, 566),
         TRect::FromSize(1500, 800, 900, 566)},
        {"right of it", TRect::FromSize(1920, 100, 900, 566), TRect::FromSize(700, 100, 900, 566)},
        {"left of and above it", TRect::FromSize(-2000, -900, 900, 566),
         TRect::FromSize(0, 0, 900, 566)},
        {"below it", TRect::FromSize(100, 900, 900, 566), TRect::FromSize(100, 294, 900, 566)},
        {"larger than the area", TRect::FromSize(5000, 0, 2000, 1000),
         TRect::FromSize(0, 0, 1600, 860)},
        {"at the far ends of the integers", TRect{2147483000, 2147483000, 2147483600, 2147483500},
         TRect::FromSize(1000, 360, 600, 500)},
    };
    for (const Case& c : cases) EXPECT_EQ(KeepOnWorkArea(c.asked, area), c.placed) << c.what;
    EXPECT_EQ(KeepOnWorkArea(TRect::FromSize(5000, 0, 10, 10), {}),
              TRect::FromSize(5000, 0, 10, 10))
        << "no work area known: as asked";
}

}  // namespace

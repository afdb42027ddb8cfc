#include "controls/ComponentGlobal.h"

#include <gtest/gtest.h>

#include <cairo.h>
#include <glib/gstdio.h>

#include <filesystem>
#include <string>

#include "FrameProbe.h"
#include "ProgramArtwork.h"
#include "controls/Canvas.h"
#include "controls/GPImageList.h"
#include "reader/XReaderButton3.h"

namespace {

TEST(ExtractDateText, TakesTheFirstDateLikeRun) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"2012-05-01 10:20:30", "2012-05-01"},
        {"2012/05/01", "2012/05/01"},
        {"updated 2012\\05\\01 late", "2012\\05\\01"},
        {"123", "123"},  // separators are optional: three digits match
        {"v12", ""},     // fewer than three digits
        {"", ""},
        {"10:20:30 2013-1-2", "2013-1-2"},  // colons are no separators
    };
    for (const Case& c : cases) EXPECT_EQ(ExtractDateText(c.text), c.expected) << c.text;
    AnsiString out = "stale";
    ExtractDateText("none here", out);
    EXPECT_EQ(out, "");
}

TEST(LoadResourceImage, LoadsByNameWhateverTheCase) {
    const auto exact = LoadResourceImage("XButton");
    const auto lower = LoadResourceImage("xbutton");
    const auto upper = LoadResourceImage("XBUTTON");
    ASSERT_TRUE(exact && lower && upper);
    EXPECT_EQ(exact->Width(), 80);
    EXPECT_EQ(exact->Height(), 60);
    EXPECT_EQ(upper->Width(), 80);
    EXPECT_EQ(LoadResourceImage("NoSuchImage"), nullptr);
    EXPECT_EQ(LoadResourceImage(""), nullptr);
}

// Every image at the size the layouts are made for.
TEST(LoadResourceImage, EveryImageHasItsSize) {
    struct Case {
        const char* name;
        int width, height;
    } main[] = {
        {"XButton", 80, 60},
        {"ReaderButton2", 82, 84},
        {"BackBtnBG", 60, 96},
        {"SysButtonClose2", 40, 68},
        {"XSearchBtn", 73, 99},
        {"SysButtonClose", 90, 19},
        {"SysButtonMax", 85, 19},
        {"SysButtonRestore", 85, 19},
        {"SysButtonMin", 84, 19},
        {"MINMAXCLOSEBG", 5, 95},
        {"LabelBG", 15, 23},
        {"CheckBox", 13, 104},
        {"CheckBoxBG", 2, 16},
        {"SearchBox2", 340, 33},
        {"SearchBtn2", 20, 80},
        {"StoryPicPanelBG", 233, 47},
        {"SearchResultBG", 21, 35},
        {"CenterPanelBG", 10, 40},
        {"quiraMiniBox", 33, 20},
        {"quiraMiniBox2", 66, 20},
        {"quiraListboxLine", 6, 2},
        {"TodayHot", 32, 32},
        {"QuiraListBoxMinICON", 7, 7},
        {"TodayHotLogo", 57, 19},
        {"QuiraListBoxClose", 11, 33},
        {"ScroolBarBG", 17, 64},
        {"ScroolBarCenterBG", 9, 30},
        {"ScroolBarArrow", 13, 260},
        {"ListBoxStartRead", 72, 80},
        {"ListBoxCloseBook", 13, 52},
        {"ListBoxSearchOtherSource", 84, 72},
        {"ListBoxDelBtn", 54, 84},
        {"ListBoxReadBtn", 73, 100},
        {"DefaultCover", 49, 60},
        {"XBookNotify", 64, 64},
        {"XForm2", 24, 154},
        {"Background", 30, 150},
        {"Background2", 330, 80},
        {"VelqoLog", 160, 60},
    };
    for (const Case& c : main) {
        const auto image = LoadResourceImage(c.name);
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(image->Width(), c.width) << c.name;
        EXPECT_EQ(image->Height(), c.height) << c.name;
    }
    const Case reader[] = {
        {"SysButtonClose_2", 123, 17}, {"SysButtonMax_2", 75, 17},  {"SysButtonRestore_2", 75, 17},
        {"SysButtonMin_2", 75, 17},    {"XReaderButton3", 80, 108}, {"Background", 30, 150},
        {"QuirAReader", 20, 20},       {"ICON_Refresh", 16, 16},    {"ICON_Back", 16, 16},
        {"ICON_Forward", 16, 16},      {"ICON_Home2", 16, 16},      {"LabelBG", 15, 23},
    };
    for (const Case& c : reader) {
        const auto image = LoadProgramImage(TProgramArtwork::Reader, c.name);
        ASSERT_TRUE(image) << c.name;
        EXPECT_EQ(image->Width(), c.width) << c.name;
        EXPECT_EQ(image->Height(), c.height) << c.name;
    }
}

// Each program loads its own artwork through the one loader: the reader its
// variants and the status label it shares, nothing of the main window's.
TEST(LoadResourceImage, ServesTheArtworkOfTheRunningProgram) {
    EXPECT_EQ(ProgramArtwork(), TProgramArtwork::Main);
    EXPECT_TRUE(LoadResourceImage("XButton"));
    EXPECT_EQ(LoadResourceImage("XReaderButton3"), nullptr);
    {
        const UseArtworkOf reader(TProgramArtwork::Reader);
        EXPECT_TRUE(LoadResourceImage("xreaderbutton3"));
        EXPECT_TRUE(LoadResourceImage("LabelBG"));
        EXPECT_EQ(LoadResourceImage("XButton"), nullptr);
        // The reader's caption strip draws no background of the main window's.
        EXPECT_EQ(LoadResourceImage("MINMAXCLOSEBG"), nullptr);
        // The window frame of the same name is the reader's own.
        const auto frame = LoadResourceImage("Background");
        const auto mainFrame = LoadProgramImage(TProgramArtwork::Main, "Background");
        ASSERT_TRUE(frame && mainFrame);
        EXPECT_NE(Pixels(frame->Surface(), {0, 0, 30, 150}),
                  Pixels(mainFrame->Surface(), {0, 0, 30, 150}));
        TXReaderButton3 button;
        EXPECT_EQ(button.Height(), 27) << "sized from its own strip";
    }
    EXPECT_EQ(ProgramArtwork(), TProgramArtwork::Main);
}

TEST(IsWebURL, AcceptsOnlyHttpAndHttpsWithAHost) {
    struct Case {
        const char* url;
        bool web;
    } cases[] = {
        {"http://example.com/", true},
        {"https://example.com/a?b=1#c", true},
        {"HTTPS://Example.com", true},
        {"http://user@host:8080/x", true},
        {"file:///etc/passwd", false},
        {"javascript:alert(1)", false},
        {"/usr/bin/xterm", false},
        {"C:\\Programs\\tool.exe", false},
        {"mailto:a@b.c", false},
        {"http://", false},
        {"http:///path", false},
        {"http://host/a b", false},
        {"http://host/\n--flag", false},
        {"  http://host/", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IsWebURL(c.url), c.web) << c.url;
}

// A 2 x 2 PNG of one colour in a temporary file.
std::string WriteSolidPng(const std::filesystem::path& dir, const char* name, double r, double g,
                          double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 2);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    const std::string path = (dir / name).string();
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return path;
}

class GPImageListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/quira-imagelist-XXXXXX";
        dir_ = g_mkdtemp(tmpl);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    // Draws index into a 20 x 20 white surface at (5, 5) and reports the
    // colour at the centre.
    uint32_t DrawAndSample(const TGPImageList& list, int index) {
        cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 20, 20);
        cairo_t* cr = cairo_create(s);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
        TCanvas canvas(cr);
        list.Draw(canvas, 5, 5, index);
        cairo_destroy(cr);
        cairo_surface_flush(s);
        const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) +
                                                            9 * cairo_image_surface_get_stride(s));
        const uint32_t pixel = row[9] & 0xFFFFFF;
        cairo_surface_destroy(s);
        return pixel;
    }

    std::filesystem::path dir_;
};

TEST_F(GPImageListTest, AddsFilesAndResourcesAndDrawsScaled) {
    TGPImageList list;
    list.Width = 10;
    list.Height = 10;
    EXPECT_EQ(list.AddResource("DefaultCover"), 0);
    EXPECT_EQ(list.AddResource("NoSuchImage"), -1);
    EXPECT_EQ(list.Count(), 1);
    const std::string red = WriteSolidPng(dir_, "red.png", 1, 0, 0);
    EXPECT_EQ(list.AddFile(red), 1);
    EXPECT_EQ(list.AddFile((dir_ / "missing.jpg").string()), -1);
    std::filesystem::create_directory(dir_ / "folder.png");
    EXPECT_EQ(list.AddFile((dir_ / "folder.png").string()), -1);
    EXPECT_EQ(list.Count(), 2);

    // The 2 x 2 red picture is scaled over 10 x 10 at (5, 5).
    EXPECT_EQ(DrawAndSample(list, 1), 0xFF0000u);
    // Outside the list nothing is drawn, and nothing fails.
    EXPECT_EQ(DrawAndSample(list, -1), 0xFFFFFFu);
    EXPECT_EQ(DrawAndSample(list, 2), 0xFFFFFFu);
}

TEST_F(GPImageListTest, AFileThatIsNoPictureAddsNothing) {
    TGPImageList list;
    const auto path = dir_ / "cover.jpg";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fputs("not a picture", f);
    std::fclose(f);
    EXPECT_EQ(list.AddFile(path.string()), -1);
    EXPECT_EQ(list.Count(), 0);
}

}  // namespace

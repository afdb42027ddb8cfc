// The reader window on a real display: chapters from the cache and from the
// fake sites, races between requests, preloading, the reading position,
// display settings, zoom, the page bridge and the toolbar.

#include "ReaderWorld.h"

#include <sstream>

#include "controls/XLabel.h"
#include "core/LoadingPage.h"
#include "exchange/XDataShare.h"
#include "platform/IniFile.h"
#include "platform/ProgramChannel.h"
#include "reader/BookPreLoadReader.h"
#include "reader/MinMaxCloseButton2.h"
#include "reader/NetworkCheker.h"
#include "reader/XColor.h"
#include "reader/XComboBox.h"
#include "reader/XReaderButton3.h"
#include "tests/support/standin/StandIn.h"

namespace readertest {
namespace {

bool IsContentPage(const std::string& page) {
    return std::filesystem::path(page).filename().string().starts_with("Content_");
}

std::string ChapterName(const FakeStory& story, const std::string& id) {
    return story.FindChapter(id)->name;
}

TEST_F(ReaderWindowTest, ACachedChapterOpensWithoutARequestToTheSite) {
    const FakeStory& story = W().gbkStory;
    W().Cache("gbk", story, "2");
    W().server.ClearLog();
    B().BrowseChapter("gbk", story.id, "2");
    ASSERT_TRUE(W().WaitForChapter("2"));
    EXPECT_TRUE(IsContentPage(B().CurrentPage())) << B().CurrentPage();
    EXPECT_EQ(W().server.RequestCount(W().gbk->ChapterPath(story.id, "2")), 0u);
    // The chapter's address is known all the same (error report, SiteURL).
    EXPECT_EQ(B().ChapterURL(), W().gbk->ChapterURL(story.id, "2"));
    const std::string text = W().PageText();
    EXPECT_NE(text.find(ChapterName(story, "2")), std::string::npos) << text.substr(0, 300);
    EXPECT_NE(text.find("第2章第60段"), std::string::npos);
    EXPECT_EQ(U(W().Form().Caption()), "《长风万里》--" + ChapterName(story, "2"));
    EXPECT_FALSE(W().Form().BtnStartRead().Visible());
    EXPECT_TRUE(W().Form().BtnNext().Visible());
    W().Screenshot("chapter.png");

    // The error report leads to the vendor's page with the address encoded.
    W().openedLinks.clear();
    W().Form().StatusBarReportError();
    ASSERT_EQ(W().openedLinks.size(), 1u);
    EXPECT_TRUE(W().openedLinks[0].ends_with("/help/cuowu.php?url=http%3A%2F%2F127.0.0.1%3A" +
                                             std::to_string(W().server.Port()) + "%2Fgbk%2F1%2F" +
                                             story.id + "%2F2.html"))
        << W().openedLinks[0];
}

TEST_F(ReaderWindowTest, AMissingChapterShowsTheLoadingPageThenTheChapter) {
    const FakeStory& story = W().gbkStory;
    W().Uncache("gbk", story, "3");
    // The site answers once the loading page is on screen.
    const std::string path = W().gbk->ChapterPath(story.id, "3");
    testing_support::Fault held;
    held.held = true;
    W().server.SetFault(path, held);
    B().BrowseChapter("gbk", story.id, "3");
    EXPECT_TRUE(W().WaitForPage([](const std::string& page) { return IsLoadingPage(page); }))
        << B().CurrentPage();
    W().server.Release(path);
    ASSERT_TRUE(W().WaitForChapter("3"));
    EXPECT_TRUE(IsContentPage(B().CurrentPage()));
    EXPECT_NE(W().PageText().find(ChapterName(story, "3")), std::string::npos);
    EXPECT_TRUE(IsPublishedPage(W().CacheFile("gbk", story, "3")));
}

TEST_F(ReaderWindowTest, AChapterThatFailsForGoodShowsAnErrorPageAndWritesNoFile) {
    const FakeStory& story = W().utfStory;
    const std::string id = story.Chapters()[4]->id;
    const std::string path = W().utf->ChapterPath(story.id, id);
    W().Uncache("utf", story, id);
    W().server.SetFault(path, Status(500));
    W().server.ClearLog();
    B().BrowseChapter("utf", story.id, id);
    ASSERT_TRUE(W().WaitForPage([](const std::string& p) { return p.starts_with("data:"); }));
    EXPECT_EQ(W().server.RequestCount(path), 4u) << "the first try and three more";
    EXPECT_FALSE(std::filesystem::exists(W().CacheFile("utf", story, id)));
    EXPECT_FALSE(B().PositionReady()) << "an error page has no reading position";
    EXPECT_NE(W().PageText().find("没能下载"), std::string::npos);

    // Its link tries again.
    W().server.ClearFaults();
    W().Eval("document.getElementById('retry').click(); return 1;");
    ASSERT_TRUE(W().WaitForChapter(id));
    EXPECT_TRUE(IsContentPage(B().CurrentPage()));
    EXPECT_TRUE(IsPublishedPage(W().CacheFile("utf", story, id)));
}

// A chapter page that cannot be written shows an error page, never an older
// page file of that name.
TEST_F(ReaderWindowTest, APageThatCannotBeWrittenShowsAnErrorPage) {
    const FakeStory& story = W().gbkStory;
    W().Cache("gbk", story, "7");
    const std::filesystem::path folder =
        std::filesystem::path(W().CacheFile("gbk", story, "7")).parent_path();
    const std::filesystem::path blocked =
        folder / ("Content_" + std::to_string(B().PageCounter()) + ".html");
    std::filesystem::remove_all(blocked);
    std::filesystem::create_directories(blocked);  // no file can take its name
    B().BrowseChapter("gbk", story.id, "7");
    ASSERT_TRUE(W().WaitForPage([](const std::string& p) { return p.starts_with("data:"); }))
        << B().CurrentPage();
    EXPECT_NE(W().PageText().find("没能写入"), std::string::npos);
    EXPECT_FALSE(B().PositionReady());
    std::filesystem::remove_all(blocked);
    // The next page file takes the next name.
    B().BrowseChapter("gbk", story.id, "7");
    ASSERT_TRUE(W().WaitForChapter("7"));
    EXPECT_TRUE(IsContentPage(B().CurrentPage()));
}

// A slow chapter A, then a cached chapter B: B stays, whenever A arrives.
TEST_F(ReaderWindowTest, AnOlderRequestNeverReplacesANewerPage) {
    const FakeStory& story = W().gbkStory;
    W().Cache("gbk", story, "2");
    W().Uncache("gbk", story, "4");
    const std::string slow = W().gbk->ChapterPath(story.id, "4");
    W().server.SetFault(slow, Delay(800ms));
    W().server.ClearLog();
    B().BrowseChapter("gbk", story.id, "4");
    ASSERT_TRUE(W().server.WaitForRequests(1, 10s));
    B().BrowseChapter("gbk", story.id, "2");
    ASSERT_TRUE(W().WaitForChapter("2"));
    // A's answer comes and goes; B is still on screen.
    uitest::PumpUntil([&] { return W().server.InFlight() == 0; }, 5000);
    uitest::PumpFor(1200);
    EXPECT_EQ(B().ChapterID(), "2");
    EXPECT_TRUE(IsContentPage(B().CurrentPage()));
    EXPECT_NE(W().PageText().find(ChapterName(story, "2")), std::string::npos);
}

TEST_F(ReaderWindowTest, TheContentsStayWhenAChapterArrivesAfterThem) {
    const FakeStory& story = W().gbkStory;
    W().Uncache("gbk", story, "5");
    W().server.SetFault(W().gbk->ChapterPath(story.id, "5"), Delay(800ms));
    W().server.ClearLog();
    B().BrowseChapter("gbk", story.id, "5");
    ASSERT_TRUE(W().server.WaitForRequests(1, 10s));
    B().HomePage();
    ASSERT_TRUE(W().WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
    uitest::PumpUntil([&] { return W().server.InFlight() == 0; }, 5000);
    uitest::PumpFor(1200);
    EXPECT_TRUE(B().CurrentPage().ends_with("/List2.HTML")) << B().CurrentPage();
    EXPECT_EQ(B().ChapterID(), "");
    EXPECT_TRUE(W().Form().BtnStartRead().Visible());
    EXPECT_FALSE(W().Form().BtnNext().Visible());
    EXPECT_EQ(U(W().Form().Caption()), "《长风万里》");
    EXPECT_NE(W().PageText().find(ChapterName(story, "15")), std::string::npos);
    W().Screenshot("contents.png");

    // A chapter link of the contents opens it through the page bridge.
    W().Cache("gbk", story, "7");
    W().Eval("Browser('7'); return 1;");
    ASSERT_TRUE(W().WaitForChapter("7"));
}

TEST_F(ReaderWindowTest, TheTenChaptersAfterTheOneShownArePreloadedOneAtATime) {
    const FakeStory& story = W().utfStory;
    const auto chapters = story.Chapters();
    for (const auto* c : chapters) W().Uncache("utf", story, c->id);
    W().Cache("utf", story, chapters[2]->id);
    for (const auto* c : chapters)
        W().server.SetFault(W().utf->ChapterPath(story.id, c->id), Delay(30ms));
    W().server.ClearLog();
    W().server.ResetPeak();
    B().BrowseChapter("utf", story.id, chapters[2]->id);
    ASSERT_TRUE(W().WaitForChapter(chapters[2]->id));
    ASSERT_TRUE(uitest::PumpUntil(
        [&] {
            for (size_t i = 3; i <= 12; ++i)
                if (!IsPublishedPage(W().CacheFile("utf", story, chapters[i]->id))) return false;
            return B().PreLoader().Idle();
        },
        30000));
    EXPECT_EQ(W().server.PeakInFlight(), 1);
    EXPECT_EQ(W().server.Requests().size(), 10u);
    for (size_t i : {0u, 1u, 13u, 14u})
        EXPECT_FALSE(std::filesystem::exists(W().CacheFile("utf", story, chapters[i]->id))) << i;
}

// The position goes into LastReadHistory byte for byte: a chapter id with a
// leading zero and one in GBK.
TEST_F(ReaderWindowTest, TheReadingPositionIsSavedAndRestored) {
    ReaderWorld& w = W();
    const FakeStory& story = w.utfStory;
    w.Cache("utf", story, "0123");
    B().BrowseChapter("utf", story.id, "0123");
    ASSERT_TRUE(w.WaitForChapter("0123"));
    w.Eval("window.scrollTo(0, 1234); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().WebBrowser().ScrollY() == 1234; }));
    w.ClickInPage();
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.Position("utf", story).VScrollBarPos == 1234; }));
    EXPECT_EQ(w.Position("utf", story).ReadChapter, "0123");

    // A GBK chapter id, its page written as a download writes it.
    const FakeStory& gstory = w.gbkStory;
    const AnsiString gbkID = A("第十六章");
    {
        TStoryDB& db = w.DB();
        db.AddChapter("gbk", gstory.id, gbkID, "", A("第十六章 归途"), "", 99);
        TStoryExportHTML writer;
        AnsiString folder;
        db.GetFolderName("gbk", gstory.id, folder);
        writer.FolderName = folder;
        writer.WriteChapterPage(gbkID, A("云游子"), A("第十六章 归途"), A(LongText(16)));
    }
    B().HomePage();  // the chapter list is read again with the new chapter
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
    B().BrowseChapter("utf", story.id, "0123");  // another story first
    ASSERT_TRUE(w.WaitForChapter("0123"));
    B().BrowseChapter("gbk", gstory.id, gbkID);
    ASSERT_TRUE(w.WaitForChapter(gbkID));
    w.Eval("window.scrollTo(0, 1234); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().WebBrowser().ScrollY() == 1234; }));
    w.ClickInPage();
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.Position("gbk", gstory).VScrollBarPos == 1234; }));
    EXPECT_EQ(w.Position("gbk", gstory).ReadChapter, gbkID);

    // The main program's recent reads show where the story was left.
    std::vector<TReadHistoryListData> history;
    w.DB().GetReadHistory(history);
    const auto entry = std::find_if(history.begin(), history.end(),
                                    [&](const auto& h) { return h.StoryID == gstory.id; });
    ASSERT_NE(entry, history.end());
    EXPECT_EQ(entry->ReadChapter, gbkID);
    EXPECT_EQ(history.front().StoryID, gstory.id) << "newest first";

    // A click on the loading page saves nothing, and neither does closing
    // the reader there: the position stays.
    w.Uncache("gbk", gstory, "6");
    const std::string six = w.gbk->ChapterPath(gstory.id, "6");
    testing_support::Fault held;
    held.held = true;
    w.server.SetFault(six, held);
    B().BrowseChapter("gbk", gstory.id, "6");
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return IsLoadingPage(p); }, 5000));
    w.ClickInPage();
    uitest::PumpFor(1500);
    EXPECT_TRUE(IsLoadingPage(B().CurrentPage()));
    EXPECT_EQ(w.Position("gbk", gstory).VScrollBarPos, 1234);
    EXPECT_EQ(w.Position("gbk", gstory).ReadChapter, gbkID);
    w.CloseForm();
    w.server.Release(six);
    EXPECT_EQ(w.Position("gbk", gstory).VScrollBarPos, 1234);
    EXPECT_EQ(w.Position("gbk", gstory).ReadChapter, gbkID);

    // A new reader continues the story where it was left.
    TXDataShare().WriteRequest("gbk", gstory.id, "", 1);
    w.OpenForm();
    ASSERT_TRUE(w.WaitForChapter(gbkID));
    EXPECT_EQ(B().WebBrowser().ScrollY(), 1234);
    EXPECT_EQ(w.EvalText("window.scrollY"), "1234");

    // Closing saves a position whose save was still waiting.
    w.Eval("window.scrollTo(0, 777); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().WebBrowser().ScrollY() == 777; }));
    w.ClickInPage();
    ASSERT_TRUE(B().SaveTimerRunning());
    w.Form().Close();
    w.CloseForm();
    EXPECT_EQ(w.Position("gbk", gstory).VScrollBarPos, 777);
    TXDataShare().Clear();
}

// The chapter on screen is the reading position once it is shown, without
// a touch; the contents never are; closing keeps a position that moved with
// nobody touching the page (its own scrolling).
TEST_F(ReaderWindowTest, TheChapterOnScreenIsKeptWithoutATouchAndOnClose) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    w.Cache("gbk", story, "3");
    B().BrowseChapter("gbk", story.id, "3");
    ASSERT_TRUE(w.WaitForChapter("3"));
    ASSERT_TRUE(uitest::PumpUntil(
        [&] { return w.Position("gbk", story).ReadChapter == "3" && !B().SaveTimerRunning(); }));

    B().HomePage();
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
    w.ClickInPage(60, 60);
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().SaveTimerRunning(); }));
    ASSERT_TRUE(uitest::PumpUntil([&] { return !B().SaveTimerRunning(); }));
    EXPECT_EQ(w.Position("gbk", story).ReadChapter, "3");

    B().BrowseChapter("gbk", story.id, "3");
    ASSERT_TRUE(w.WaitForChapter("3"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return !B().SaveTimerRunning(); }));
    w.Eval("window.scrollTo(0, 900); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().WebBrowser().ScrollY() == 900; }));
    EXPECT_FALSE(B().SaveTimerRunning());
    w.Form().Close();
    w.CloseForm();
    EXPECT_EQ(w.Position("gbk", story).ReadChapter, "3");
    EXPECT_EQ(w.Position("gbk", story).VScrollBarPos, 900);
}

// Continuing a story whose chapter fails to arrive: once the retry brings
// it, the saved position is restored, not overwritten with the top.
TEST_F(ReaderWindowTest, RetryingAFailedChapterStillRestoresTheSavedPosition) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    w.Uncache("gbk", story, "9");
    w.server.SetFault(w.gbk->ChapterPath(story.id, "9"), Status(500));
    ASSERT_TRUE(w.DB().SaveReadPosition("gbk", story.id, "2024-01-02 03:04:05", "9", 0, 1234));
    B().StartRead("gbk", story.id);
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.starts_with("data:"); }));
    w.server.ClearFaults();
    w.Eval("document.getElementById('retry').click(); return 1;");
    ASSERT_TRUE(w.WaitForChapter("9"));
    EXPECT_EQ(B().WebBrowser().ScrollY(), 1234);
    EXPECT_EQ(w.EvalText("window.scrollY"), "1234");
    ASSERT_TRUE(uitest::PumpUntil([&] { return !B().SaveTimerRunning(); }));
    EXPECT_EQ(w.Position("gbk", story).VScrollBarPos, 1234);
}

// A request in the shared block opens only when it is whole: otherwise the
// loading page shows, the toolbar is in chapter mode, and nothing else.
TEST_F(ReaderWindowTest, AnIncompleteRequestInTheSharedBlockOpensNothing) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    B().BrowseChapter("gbk", story.id, "");
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
    w.Form().ShowToolbarMode(true);
    w.server.ClearLog();
    struct Case {
        const char* name;
        const char *site, *storyID, *chapter;
        unsigned char continueRead;
        bool valid;
    } const cases[] = {
        {"not valid", "gbk", "", "2", 0, false},
        {"continue without a story", "gbk", "", "", 1, true},
        {"continue without a site", "", "s", "", 1, true},
        {"chapter without its id", "gbk", "s", "", 0, true},
        {"chapter without a site", "", "s", "2", 0, true},
    };
    for (const Case& c : cases) {
        const std::string id = *c.storyID ? story.id : "";
        if (c.valid)
            TXDataShare().WriteRequest(c.site, id, c.chapter, c.continueRead);
        else
            TXDataShare().Clear();
        w.Form().HandleMessage({TBookReaderForm::kOpenFromShare, 0, 0});
        EXPECT_TRUE(w.WaitForPage([](const std::string& p) { return IsLoadingPage(p); })) << c.name;
        EXPECT_EQ(B().StoryID(), story.id) << c.name;
        EXPECT_EQ(B().ChapterID(), "") << c.name;
        EXPECT_FALSE(w.Form().BtnStartRead().Visible()) << c.name;
        EXPECT_TRUE(w.Form().BtnNext().Visible()) << c.name;
    }
    uitest::PumpFor(300);
    EXPECT_EQ(w.server.Requests().size(), 0u);
    TXDataShare().Clear();
}

TEST_F(ReaderWindowTest, DisplaySettingsReachTheDatabaseAndThePage) {
    ReaderWorld& w = W();
    TBookReaderForm& f = w.Form();
    w.Cache("gbk", w.gbkStory, "2");
    B().BrowseChapter("gbk", w.gbkStory.id, "2");
    ASSERT_TRUE(w.WaitForChapter("2"));
    const auto stored = [&](TDBRead (TStoryDB::*get)(AnsiString&)) {
        AnsiString value;
        (w.DB().*get)(value);
        return value;
    };
    const auto style = [&](const std::string& property) {
        return w.EvalText("getComputedStyle(document.getElementById('content'))." + property);
    };
    // Picked in the real list: a click opens it, Down and Return take the
    // entry after the caption.
    GtkWidget* sizeList = f.CBFontSize().NativeChildren()[0]->Widget();
    ASSERT_NE(sizeList, nullptr);
    uitest::ClickWidget(sizeList, gtk_widget_get_allocated_width(sizeList) / 2,
                        gtk_widget_get_allocated_height(sizeList) / 2);
    ASSERT_TRUE(uitest::PumpUntil([&] {
        gboolean shown = FALSE;
        g_object_get(sizeList, "popup-shown", &shown, nullptr);
        return shown == TRUE;
    }));
    uitest::TypeKey(GDK_KEY_Down);
    uitest::TypeKey(GDK_KEY_Return);
    EXPECT_TRUE(uitest::PumpUntil([&] { return stored(&TStoryDB::GetFontSize) == "12"; }))
        << stored(&TStoryDB::GetFontSize);
    EXPECT_EQ(f.CBFontSize().ItemIndex(), 1);
    EXPECT_TRUE(uitest::PumpUntil([&] { return style("fontSize") == "12px"; }))
        << style("fontSize");

    f.CBFont().UserSelect(4);  // 楷体
    EXPECT_EQ(stored(&TStoryDB::GetFontName), "KaiTi,KaiTi_GB2312");
    EXPECT_TRUE(uitest::PumpUntil([&] { return style("fontFamily").starts_with("KaiTi"); }))
        << style("fontFamily");
    f.CBFontSize().UserSelect(5);  // 大号
    EXPECT_EQ(stored(&TStoryDB::GetFontSize), "24");
    EXPECT_TRUE(uitest::PumpUntil([&] { return style("fontSize") == "24px"; }))
        << style("fontSize");
    f.CBFontColor().UserSelect(1);  // 蓝字
    EXPECT_EQ(stored(&TStoryDB::GetFontColor), "#00A0E9");
    EXPECT_TRUE(uitest::PumpUntil([&] { return style("color") == "rgb(0, 160, 233)"; }))
        << style("color");
    f.CBBGColor().UserSelect(10);  // $97BDC4
    EXPECT_EQ(stored(&TStoryDB::GetColor), "#C4BD97");
    EXPECT_TRUE(uitest::PumpUntil([&] {
        return w.EvalText("getComputedStyle(document.body).backgroundColor") ==
               "rgb(196, 189, 151)";
    }));
    f.CBSpeed().UserSelect(3);  // 中速
    EXPECT_EQ(stored(&TStoryDB::GetSpeed), "30");
    // The caption entries store nothing.
    f.CBFontSize().UserSelect(0);
    EXPECT_EQ(stored(&TStoryDB::GetFontSize), "24");

    // The page asks the bridge for the font: the stored list and a fallback.
    EXPECT_EQ(w.EvalText("window.external.FontName"), "KaiTi,KaiTi_GB2312,Microsoft Yahei");

    // A new window selects what is stored; a colour not in the list selects
    // the caption.
    w.DB().SetFontColor("#123456");
    f.FillCombos();
    EXPECT_EQ(f.CBFontColor().ItemIndex(), 0);
    EXPECT_EQ(f.CBBGColor().ItemIndex(), 10);
    EXPECT_EQ(f.CBFont().ItemIndex(), 4);
    EXPECT_EQ(f.CBFontSize().ItemIndex(), 5);
    EXPECT_EQ(f.CBSpeed().ItemIndex(), 3);
    w.DB().SetFontColor("#00a0e9");
    f.FillCombos();
    EXPECT_EQ(f.CBFontColor().ItemIndex(), 1);
    w.DB().SetColor("#F2F2F2");
    f.FillCombos();
    EXPECT_EQ(f.CBBGColor().ItemIndex(), 0);

    // A colour a page sets through the bridge is stored as it is; the page
    // keeps its background until a script applies it.
    const std::string background = w.EvalText("getComputedStyle(document.body).backgroundColor");
    w.Eval("window.external.Color = '#000000'; return 1;");
    EXPECT_EQ(stored(&TStoryDB::GetColor), "#000000");
    EXPECT_EQ(w.EvalText("getComputedStyle(document.body).backgroundColor"), background);
    EXPECT_EQ(w.EvalText("window.external.Color"), "#000000");
}

TEST_F(ReaderWindowTest, CtrlAndTheWheelZoomWithinTheirLimits) {
    ReaderWorld& w = W();
    w.Cache("gbk", w.gbkStory, "2");
    B().BrowseChapter("gbk", w.gbkStory.id, "2");
    ASSERT_TRUE(w.WaitForChapter("2"));
    const int before = B().ZoomStep();
    int x = 0, y = 0;
    w.BrowserOrigin(x, y);
    uitest::PointerTo(x + 300, y + 200);
    uitest::Key(GDK_KEY_Control_L, true);
    uitest::Wheel(false);  // away from the user
    uitest::Key(GDK_KEY_Control_L, false);
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().ZoomStep() == before + 10; })) << B().ZoomStep();
    for (int i = 0; i < 120; ++i) B().ZoomByWheel(120, true);
    EXPECT_EQ(B().ZoomStep(), 1000);
    EXPECT_TRUE(uitest::PumpUntil([&] { return w.EvalText("document.body.style.zoom") == "11"; }));
    for (int i = 0; i < 200; ++i) B().ZoomByWheel(-120, true);
    EXPECT_EQ(B().ZoomStep(), -80);
    EXPECT_TRUE(uitest::PumpUntil([&] { return w.EvalText("document.body.style.zoom") == "0.2"; }));
    B().ZoomByWheel(120, false);  // without Ctrl nothing is zoomed
    EXPECT_EQ(B().ZoomStep(), -80);
    while (B().ZoomStep() < 0) B().ZoomByWheel(120, true);
}

TEST_F(ReaderWindowTest, OneArrowPressMovesOneChapter) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    for (const char* id : {"2", "3", "4"}) w.Cache("gbk", story, id);
    B().BrowseChapter("gbk", story.id, "2");
    ASSERT_TRUE(w.WaitForChapter("2"));
    w.ClickInPage();
    uitest::TypeKey(GDK_KEY_Right);
    ASSERT_TRUE(w.WaitForChapter("3"));
    uitest::PumpFor(800);
    EXPECT_EQ(B().ChapterID(), "3");
    uitest::TypeKey(GDK_KEY_Left);
    ASSERT_TRUE(w.WaitForChapter("2"));
    uitest::PumpFor(800);
    EXPECT_EQ(B().ChapterID(), "2");

    // The toolbar's buttons do the same.
    const auto click = [&](TControl& c) {
        int ox = 0, oy = 0;
        uitest::WidgetOrigin(w.Form().Host().DrawingArea(), ox, oy);
        uitest::ClickAt(ox + c.Left() + c.Width() / 2, oy + c.Top() + c.Height() / 2);
    };
    click(w.Form().BtnNext());
    ASSERT_TRUE(w.WaitForChapter("3"));
    click(w.Form().BtnPrevious());
    ASSERT_TRUE(w.WaitForChapter("2"));
    click(w.Form().BtnHome());
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
}

TEST_F(ReaderWindowTest, TheChapterBrowserWalksTheStory) {
    ReaderWorld& w = W();
    const FakeStory& story = w.utfStory;
    const auto chapters = story.Chapters();
    const auto id = [&](size_t i) { return chapters[i]->id; };
    for (const size_t i : {0u, 12u, 13u, 14u}) w.Cache("utf", story, id(i));
    // HaveNextButton: two chapters must follow.
    B().BrowseChapter("utf", story.id, id(12));
    ASSERT_TRUE(w.WaitForChapter(id(12)));
    EXPECT_EQ(w.EvalText("window.external.HaveNextButton()"), "1");
    B().NextChapter();
    ASSERT_TRUE(w.WaitForChapter(id(13)));
    EXPECT_EQ(w.EvalText("window.external.HaveNextButton()"), "0");
    EXPECT_EQ(w.EvalText("window.external.SiteURL()"), w.utf->ChapterURL(story.id, id(13)));
    B().NextChapter();
    ASSERT_TRUE(w.WaitForChapter(id(14)));
    // After the last chapter: the contents.
    w.Eval("NextPage(); return 1;");
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
    EXPECT_TRUE(w.Form().BtnStartRead().Visible());
    EXPECT_EQ(w.EvalText("window.external.HaveNextButton()"), "0");
    // From the contents, the next chapter is the first.
    B().NextChapter();
    ASSERT_TRUE(w.WaitForChapter(id(0)));
    EXPECT_FALSE(w.Form().BtnStartRead().Visible());
    B().PreviousChapter();
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/List2.HTML"); }));
}

TEST_F(ReaderWindowTest, PagesFromTheNetworkGetNoBridge) {
    ReaderWorld& w = W();
    w.server.Serve("/plain.html", testing_support::HttpReply::Page(
                                      "<html><body><p>a page of the network</p></body></html>"));
    B().NavigateNow(w.server.URL("/plain.html"));
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.ends_with("/plain.html"); }));
    const std::string answer = w.EvalText(
        "(function () { try { return 'answered ' + window.external.HaveNextButton(); } "
        "catch (e) { return 'refused'; } })()");
    EXPECT_EQ(answer, "refused");
}

TEST_F(ReaderWindowTest, PageFilesCycleThroughTwentyOneNames) {
    ReaderWorld& w = W();
    w.Cache("gbk", w.gbkStory, "2");
    for (int i = 0; i < 22; ++i) {
        B().BrowseChapter("gbk", w.gbkStory.id, "2");
        ASSERT_TRUE(w.WaitForChapter("2"));
    }
    EXPECT_LT(B().PageCounter(), TXBookBrowser::kPageCount);
    int pages = 0;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(B().CurrentPage()).parent_path()))
        pages += entry.path().filename().string().starts_with("Content_");
    EXPECT_EQ(pages, 21);
}

TEST_F(ReaderWindowTest, SettingsOfTheMainProgramMoveTheBookFolder) {
    ReaderWorld& w = W();
    const std::string before = BookFolder();
    const std::string data = w.tree.Make("elsewhere") + "/";
    platform::IniFile(SettingsFile()).WriteString("General", "VelqoData", data);
    w.Form().HandleMessage({TBookReaderForm::kFoldersChanged, 0, 0});
    EXPECT_EQ(BookFolder(), data + "BooK/");
    EXPECT_TRUE(std::filesystem::is_directory(data + "BooK"));
    platform::IniFile(SettingsFile()).DeleteKey("General", "VelqoData");
    w.Form().HandleMessage({TBookReaderForm::kFoldersChanged, 0, 0});
    EXPECT_EQ(BookFolder(), before);
}

}  // namespace
}  // namespace readertest

namespace readertest {
namespace {

// The frame keeps the window at least 775 x 400, also when asked for less.
TEST_F(ReaderWindowTest, TheWindowKeepsItsMinimumSize) {
    GtkWindow* window = W().Form().Window();
    int w = 0, h = 0;
    gtk_window_get_size(window, &w, &h);
    gtk_window_resize(window, 700, 300);
    uitest::PumpFor(300);
    uitest::Settle();
    int nw = 0, nh = 0;
    gtk_window_get_size(window, &nw, &nh);
    EXPECT_GE(nw, 775);
    EXPECT_GE(nh, 400);
    // The browser and the status bar follow the size.
    EXPECT_EQ(W().Form().BrowserRect().Right, nw - 2);
    EXPECT_EQ(W().Form().StatusBar().Top(), nh - 25);
    gtk_window_resize(window, w, h);
    uitest::PumpUntil([&] {
        int cw = 0, ch = 0;
        gtk_window_get_size(window, &cw, &ch);
        return cw == w && ch == h;
    });
    uitest::Settle();
    // The toolbar: buttons from the right edge, combo boxes from the left,
    // each 4 pixels from the next; the caption strip at the top right.
    TBookReaderForm& f = W().Form();
    struct Place {
        const char* name;
        TControl& control;
        int left, top, width, height;
    } const places[] = {
        {"home", f.BtnHome(), 2 + w - 80 - 8, 25, 80, 27},
        {"continue", f.BtnStartRead(), 2 + w - 80 - 8, 25, 80, 27},
        {"next", f.BtnNext(), 2 + w - 2 * 84 - 4, 25, 80, 27},
        {"previous", f.BtnPrevious(), 2 + w - 3 * 84 - 4, 25, 80, 27},
        {"refresh", f.BtnRefresh(), 2 + w - 4 * 84 - 4, 25, 80, 27},
        {"background", f.CBBGColor(), 10, 28, 80, 25},
        {"font colour", f.CBFontColor(), 10 + 84, 28, 80, 25},
        {"font", f.CBFont(), 10 + 2 * 84, 28, 80, 25},
        {"size", f.CBFontSize(), 10 + 3 * 84, 28, 80, 25},
        {"speed", f.CBSpeed(), 10 + 4 * 84, 28, 80, 25},
        {"caption strip", f.CaptionStrip(), w - 91 - 4, 1, 91, 20},
        {"status bar", f.StatusBar(), 10, h - 23 - 2, w - 20, 23},
    };
    for (const Place& p : places) {
        EXPECT_EQ(p.control.Left(), p.left) << p.name;
        EXPECT_EQ(p.control.Top(), p.top) << p.name;
        EXPECT_EQ(p.control.Width(), p.width) << p.name;
        EXPECT_EQ(p.control.Height(), p.height) << p.name;
    }
    // The browser covers its rectangle and no more: the status bar below it
    // keeps its clicks.
    GtkWidget* view = B().Widget();
    EXPECT_EQ(gtk_widget_get_allocated_height(view), W().Form().BrowserRect().Height());
    EXPECT_EQ(gtk_widget_get_allocated_width(view), W().Form().BrowserRect().Width());
    EXPECT_EQ(gdk_window_get_height(gtk_widget_get_window(view)),
              W().Form().BrowserRect().Height());
}

}  // namespace
}  // namespace readertest

namespace readertest {
namespace {

// "Search again" asks the main program (started here, as it does not run)
// to search the story, and the reader ends.
TEST_F(ReaderWindowTest, SearchAgainAsksTheMainProgramAndEnds) {
    testing_support::StandInProgram quira(W().tree.Path("programs"), "Quira");
    TBookReaderForm& form = W().Form();
    form.MainProgram = quira.Path();
    W().Cache("gbk", W().gbkStory, "2");
    B().BrowseChapter("gbk", W().gbkStory.id, "2");
    ASSERT_TRUE(W().WaitForChapter("2"));
    TXLabel& bar = form.StatusBar();
    // The link's place is known from the bar's last paint.
    bar.Invalidate();
    uitest::Settle();
    ASSERT_FALSE(bar.SearchRect().IsEmpty());
    int x = 0, y = 0;
    uitest::WidgetOrigin(form.Host().DrawingArea(), x, y);
    uitest::ClickAt(x + bar.Left() + bar.SearchRect().Left + bar.SearchRect().Width() / 2,
                    y + bar.Top() + bar.SearchRect().Top + bar.SearchRect().Height() / 2);
    ASSERT_TRUE(uitest::PumpUntil([&] {
        return !gtk_widget_get_visible(GTK_WIDGET(form.Window()));
    })) << "the click missed the link";
    const auto lines = quira.WaitForLines("message ");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(" 1144 209 0\t长风万里\t云游子"), std::string::npos) << lines[0];
    EXPECT_TRUE(uitest::PumpUntil([&] { return W().closed; }));
    platform::ProgramChannel::PostToTitle("VE@LQO", {platform::kWmClose});
    quira.WaitForLines("closed ");
}

// With no main program to be reached, "search again" changes nothing: the
// reader comes back and the link works again.
TEST_F(ReaderWindowTest, SearchAgainWithoutAMainProgramKeepsTheReader) {
    TBookReaderForm& form = W().Form();
    form.MainProgram = W().tree.Path("programs/missing/Quira");
    W().Cache("gbk", W().gbkStory, "2");
    B().BrowseChapter("gbk", W().gbkStory.id, "2");
    ASSERT_TRUE(W().WaitForChapter("2"));
    GtkWidget* window = GTK_WIDGET(form.Window());
    for (int attempt = 0; attempt < 2; ++attempt) {
        form.StatusBarSearchBook();
        ASSERT_TRUE(uitest::PumpUntil([&] { return W().closed || gtk_widget_get_visible(window); }))
            << attempt;
        EXPECT_FALSE(W().closed) << attempt;
    }
    EXPECT_EQ(B().ChapterID(), "2");
}

}  // namespace
}  // namespace readertest

namespace readertest {
namespace {

// F5 (and the refresh button) read the chapter again while online; offline
// the complete cache file is shown.
TEST_F(ReaderWindowTest, RefreshDownloadsAgainOnlyWhileOnline) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    w.Cache("gbk", story, "2");
    B().BrowseChapter("gbk", story.id, "2");
    ASSERT_TRUE(w.WaitForChapter("2"));
    const std::string path = w.gbk->ChapterPath(story.id, "2");
    w.server.ClearLog();
    w.ClickInPage();
    uitest::TypeKey(GDK_KEY_F5);
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.server.RequestCount(path) == 1; }));
    ASSERT_TRUE(w.WaitForChapter("2"));

    SetOnline(false);
    w.server.ClearLog();
    w.Form().BtnRefreshClick();
    ASSERT_TRUE(w.WaitForChapter("2"));
    uitest::PumpFor(300);
    EXPECT_EQ(w.server.RequestCount(path), 0u);
    SetOnline(true);
}

// A page of the browser's own whose picture the site holds: it commits at
// once and then stays loading until the test releases the picture.
std::string ShowPageThatKeepsLoading(ReaderWorld& w, CommitLog& commits,
                                     const std::string& picture) {
    w.server.SetFault(picture, Held());
    const std::string page = w.tree.Write(
        "pages/held.html", "<html><body><img src=\"" + w.server.URL(picture) + "\"></body></html>");
    w.Browser().NavigateNow(page);
    EXPECT_TRUE(uitest::PumpUntil([&] {
        return w.server.RequestCount(picture) > 0 && !commits.Files().empty() &&
               commits.Files().back() == page && w.Browser().WebBrowser().IsLoading();
    })) << "the page never came to wait for its picture";
    return page;
}

// Pages that arrive while a load runs wait for it. A load that never ends
// (its picture held by the site until the test is over) holds them back no
// longer than the browser's wait: it is stopped, and the newest of them is
// shown; none in between ever is.
TEST_F(ReaderWindowTest, PagesArrivingDuringALoadEndWithTheNewest) {
    ReaderWorld& w = W();
    const std::string first = w.tree.Write("pages/first.html", "<html><body>first</body></html>");
    const std::string second =
        w.tree.Write("pages/second.html", "<html><body>second</body></html>");
    CommitLog commits(B().WebBrowser());
    const std::string held = ShowPageThatKeepsLoading(w, commits, "/held/picture.png");
    const unsigned stopped = B().StoppedLoads();
    B().OnPageSaved(&B(), first);
    B().OnPageSaved(&B(), second);
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().Navigating(); }));
    ASSERT_TRUE(w.WaitForPage([&](const std::string& p) { return p == second; }))
        << B().CurrentPage();
    EXPECT_EQ(B().StoppedLoads(), stopped + 1) << "the page that never ended was stopped";
    EXPECT_EQ(commits.Files(), (std::vector<std::string>{held, second}));
    EXPECT_EQ(w.Form().NewestPage(), second);
    w.server.Release("/held/picture.png");
}

// The newest request wins: a chapter page written while a load runs, then a
// loading page (of a chapter asked for after it), and the loading page is
// what shows when the load ends; the chapter never does, neither then nor
// when the timer fires. The site holds the load until the test lets it go,
// and the browser's own wait is longer than the test: only the load's end
// can show the page.
TEST_F(ReaderWindowTest, ThePageOfTheNewestRequestShowsWhenTheLoadEnds) {
    ReaderWorld& w = W();
    const std::string chapter =
        w.tree.Write("pages/chapter.html", "<html><body>chapter</body></html>");
    B().SetLoadWait(600000);
    CommitLog commits(B().WebBrowser());
    const std::string held = ShowPageThatKeepsLoading(w, commits, "/held/picture.png");
    const unsigned stopped = B().StoppedLoads();
    B().OnPageSaved(&B(), LoadingPageFile());
    B().OnPageSaved(&B(), chapter);
    B().OnPageSaved(&B(), LoadingPageFile());
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return B().Navigating() && w.Form().ReadTimer().Enabled(); }));
    // Nothing shows while the load is held, the timer's turn included.
    ASSERT_TRUE(uitest::PumpUntil([&] { return !w.Form().ReadTimer().Enabled(); }, 20000));
    EXPECT_TRUE(B().Navigating());
    EXPECT_EQ(commits.Files(), std::vector<std::string>{held});
    w.server.Release("/held/picture.png");
    ASSERT_TRUE(w.WaitForPage([&](const std::string& p) { return p == LoadingPageFile(); }, 20000))
        << B().CurrentPage();
    EXPECT_EQ(B().StoppedLoads(), stopped) << "the load ended by itself";
    EXPECT_EQ(commits.Files(), (std::vector<std::string>{held, LoadingPageFile()}));
}

// The top band moves the window once the pointer moves with the button held;
// a double click in the caption maximises and restores.
TEST_F(ReaderWindowTest, TheCaptionBandDragsAndADoubleClickMaximisesAndRestores) {
    ReaderWorld& w = W();
    TMinMaxCloseButton2& strip = w.Form().CaptionStrip();
    int x = 0, y = 0;
    uitest::WidgetOrigin(w.Form().Host().DrawingArea(), x, y);
    const int startX = x, startY = y;
    uitest::PointerTo(x + 300, y + 12);
    uitest::Button(1, true);
    for (int step = 1; step <= 4; ++step) uitest::PointerTo(x + 300 + 10 * step, y + 12 + 8 * step);
    uitest::Button(1, false);
    EXPECT_TRUE(uitest::PumpUntil([&] {
        uitest::WidgetOrigin(w.Form().Host().DrawingArea(), x, y);
        return x == startX + 40 && y == startY + 32;
    })) << x - startX
        << "," << y - startY;

    uitest::WidgetOrigin(w.Form().Host().DrawingArea(), x, y);
    uitest::DoubleClickAt(x + 300, y + 10);
    ASSERT_TRUE(uitest::PumpUntil([&] { return strip.Maximized(); }));
    // A third press within twice the double-click time would make a triple
    // click.
    int doubleClickTime = 400;
    g_object_get(gtk_settings_get_default(), "gtk-double-click-time", &doubleClickTime, nullptr);
    uitest::PumpFor(2 * doubleClickTime + 100);
    uitest::WidgetOrigin(w.Form().Host().DrawingArea(), x, y);
    uitest::DoubleClickAt(x + 300, y + 10);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !strip.Maximized(); }));
}

TEST_F(ReaderWindowTest, TheStatusBarCarriesTheStoryListsReaderMessages) {
    ReaderWorld& w = W();
    w.tree.Write(
        "home/.local/share/Velqo/Story.cab",
        A("[windows]\r\nm=<a Title=\"主程序\" URL=\"http://a.test/\">\r\n"
          "[windows2]\r\nr1=<a Title=\"新书上架\" URL=\"http://b.test/1\" Color=\"255\">\r\n"
          "r2=<a Title=\"没有链接\">\r\nr3=<a Title=\"好书推荐\" URL=\"http://b.test/2\">\r\n"));
    w.CloseForm();
    w.OpenForm();
    EXPECT_EQ(w.Form().StatusBar().MessageCount(), 2u);
    std::filesystem::remove(w.tree.Path("home/.local/share/Velqo/Story.cab"));
}

}  // namespace
}  // namespace readertest

namespace readertest {
namespace {

// A chapter read while its picture could not be stored: the cache file keeps
// the picture's remote address, above the text.
void WriteChapterWithPicture(ReaderWorld& w, const FakeStory& story, const std::string& id,
                             const std::string& pictureURL, const std::string& text = {}) {
    AnsiString folder;
    w.DB().GetFolderName("gbk", story.id, folder);
    TStoryExportHTML writer;
    writer.FolderName = folder;
    // Paragraphs as a download leaves them.
    std::string content = "<p><img src=\"" + pictureURL + "\"></p>";
    std::istringstream lines(text.empty() ? LongText(std::stoi(id)) : text);
    for (std::string line; std::getline(lines, line);) content += "<p>" + A(line) + "</p>";
    ASSERT_FALSE(writer.WriteChapterPage(A(id), A(story.author), A(ChapterName(story, id)), content)
                     .empty());
}

void ClickControl(ReaderWorld& w, TControl& c) {
    int x = 0, y = 0;
    uitest::WidgetOrigin(w.Form().Host().DrawingArea(), x, y);
    uitest::ClickAt(x + c.Left() + c.Width() / 2, y + c.Top() + c.Height() / 2);
}

// The chapter on screen with its text there, whatever its pictures do.
bool WaitForChapterText(ReaderWorld& w, const AnsiString& chapterID) {
    return uitest::PumpUntil(
        [&] {
            TXBookBrowser& b = w.Browser();
            return b.ChapterID() == chapterID && b.PositionReady() && !b.Navigating() &&
                   IsContentPage(b.CurrentPage());
        },
        20000);
}

// A picture whose host takes the connection and never answers keeps its page
// loading. That page is still the reading position once its text is there,
// from the timer and on close, and the next chapter replaces it within the
// browser's wait (the picture is held far longer than the test waits, so
// only the wait can have shown it): it stops the load that would not end.
TEST_F(ReaderWindowTest, APictureThatNeverArrivesHoldsNoPageBackAndKeepsThePosition) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    const std::string picture = "/silent/picture.png";
    w.server.SetFault(picture, Held());
    for (const char* id : {"11", "12"})
        WriteChapterWithPicture(w, story, id, w.server.URL(picture));

    B().BrowseChapter("gbk", story.id, "11");
    ASSERT_TRUE(WaitForChapterText(w, "11"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.server.RequestCount(picture) > 0; }));
    EXPECT_TRUE(B().WebBrowser().IsLoading()) << "the picture holds the page loading";
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.Position("gbk", story).ReadChapter == "11"; }));

    const unsigned stopped = B().StoppedLoads();
    ClickControl(w, w.Form().BtnNext());
    ASSERT_TRUE(WaitForChapterText(w, "12")) << B().CurrentPage();
    EXPECT_GT(B().StoppedLoads(), stopped);
    EXPECT_EQ(U(w.Form().Caption()), "《长风万里》--" + ChapterName(story, "12"));
    EXPECT_NE(w.PageText().find("第12章第60段"), std::string::npos);
    w.Screenshot("picture-never-arrives.png");

    w.Eval("window.scrollTo(0, 900); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().WebBrowser().ScrollY() == 900; }));
    EXPECT_TRUE(B().WebBrowser().IsLoading());
    w.Form().Close();
    w.CloseForm();
    EXPECT_EQ(w.Position("gbk", story).ReadChapter, "12");
    EXPECT_EQ(w.Position("gbk", story).VScrollBarPos, 900);
    w.server.Release(picture);
}

// A picture 3000 pixels tall, as PNG bytes.
std::string TallPicture() {
    GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, 400, 3000);
    gdk_pixbuf_fill(picture, 0x88aaccff);
    gchar* bytes = nullptr;
    gsize size = 0;
    gdk_pixbuf_save_to_buffer(picture, &bytes, &size, "png", nullptr, nullptr);
    std::string png(bytes ? bytes : "", bytes ? size : 0);
    g_free(bytes);
    g_object_unref(picture);
    return png;
}

// The saved place lies beyond what the chapter's text alone gives the page:
// while its picture is on its way the place is not reached, and the
// position is left as saved (not moved up to where the page could go); once
// the picture is in, the page is put there.
TEST_F(ReaderWindowTest, ASavedPlaceBeyondTheTextWaitsForThePictures) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    const std::string picture = "/slow/tall.png";
    w.server.Serve(picture, testing_support::HttpReply::Page(TallPicture(), "image/png"));
    w.server.SetFault(picture, Held());
    WriteChapterWithPicture(w, story, "13", w.server.URL(picture), "只有一行字。");
    ASSERT_TRUE(w.DB().SaveReadPosition("gbk", story.id, "2024-01-02 03:04:05", "13", 0, 1500));
    B().StartRead("gbk", story.id);
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().RestoreWaiting(); }, 20000));
    EXPECT_FALSE(B().PositionReady());
    EXPECT_EQ(B().ChapterID(), "13");
    w.server.Release(picture);
    ASSERT_TRUE(uitest::PumpUntil([&] {
        return B().PositionReady() && !B().RestoreWaiting() && !B().WebBrowser().IsLoading();
    }));
    EXPECT_EQ(B().WebBrowser().ScrollY(), 1500);
    EXPECT_EQ(w.EvalText("window.scrollY"), "1500");
    ASSERT_TRUE(uitest::PumpUntil([&] { return !B().SaveTimerRunning(); }));
    EXPECT_EQ(w.Position("gbk", story).VScrollBarPos, 1500);
}

// Quick turns while a page still loads: a cached chapter, then one that is
// not cached. The newest request wins: its loading page shows under its
// title (the cached chapter's text never does), then its chapter.
TEST_F(ReaderWindowTest, QuickTurnsShowTheLastChapterAskedFor) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    const std::string picture = "/silent/picture.png";
    w.server.SetFault(picture, Held());
    WriteChapterWithPicture(w, story, "11", w.server.URL(picture));
    w.Cache("gbk", story, "2");
    w.Uncache("gbk", story, "3");
    const std::string three = w.gbk->ChapterPath(story.id, "3");
    w.server.SetFault(three, Held());
    B().BrowseChapter("gbk", story.id, "11");
    ASSERT_TRUE(WaitForChapterText(w, "11"));
    ASSERT_TRUE(B().WebBrowser().IsLoading());

    CommitLog commits(B().WebBrowser());
    B().BrowseChapter("gbk", story.id, "2");
    B().BrowseChapter("gbk", story.id, "3");
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return IsLoadingPage(p); }))
        << B().CurrentPage();
    EXPECT_EQ(U(w.Form().Caption()), "《长风万里》--" + ChapterName(story, "3"));
    w.server.Release(three);
    ASSERT_TRUE(w.WaitForChapter("3"));
    EXPECT_NE(w.PageText().find("第3章第60段"), std::string::npos);
    const auto files = commits.Files();
    ASSERT_EQ(files.size(), 2u) << testing::PrintToString(files);
    EXPECT_TRUE(IsLoadingPage(files[0])) << files[0];
    EXPECT_EQ(files[1], B().CurrentPage());
    w.server.Release(picture);
}

}  // namespace
}  // namespace readertest

namespace readertest {
namespace {

// The error report link of the status bar, clicked where the bar last drew it.
void ClickReportError(ReaderWorld& w) {
    TXLabel& bar = w.Form().StatusBar();
    bar.Invalidate();
    uitest::Settle();
    ASSERT_FALSE(bar.ReportRect().IsEmpty());
    int x = 0, y = 0;
    uitest::WidgetOrigin(w.Form().Host().DrawingArea(), x, y);
    uitest::ClickAt(x + bar.Left() + bar.ReportRect().Left + bar.ReportRect().Width() / 2,
                    y + bar.Top() + bar.ReportRect().Top + bar.ReportRect().Height() / 2);
}

std::string Escaped(const std::string& text) {
    char* escaped = g_uri_escape_string(text.c_str(), nullptr, FALSE);
    std::string out = escaped;
    g_free(escaped);
    return out;
}

// The contents carry the story's address (its page on the site), before
// any chapter was read and after one: an error report sent from them, and
// the page's SiteURL, name the story.
TEST_F(ReaderWindowTest, TheContentsCarryTheStorysAddress) {
    ReaderWorld& w = W();
    const FakeStory& story = w.utfStory;
    const std::string address = w.utf->StoryURL(story.id);
    const auto contents = [](const std::string& p) { return p.ends_with("/List2.HTML"); };
    B().BrowseChapter("utf", story.id, "");
    ASSERT_TRUE(w.WaitForPage(contents));
    EXPECT_EQ(B().ChapterURL(), address);
    EXPECT_EQ(w.EvalText("window.external.SiteURL()"), address);

    w.Cache("utf", story, "0123");
    B().BrowseChapter("utf", story.id, "0123");
    ASSERT_TRUE(w.WaitForChapter("0123"));
    EXPECT_EQ(B().ChapterURL(), w.utf->ChapterURL(story.id, "0123"));
    ClickControl(w, w.Form().BtnHome());
    ASSERT_TRUE(w.WaitForPage(contents));
    EXPECT_EQ(w.EvalText("window.external.SiteURL()"), address);
    w.openedLinks.clear();
    ClickReportError(w);
    ASSERT_TRUE(uitest::PumpUntil([&] { return !w.openedLinks.empty(); }));
    EXPECT_TRUE(w.openedLinks[0].ends_with("/help/cuowu.php?url=" + Escaped(address)))
        << w.openedLinks[0];
}

// A site whose rules do not compile: a cached chapter still opens with its
// address (made from the URL template, which is no rule), and one to be
// downloaded ends on the error page under its title, with its address; the
// reader goes on to the next request either way.
TEST_F(ReaderWindowTest, ASiteRuleThatDoesNotCompileLeavesOpeningWhole) {
    ReaderWorld& w = W();
    const FakeStory& story = w.gbkStory;
    TStoryDB& db = w.DB();
    testing_support::FakeSiteRow row = w.gbk->Row();
    row.SiteID = "broken";
    row.ArticleChapterContent = "(";
    row.ArticleChapterContentFilter = "(";
    ASSERT_TRUE(db.SaveSite("broken", row.ToSiteItemData()));
    AnsiString folderID;
    ASSERT_TRUE(db.GetFolderRule("gbk", story.id, folderID));
    ASSERT_TRUE(db.AddArticle("broken", story.id, A(story.title), A(story.author), "", "", "", -1,
                              folderID));
    {
        TStoryDB::ChapterBatch batch(db);
        for (int i = 1; i <= 3; ++i) {
            const std::string id = std::to_string(i);
            db.AddChapter("broken", story.id, id, "", A(ChapterName(story, id)), "", i);
        }
        ASSERT_TRUE(batch.Commit());
    }
    AnsiString folder;
    ASSERT_TRUE(db.GetFolderName("broken", story.id, folder));
    TStoryExportHTML writer;
    writer.FolderName = folder;
    ASSERT_FALSE(
        writer.WriteChapterPage("1", A(story.author), A(ChapterName(story, "1")), A(LongText(1)))
            .empty());

    B().BrowseChapter("broken", story.id, "1");
    ASSERT_TRUE(w.WaitForChapter("1"));
    EXPECT_EQ(B().ChapterURL(), w.gbk->ChapterURL(story.id, "1"));
    EXPECT_EQ(U(w.Form().Caption()), "《长风万里》--" + ChapterName(story, "1"));

    w.server.ClearLog();
    B().NextChapter();
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.starts_with("data:"); }))
        << B().CurrentPage();
    EXPECT_EQ(w.server.RequestCount(w.gbk->ChapterPath(story.id, "2")), 1u);
    EXPECT_EQ(B().ChapterID(), "2");
    EXPECT_EQ(B().ChapterURL(), w.gbk->ChapterURL(story.id, "2"));
    EXPECT_EQ(U(w.Form().Caption()), "《长风万里》--" + ChapterName(story, "2"));
    EXPECT_FALSE(std::filesystem::exists(ChapterCacheFile("broken", story.id, "2")));

    w.Cache("gbk", story, "2");
    B().BrowseChapter("gbk", story.id, "2");
    ASSERT_TRUE(w.WaitForChapter("2"));
    EXPECT_NE(w.PageText().find("第2章第60段"), std::string::npos);
}

// A story whose folder name would reach outside the book folder (a database
// from elsewhere) shows nothing from there: its contents are not found.
TEST_F(ReaderWindowTest, AStoryFolderOutsideTheBookFolderShowsNothingFromThere) {
    ReaderWorld& w = W();
    TStoryDB& db = w.DB();
    db.SetFolderNameSource([] { return std::string("../elsewhere"); });
    const bool added = db.AddArticle("gbk", "9999", A("越界之书"), A("某人"), "", "", "", -1, "");
    db.SetFolderNameSource(nullptr);
    ASSERT_TRUE(added);
    AnsiString folder;
    ASSERT_TRUE(db.GetFolderName("gbk", "9999", folder));
    ASSERT_EQ(folder, "../elsewhere");
    const std::string outside = BookFolder() + "../elsewhere/List2.HTML";
    w.tree.Write("home/.local/share/Velqo/elsewhere/List2.HTML",
                 "<html><body><p>not a page of this book</p></body></html>");
    ASSERT_TRUE(std::filesystem::exists(outside));

    B().BrowseChapter("gbk", "9999", "");
    ASSERT_TRUE(w.WaitForPage([](const std::string& p) { return p.starts_with("data:"); }))
        << B().CurrentPage();
    const std::string text = w.PageText();
    EXPECT_NE(text.find("找不到这本书的目录"), std::string::npos) << text;
    EXPECT_EQ(text.find("not a page of this book"), std::string::npos);
    std::filesystem::remove(outside);
}

// A smooth-scroll event as a touchpad sends it to the page (GTK's own queue,
// as the device's would arrive): a part of a notch, Ctrl held or not.
void SmoothScroll(GtkWidget* widget, double deltaY, bool control) {
    GdkWindow* window = gtk_widget_get_window(widget);
    GdkEvent* event = gdk_event_new(GDK_SCROLL);
    event->scroll.window = GDK_WINDOW(g_object_ref(window));
    event->scroll.time = GDK_CURRENT_TIME;
    event->scroll.x = 200;
    event->scroll.y = 150;
    event->scroll.state = control ? GDK_CONTROL_MASK : 0;
    event->scroll.direction = GDK_SCROLL_SMOOTH;
    event->scroll.delta_y = deltaY;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(window));
    gdk_event_set_device(event, gdk_seat_get_pointer(seat));
    gdk_event_put(event);
    gdk_event_free(event);
}

// A touchpad zooms one step per notch's worth of its small steps with Ctrl
// held, in the direction turned last, and not at all without Ctrl.
TEST_F(ReaderWindowTest, ATouchpadZoomsOneStepPerNotch) {
    ReaderWorld& w = W();
    w.Cache("gbk", w.gbkStory, "2");
    B().BrowseChapter("gbk", w.gbkStory.id, "2");
    ASSERT_TRUE(w.WaitForChapter("2"));
    GtkWidget* view = B().Widget();
    const int before = B().ZoomStep();
    const auto swipe = [&](double deltaY, bool control, int events) {
        for (int i = 0; i < events; ++i) SmoothScroll(view, deltaY, control);
        uitest::Settle();
    };
    swipe(-0.1, true, 10);  // away from the user: one notch in ten parts
    ASSERT_TRUE(uitest::PumpUntil([&] { return B().ZoomStep() != before; }));
    uitest::Settle();
    EXPECT_EQ(B().ZoomStep(), before + 10);
    swipe(0.25, true, 3);  // back: three quarters of a notch
    EXPECT_EQ(B().ZoomStep(), before + 10);
    swipe(0.25, true, 1);
    EXPECT_EQ(B().ZoomStep(), before);
    swipe(-0.5, false, 3);  // without Ctrl: nothing, and nothing kept
    swipe(-0.5, true, 1);
    EXPECT_EQ(B().ZoomStep(), before);
    swipe(-0.5, true, 1);
    EXPECT_EQ(B().ZoomStep(), before + 10);
    char zoom[G_ASCII_DTOSTR_BUF_SIZE];
    g_ascii_formatd(zoom, sizeof zoom, "%g", (before + 10) / 100.0 + 1);
    EXPECT_TRUE(uitest::PumpUntil([&] { return w.EvalText("document.body.style.zoom") == zoom; }))
        << w.EvalText("document.body.style.zoom");
    B().ZoomByWheel(-TXBookBrowser::kWheelNotch, true);
    EXPECT_EQ(B().ZoomStep(), before);
}

}  // namespace
}  // namespace readertest

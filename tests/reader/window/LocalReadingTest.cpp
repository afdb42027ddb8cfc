// Local reading: the reader started with "-localread" shows text files.

#include "ReaderWorld.h"

#include "exchange/XDataShare.h"
#include "platform/IniFile.h"
#include "platform/ProgramChannel.h"
#include "reader/XReaderButton3.h"

namespace readertest {
namespace {

class LocalReadingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        world_ = &ReaderWorld::Get();
        SetLocalRead(true);
        world_->localFiles.clear();
        world_->notices.clear();
    }
    void TearDown() override {
        world_->localFiles.clear();
        if (world_->form) world_->CloseForm();
        SetLocalRead(false);
    }
    // Opens the window in local mode with the chooser answering files.
    void Start(std::vector<std::optional<std::string>> files) {
        world_->localFiles = std::move(files);
        world_->OpenForm();
    }
    bool WaitForLocalPage() {
        return world_->WaitForPage([](const std::string& p) {
            return p.ends_with("/Content_Local.html");
        }) && uitest::PumpUntil([&] { return world_->Browser().PositionReady(); });
    }
    std::string File(const std::string& name, const std::string& bytes) {
        return world_->tree.Write("texts/" + name, bytes);
    }
    ReaderWorld* world_ = nullptr;
};

// A file given on the command line (a desktop's "open with") is shown
// without asking; the next "本地小说" asks as always.
TEST_F(LocalReadingTest, AGivenFileOpensWithoutTheChooser) {
    ReaderWorld& w = *world_;
    const std::string file = File("given.txt", A("给定的文件"));
    w.OpenForm(file);
    ASSERT_TRUE(WaitForLocalPage());
    EXPECT_FALSE(w.closed) << "the chooser was asked and cancelled";
    EXPECT_EQ(U(w.Form().Caption()), "given.txt");
    EXPECT_NE(w.EvalText("document.getElementById('content').innerText").find("给定的文件"),
              std::string::npos);
    w.Form().BtnRefreshClick();
    EXPECT_TRUE(uitest::PumpUntil([&] { return w.closed; })) << "the chooser was not asked";
}

TEST_F(LocalReadingTest, TextIsShownAsTextWhateverItHolds) {
    const std::string hostile =
        A("第一章 <script>window.hacked = 1;</script>\r\n") +
        "<img src=\"x\" onerror=\"window.hacked = 2\">\n{#Content#}\r{#Title#}\r\n" + A("完");
    const std::string file = File("a.TXT", hostile);
    Start({file});
    ReaderWorld& w = *world_;
    ASSERT_TRUE(WaitForLocalPage());
    TBookReaderForm& f = w.Form();
    EXPECT_EQ(U(f.BtnRefresh().Caption()), "本地小说");
    EXPECT_FALSE(f.BtnNext().Enabled());
    EXPECT_FALSE(f.BtnPrevious().Enabled());
    EXPECT_FALSE(f.BtnHome().Enabled());
    EXPECT_EQ(U(f.Caption()), "a.TXT");
    EXPECT_EQ(w.EvalText("typeof window.hacked"), "undefined");
    EXPECT_EQ(w.EvalText("document.querySelectorAll('#content script, #content img').length"), "0");
    const std::string content = w.EvalText("document.getElementById('content').innerText");
    EXPECT_NE(content.find("第一章 <script>window.hacked = 1;</script>\n<img src=\"x\" "
                           "onerror=\"window.hacked = 2\">\n{#Content#}\n{#Title#}\n完"),
              std::string::npos)
        << content;
    // No chapter buttons and no way to contents on a local page.
    EXPECT_EQ(w.EvalText("document.querySelectorAll('.btmBtns').length"), "0");
    EXPECT_EQ(w.PageText().find("返回书目"), std::string::npos);
    EXPECT_TRUE(w.notices.empty());
    w.Screenshot("local.png");
}

TEST_F(LocalReadingTest, Utf8GbkAndEmptyFiles) {
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += "第" + std::to_string(i) + "行 风雪夜归人\n";
    const std::string utf8 = File("utf8.txt", lines);
    const std::string gbk = File("gbk.txt", A(lines));
    const std::string empty = File("empty.txt", "");
    Start({utf8});
    ReaderWorld& w = *world_;
    ASSERT_TRUE(WaitForLocalPage());
    EXPECT_NE(w.PageText().find("第199行 风雪夜归人"), std::string::npos);

    // The position of a local file goes into LocalRead/Scroll.ini.
    w.Eval("window.scrollTo(0, 600); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.Browser().WebBrowser().ScrollY() == 600; }));
    w.ClickInPage();
    const platform::IniFile scroll(LocalReadFolder() + "Scroll.ini");
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return scroll.ReadInteger("utf8.txt", "VScroll", -1) == 600; }));

    w.localFiles = {gbk};
    w.Form().BtnRefreshClick();
    ASSERT_TRUE(WaitForLocalPage());
    ASSERT_TRUE(uitest::PumpUntil([&] { return U(w.Form().Caption()) == "gbk.txt"; }));
    EXPECT_NE(w.PageText().find("第199行 风雪夜归人"), std::string::npos);
    EXPECT_EQ(w.Browser().WebBrowser().ScrollY(), 0);

    w.localFiles = {empty};
    w.Form().BtnRefreshClick();
    ASSERT_TRUE(WaitForLocalPage());
    EXPECT_EQ(w.EvalText("document.getElementById('content').innerText.trim()"), "");

    // Back to the first file: where it was left.
    w.localFiles = {utf8};
    w.Form().BtnRefreshClick();
    ASSERT_TRUE(WaitForLocalPage());
    EXPECT_EQ(w.Browser().WebBrowser().ScrollY(), 600);
    EXPECT_EQ(w.EvalText("window.scrollY"), "600");
}

TEST_F(LocalReadingTest, ALargeFileIsAnnouncedAndACancelEndsTheReader) {
    // 16384 lines of 64 bytes: exactly 1 MiB.
    std::string mib;
    for (int i = 0; i < 16384; ++i) mib += std::string(63, static_cast<char>('a' + i % 26)) + "\n";
    ASSERT_EQ(mib.size(), 1048576u);
    const std::string exact = File("exact.txt", mib);
    const std::string larger = File("larger.txt", mib + "b");
    Start({File("small.txt", "small")});
    ReaderWorld& w = *world_;
    ASSERT_TRUE(WaitForLocalPage());

    // Another extension shows nothing new.
    const std::string page = w.Browser().CurrentPage();
    const size_t pages = w.Form().PageList().size();
    w.localFiles = {File("notes.md", "# x")};
    w.Form().BtnRefreshClick();
    uitest::PumpFor(300);
    EXPECT_EQ(w.Form().PageList().size(), pages);
    EXPECT_EQ(w.Browser().CurrentPage(), page);

    // The notice comes before a file larger than 1 MiB is read, and only then.
    w.localFiles = {exact};
    w.Form().BtnRefreshClick();
    EXPECT_TRUE(w.notices.empty());
    EXPECT_EQ(w.Form().PageList().size(), pages + 1);
    w.localFiles = {larger};
    w.Form().BtnRefreshClick();
    ASSERT_EQ(w.notices.size(), 1u);
    EXPECT_EQ(U(w.notices[0]),
              "您要导入的本地文件体积较大，导入过程可能会花费一些时间，请您耐心等待！");
    EXPECT_EQ(U(w.Form().Caption()), "larger.txt");
    EXPECT_EQ(w.Form().PageList().size(), pages + 2);

    // The chooser cancelled: the reader ends.
    w.localFiles = {std::nullopt};
    w.Form().BtnRefreshClick();
    EXPECT_TRUE(w.closed);
}

TEST_F(LocalReadingTest, ALocalStartOpensNothingOfTheSharedBlock) {
    // A request left in the block must not open in a local reading.
    TXDataShare().WriteRequest("gbk", world_->gbkStory.id, "2", 0);
    world_->Cache("gbk", world_->gbkStory, "2");
    Start({File("b.txt", "text")});
    ASSERT_TRUE(WaitForLocalPage());
    uitest::PumpFor(500);
    EXPECT_EQ(world_->Browser().ChapterID(), "");
    EXPECT_TRUE(world_->Browser().CurrentPage().ends_with("/Content_Local.html"));
    TXDataShare().Clear();
}

// A chapter opened in the main program while a local text is read: the
// reader leaves local reading and opens it, as a new start with "-read"
// would, and keeps where the text was left. A request that is not whole
// leaves the text on screen.
TEST_F(LocalReadingTest, AChapterRequestEndsTheLocalReading) {
    ReaderWorld& w = *world_;
    const FakeStory& story = w.gbkStory;
    std::string lines;
    for (int i = 0; i < 200; ++i) lines += "第" + std::to_string(i) + "行 风雪夜归人\n";
    Start({File("before.txt", lines)});
    ASSERT_TRUE(WaitForLocalPage());
    w.Eval("window.scrollTo(0, 600); return 1;");
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.Browser().WebBrowser().ScrollY() == 600; }));

    TXDataShare().Clear();
    const size_t pages = w.Form().PageList().size();
    w.Form().OpenFromShare();
    EXPECT_TRUE(IsLocalRead());
    EXPECT_EQ(w.Form().PageList().size(), pages);
    EXPECT_TRUE(w.Browser().CurrentPage().ends_with("/Content_Local.html"));

    // The request as the main program sends it to a running reader.
    w.Cache("gbk", story, "2");
    w.Cache("gbk", story, "3");
    TXDataShare().WriteRequest("gbk", story.id, "2", 0);
    ASSERT_TRUE(platform::ProgramChannel::PostToClass(TBookReaderForm::kWindowClass,
                                                      {platform::kWmUser + 100}));
    ASSERT_TRUE(w.WaitForChapter("2"));
    TBookReaderForm& f = w.Form();
    EXPECT_FALSE(IsLocalRead());
    EXPECT_EQ(U(f.Caption()), "《长风万里》--" + story.FindChapter("2")->name);
    EXPECT_EQ(U(f.BtnRefresh().Caption()), "刷新");
    EXPECT_TRUE(f.BtnNext().Enabled());
    EXPECT_NE(w.PageText().find("第2章第60段"), std::string::npos);
    const platform::IniFile scroll(LocalReadFolder() + "Scroll.ini");
    EXPECT_EQ(scroll.ReadInteger("before.txt", "VScroll", -1), 600);
    w.Screenshot("local-reading-left-for-a-chapter.png");

    // The chapter buttons work again.
    int x = 0, y = 0;
    uitest::WidgetOrigin(f.Host().DrawingArea(), x, y);
    uitest::ClickAt(x + f.BtnNext().Left() + 40, y + f.BtnNext().Top() + 13);
    ASSERT_TRUE(w.WaitForChapter("3"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return w.Position("gbk", story).ReadChapter == "3"; }));
    TXDataShare().Clear();
}

}  // namespace
}  // namespace readertest

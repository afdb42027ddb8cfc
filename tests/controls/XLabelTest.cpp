#include "controls/XLabel.h"

#include <gtest/gtest.h>

#include "controls/HeadlessHost.h"

namespace {

AnsiString A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

struct LabelFixture : ::testing::Test {
    LabelFixture() {
        label.SetBounds(0, 0, 900, 23);
        host.Add(label);
    }
    // Runs the clock in 10 ms steps, painting as a window would, until the
    // message rests (bounded).
    void RunToRest() {
        for (int i = 0; i < 500; ++i) {
            host.Clock().Advance(10);
            host.Render();
            if (label.ScrollOffset() == -1 && label.Timer().Interval() == 8000) return;
        }
        FAIL() << "the message never came to rest";
    }
    // From rest, the next message starts scrolling in at the next tick.
    void NextMessage() {
        host.Clock().Advance(8000);
        host.Render();
        RunToRest();
    }

    THeadlessHost host{900, 23};
    TXLabel label;
};

TEST_F(LabelFixture, OneMessageScrollsInAgainEveryEightSeconds) {
    EXPECT_EQ(label.Height(), 23);
    label.AddMessage(A("第一条"), "https://example.com/1", clRed);
    host.Clock().Advance(199);
    EXPECT_TRUE(label.StatusInfo().empty()) << "the first tick comes after 200 ms";
    host.Clock().Advance(1);
    EXPECT_EQ(label.StatusInfo(), A("第一条"));
    EXPECT_GT(label.ScrollOffset(), 0) << "scrolling in from below";
    EXPECT_EQ(label.Timer().Interval(), 10);
    RunToRest();
    EXPECT_EQ(label.StatusURL(), "https://example.com/1");

    // Rests 8 seconds, then the same text scrolls in again with no outgoing one.
    host.Clock().Advance(7990);
    EXPECT_EQ(label.ScrollOffset(), -1);
    host.Clock().Advance(10);
    EXPECT_GT(label.ScrollOffset(), 0);
    EXPECT_EQ(label.StatusInfo(), A("第一条"));
}

TEST_F(LabelFixture, MessagesRotateInOrder) {
    label.AddMessage("one", "http://a/", clRed);
    label.AddMessage("two", "http://b/", clBlue);
    label.AddMessage("three", "http://c/", clBlack);
    host.Clock().Advance(200);
    RunToRest();
    std::vector<AnsiString> shown{label.StatusInfo()};
    for (int i = 0; i < 4; ++i) {
        NextMessage();
        shown.push_back(label.StatusInfo());
    }
    EXPECT_EQ(shown, (std::vector<AnsiString>{"one", "two", "three", "one", "two"}));
    EXPECT_EQ(label.StatusURL(), "http://b/");
}

// Mended: clearing the list kept the rotation index, so a shorter new list
// was read past its end.
TEST_F(LabelFixture, ClearMessagesStartsTheNewListAtItsFirstMessage) {
    label.AddMessage("one", "", clRed);
    label.AddMessage("two", "", clRed);
    label.AddMessage("three", "", clRed);
    host.Clock().Advance(200);
    RunToRest();
    NextMessage();
    ASSERT_EQ(label.StatusInfo(), "two");  // the index now points at "three"
    label.ClearMessages();
    EXPECT_EQ(label.MessageCount(), 0u);
    host.Clock().Advance(20000);
    EXPECT_EQ(label.StatusInfo(), "two") << "an empty list rotates nothing";
    label.AddMessage("new", "", clRed);
    NextMessage();
    EXPECT_EQ(label.StatusInfo(), "new");

    // A list as long as the old one also starts at its first message.
    label.AddMessage("new2", "", clRed);
    label.AddMessage("new3", "", clRed);
    NextMessage();
    NextMessage();
    ASSERT_EQ(label.StatusInfo(), "new2");  // the index points at "new3"
    label.ClearMessages();
    label.AddMessage("a", "", clRed);
    label.AddMessage("b", "", clRed);
    label.AddMessage("c", "", clRed);
    NextMessage();
    EXPECT_EQ(label.StatusInfo(), "a");
}

// Mended: after a clear, a single new message scrolled in under the outgoing
// text of the old list (the one shown before the last rotation).
TEST_F(LabelFixture, ANewSingleMessageHasNoOutgoingTextOfTheOldList) {
    label.AddMessage("one", "", clRed);
    label.AddMessage("two", "", clRed);
    host.Clock().Advance(200);
    RunToRest();
    host.Clock().Advance(8000);
    ASSERT_EQ(label.PreviousText(), "one") << "two messages: the shown one leaves upwards";
    RunToRest();
    label.ClearMessages();
    label.AddMessage("alone", "", clRed);
    host.Clock().Advance(8000);
    ASSERT_GT(label.ScrollOffset(), 0);
    EXPECT_EQ(label.StatusInfo(), "alone");
    EXPECT_EQ(label.PreviousText(), "");
}

// Mended: message links come from a downloaded file; only web addresses
// may be handed on to be opened.
TEST_F(LabelFixture, OnlyWebAddressesBecomeTheStatusLink) {
    label.AddMessage("web", "https://example.com/x", clRed);
    label.AddMessage("file", "file:///etc/passwd", clRed);
    label.AddMessage("program", "/usr/bin/xterm -e sh", clRed);
    host.Clock().Advance(200);
    RunToRest();
    EXPECT_EQ(label.StatusURL(), "https://example.com/x");
    NextMessage();
    EXPECT_EQ(label.StatusInfo(), "file");
    EXPECT_EQ(label.StatusURL(), "");
    NextMessage();
    EXPECT_EQ(label.StatusURL(), "");
}

TEST_F(LabelFixture, PointerOnTheLabelFreezesARestingMessage) {
    label.AddMessage("one", "", clRed);
    label.AddMessage("two", "", clRed);
    host.Clock().Advance(200);
    RunToRest();
    host.MoveTo(5, 10);
    EXPECT_FALSE(label.Timer().Enabled());
    host.Clock().Advance(60000);
    EXPECT_EQ(label.StatusInfo(), "one");
    host.Leave();
    EXPECT_TRUE(label.Timer().Enabled());
    NextMessage();
    EXPECT_EQ(label.StatusInfo(), "two");
}

TEST_F(LabelFixture, EnteringDuringAScrollStopsWhenTheScrollEnds) {
    label.AddMessage("one", "", clRed);
    label.AddMessage("two", "", clRed);
    host.Clock().Advance(210);
    ASSERT_GT(label.ScrollOffset(), 0);
    host.MoveTo(5, 10);
    EXPECT_TRUE(label.Timer().Enabled()) << "the running scroll goes on";
    RunToRest();
    EXPECT_FALSE(label.Timer().Enabled());
}

TEST_F(LabelFixture, LinksAreHitAndRaiseTheirEvents) {
    label.SetAppVersion(" 2.1.0.8");
    label.SetReportError(A("问题反馈"));
    label.AddMessage(A("一条很长的消息"), "", clRed);
    host.Clock().Advance(200);
    RunToRest();
    int site = 0, windows = 0, report = 0, search = 0;
    label.OnClickSite = [&](TControl*) { ++site; };
    label.OnClickWindows = [&](TControl*) { ++windows; };
    label.OnReportError = [&](TControl*) { ++report; };
    label.OnSearchBook = [&](TControl*) { ++search; };
    const auto clickIn = [&](TRect r) {
        host.ClickAt((r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2);
    };

    EXPECT_EQ(label.SiteRect().Left, 1);
    EXPECT_EQ(label.MessageRect().Left, 201);
    EXPECT_EQ(label.ReportRect().Right, 899);
    EXPECT_EQ(label.SearchRect().Right, label.ReportRect().Left - 10);
    EXPECT_EQ(label.SearchRect().Width(), 240);
    clickIn(label.SiteRect());
    clickIn(label.MessageRect());
    clickIn(label.ReportRect());
    clickIn(label.SearchRect());
    EXPECT_EQ((std::vector<int>{site, windows, report, search}), (std::vector<int>{1, 1, 1, 1}));

    // The hand cursor over a link, the default elsewhere.
    host.MoveTo((label.SiteRect().Left + label.SiteRect().Right) / 2, 10);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::HandPoint);
    host.MoveTo(150, 10);
    EXPECT_EQ(host.EffectiveCursor(), TCursor::Default);

    // Hidden search link: neither drawn nor hit.
    label.SeachBookShow = false;
    host.Render();
    EXPECT_TRUE(label.SearchRect().IsEmpty());
    host.ClickAt(label.ReportRect().Left - 100, 10);
    EXPECT_EQ(search, 1);
}

TEST_F(LabelFixture, WithoutReportLinkTheMessageMayReachTheRightEdge) {
    label.SetReportError("");
    label.SeachBookShow = false;
    AnsiString longText;
    for (int i = 0; i < 120; ++i) longText += "W";
    label.AddMessage(longText, "", clRed);
    host.Clock().Advance(200);
    RunToRest();
    EXPECT_TRUE(label.ReportRect().IsEmpty());
    // Clipped at the edge: the clickable area ends with the visible text.
    EXPECT_EQ(label.MessageRect().Right, 899);
    int report = 0;
    label.OnReportError = [&](TControl*) { ++report; };
    host.ClickAt(897, 10);
    EXPECT_EQ(report, 0);

    label.ClearMessages();
    label.AddMessage("short", "", clRed);
    NextMessage();
    EXPECT_LT(label.MessageRect().Right, 300) << "never wider than the text";
}

}  // namespace

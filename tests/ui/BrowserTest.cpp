#include "platform/ui/Fonts.h"
#include "tests/ui/BrowserFixture.h"

#include <unistd.h>

#include <filesystem>

using namespace browsertest;

namespace {

// The page calls the members on load and puts what it got into its title.
const char* kCallingPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>start</title><script>
function run() {
  var out = {};
  out.kind = typeof window.external;
  function attempt(name, f) { try { out[name] = f(); } catch (e) { out[name] = 'error: ' + e.message; } }
  attempt('echo', function () { return external.Echo('中文', 42, 1.5, true, null, undefined, 'a"b<\/script>'); });
  attempt('long', function () { return external.GetLong(41); });
  attempt('longText', function () { return external.GetLong(' 9 '); });
  attempt('badLong', function () { return external.GetLong('abc'); });
  attempt('text', function () { return external.GetText(); });
  attempt('list', function () { return external.GetList(); });
  attempt('nothing', function () { return typeof external.Nothing(); });
  attempt('fail', function () { return external.Fail(); });
  attempt('font', function () { var before = external.FontName; external.FontName = 'KaiTi'; return before + '>' + external.FontName; });
  attempt('open', function () { window.gotOpen = external.Open(); return window.gotOpen; });
  attempt('forged', function () {
    var x = new XMLHttpRequest();
    x.open('POST', 'quira-ext://call/GetLong', false);
    x.send(JSON.stringify({t: 'guess', m: 'GetLong', k: 'call', a: [1]}));
    return x.status + ':' + x.responseText;
  });
  document.title = 'done:' + JSON.stringify(out);
}
</script></head><body onload="run()">page</body></html>)HTML";

class BrowserTest : public BrowserFixture {};

TEST_F(BrowserTest, LocalPageCallsMembersSynchronously) {
    const Json out = LoadAndRead(data.Write("BooK/story/List.HTML", kCallingPage));
    EXPECT_EQ(out["kind"], "object");
    EXPECT_EQ(out["echo"], "[中文][42][1.5][True][][][a\"b</script>]");
    EXPECT_EQ(out["long"], 42);
    EXPECT_EQ(out["longText"], 10);
    EXPECT_EQ(out["badLong"], "error: Type mismatch");
    EXPECT_EQ(out["text"], "书架：第一章");
    EXPECT_EQ(out["list"], Json::array({"\"1\",\"2\"", "x"}));
    EXPECT_EQ(out["nothing"], "undefined");
    EXPECT_EQ(out["fail"], "error: no such story");
    EXPECT_EQ(out["font"], "SimSun>KaiTi");
    EXPECT_EQ(provider->fontName, "KaiTi");
    EXPECT_EQ(out["open"], 7);
    // A request without the page's token gets nothing, even from our page.
    EXPECT_EQ(out["forged"].get<std::string>().substr(0, 4), "403:");
    ASSERT_EQ(provider->lastArgs.size(), 7u);
    EXPECT_EQ(std::get<AnsiString>(provider->lastArgs[0]), platform::Utf8ToAnsi("中文"));
    EXPECT_EQ(std::get<long long>(provider->lastArgs[1]), 42);
}

TEST_F(BrowserTest, DeferredActionRunsAfterThePageHasItsAnswer) {
    LoadAndRead(data.Write("page.html", kCallingPage));
    ASSERT_TRUE(uitest::PumpUntil([&] { return provider->openRan; }));
    // The page is not blocked any more: a script call reaches it.
    std::optional<std::string> got;
    browser->RunScript("return window.gotOpen;", [&](std::optional<std::string> json, std::string) {
        got = json.value_or("failed");
    });
    ASSERT_TRUE(uitest::PumpUntil([&] { return got.has_value(); }));
    EXPECT_EQ(*got, "7");
}

// The window tests' page scripts: a document that goes away under a script
// (the page navigates while the call is in flight) is no answer, and the
// script runs again on the new document; a script's own error is the answer
// at once, after one run.
TEST_F(BrowserTest, TestScriptsRunAgainWhenTheirDocumentGoesAway) {
    data.Write("two.html", "<p id='p'>two</p>");
    LoadAndRead(
        data.Write("one.html", "<p id='p'>one</p><script>document.title='done:{}';</script>"));
    const uitest::PageScriptAnswer moved = uitest::RunPageScript(
        *browser,
        "const p = document.getElementById('p');"
        "if (p.textContent === 'one') { location.href = 'two.html'; await new Promise(() => {}); }"
        "return p.textContent;");
    EXPECT_EQ(moved.json.value_or(moved.error), "\"two\"");

    const uitest::PageScriptAnswer own = uitest::RunPageScript(
        *browser, "window.runs = (window.runs || 0) + 1; throw new Error('bad');");
    EXPECT_FALSE(own.json);
    EXPECT_NE(own.error.find("bad"), std::string::npos) << own.error;
    EXPECT_EQ(uitest::RunPageScript(*browser, "return window.runs;").json.value_or(""), "1");
}

TEST_F(BrowserTest, ServicePagesGetOnlyTheirMembers) {
    const PageServer service(kCallingPage);
    const PageServer otherPort(kCallingPage);
    SetServicePageOrigin(service.Url());
    EXPECT_EQ(ServicePageOrigin(), service.Origin());
    browser->SetExternalProvider(provider);

    const Json out = LoadAndRead(service.Url());
    EXPECT_EQ(out["kind"], "object");
    EXPECT_EQ(out["long"], 42);
    EXPECT_EQ(out["text"].get<std::string>().rfind("error: ", 0), 0u) << out["text"];
    EXPECT_EQ(out["font"], "undefined>undefined");
    EXPECT_EQ(out["forged"].get<std::string>().substr(0, 4), "403:");
    EXPECT_EQ(provider->calls, std::vector<std::string>(3, "GetLong"));

    // The same page from another port is another origin.
    const Json other = LoadAndRead(otherPort.Url());
    EXPECT_EQ(other["kind"], "undefined");
    EXPECT_EQ(provider->calls.size(), 3u);
    SetServicePageOrigin({});
}

// Back, forward and reload make the page anew, with a token of its own.
TEST_F(BrowserTest, OurPagesKeepEveryMemberAfterBackAndForward) {
    const char* page = R"HTML(<title>p</title><body><a id=next href="two.html">next</a><script>
window.report = JSON.stringify({page: location.pathname.replace(/.*\//, ''), long: external.GetLong(1),
  text: external.GetText(), font: external.FontName});
document.title = 'done';
</script></body>)HTML";
    data.Write("two.html", page);
    auto expectPage = [&](const Json& out, const char* name) {
        EXPECT_EQ(out["page"], name);
        EXPECT_EQ(out["long"], 2);
        EXPECT_EQ(out["text"], "书架：第一章");
        EXPECT_EQ(out["font"], "SimSun");
    };
    expectPage(LoadAndRead(data.Write("one.html", page)), "one.html");
    ExpectLoad();
    browser->RunScript("document.getElementById('next').click();");
    expectPage(ReadDone(), "two.html");
    ExpectLoad();
    browser->RunScript("history.back();");
    expectPage(ReadDone(), "one.html");
    ExpectLoad();
    browser->RunScript("history.forward();");
    expectPage(ReadDone(), "two.html");
    ExpectLoad();
    browser->Reload();
    expectPage(ReadDone(), "two.html");
    EXPECT_EQ(provider->calls.size(), 15u);
}

// The folder is named with a space and Chinese, and reached through a link:
// its pages get the bridge under either name.
TEST_F(BrowserTest, FolderNamesOfAnyKindKeepTheBridge) {
    uitest::TempDir links;
    const std::string folder = data.Path() + "/书库 folder";
    const std::string page =
        "<title>p</title><script>document.title = 'done:' + "
        "JSON.stringify({long: external.GetLong(5)});</script>";
    data.Write("书库 folder/第一章.html", page);
    const std::string link = links.Path() + "/link name";
    ASSERT_EQ(symlink(folder.c_str(), link.c_str()), 0);
    SetTrustedPageFolders({platform::Utf8ToAnsi(link)});
    EXPECT_EQ(LoadAndRead(platform::Utf8ToAnsi(link + "/第一章.html"))["long"], 6);
    EXPECT_EQ(LoadAndRead(platform::Utf8ToAnsi(folder + "/第一章.html"))["long"], 6);
    EXPECT_EQ(provider->calls.size(), 2u);
}

TEST_F(BrowserTest, NoProviderMeansNoObject) {
    browser->SetExternalProvider(nullptr);
    const Json out = LoadAndRead(data.Write("page.html", kCallingPage));
    EXPECT_EQ(out["kind"], "undefined");
}

TEST_F(BrowserTest, CallsPageFunctionsWithArgumentsAsValues) {
    data.Write("f.html",
               "<html><body style='height:5000px;width:5000px'><script>"
               "function join(a, b, c) { window.called = true; return a + '|' + b + '|' + c; }"
               "</script></body></html>");
    browser->Navigate(data.Path() + "/f.html");
    ASSERT_TRUE(
        uitest::PumpUntil([&] { return !browser->IsLoading() && !browser->Uri().empty(); }));
    std::optional<std::string> result;
    std::string error;
    browser->CallFunction("join", {AnsiString("');alert(1);('"), 5LL, platform::Utf8ToAnsi("章")},
                          [&](std::optional<std::string> json, std::string message) {
                              result = json.value_or("");
                              error = message;
                          });
    ASSERT_TRUE(uitest::PumpUntil([&] { return result.has_value(); }));
    EXPECT_EQ(Json::parse(*result), "');alert(1);('|5|章");

    result.reset();
    browser->CallFunction("missing", {}, [&](std::optional<std::string> json, std::string message) {
        result = json.value_or("<none>");
        error = message;
    });
    ASSERT_TRUE(uitest::PumpUntil([&] { return result.has_value(); }));
    EXPECT_EQ(*result, "<none>");
    EXPECT_NE(error.find("no page function missing"), std::string::npos);

    // Scrolling reaches the page and comes back as the reported position.
    browser->ScrollTo(30, 700);
    EXPECT_TRUE(uitest::PumpUntil([&] { return browser->ScrollY() == 700; }));
    EXPECT_EQ(browser->ScrollX(), 30);

    browser->SetPageZoom(1.5);
    result.reset();
    browser->RunScript("return document.body.style.zoom;",
                       [&](std::optional<std::string> json, std::string) { result = json; });
    ASSERT_TRUE(uitest::PumpUntil([&] { return result.has_value(); }));
    EXPECT_EQ(Json::parse(*result), "1.5");
}

TEST_F(BrowserTest, LoadEventsAndNavigationVeto) {
    std::vector<std::string> events;
    browser->OnNavigateComplete = [&](const std::string& uri) { events.push_back("nav " + uri); };
    browser->OnDocumentComplete = [&](const std::string& uri) { events.push_back("doc " + uri); };
    browser->OnBeforeNavigate = [&](const std::string& uri) {
        return uri.find("blocked") == std::string::npos;
    };
    const std::string second = data.Write("second.html", "<html><body>2</body></html>");
    data.Write("first.html",
               "<html><body><a id=a href='blocked.html'>x</a><a id=b href='second.html'>y</a>"
               "</body></html>");
    browser->Navigate(data.Path() + "/first.html");
    ASSERT_TRUE(uitest::PumpUntil([&] { return events.size() >= 2; }));
    EXPECT_EQ(events[0].rfind("nav file://", 0), 0u);
    EXPECT_EQ(events[1].rfind("doc file://", 0), 0u);

    browser->RunScript("document.getElementById('a').click();");
    uitest::PumpFor(300);
    EXPECT_EQ(browser->Uri().find("blocked"), std::string::npos);
    browser->RunScript("document.getElementById('b').click();");
    ASSERT_TRUE(uitest::PumpUntil([&] { return events.size() >= 4; }));
    EXPECT_NE(events[3].find("second.html"), std::string::npos);
    EXPECT_EQ(GetIEServerWindow(window), browser->Widget());
}

// An owner may free its browser from the failed-load event (a window that
// closes on the error): the browser then touches nothing of itself.
TEST_F(BrowserTest, AFailedLoadHandlerMayFreeTheBrowser) {
    bool failed = false;
    browser->OnLoadFailed = [&](const std::string&, const std::string&) {
        failed = true;
        browser.reset();
    };
    browser->Navigate(data.Path() + "/missing.html");
    ASSERT_TRUE(uitest::PumpUntil([&] { return failed; }));
    uitest::PumpFor(200);
    EXPECT_EQ(browser, nullptr);
}

TEST_F(BrowserTest, ChineseFaceNamesReachThePagesFonts) {
    data.Write("fonts.html", R"HTML(<html><body><canvas id=c></canvas><script>
function width(face) { var g = document.getElementById('c').getContext('2d');
  g.font = '20px "' + face + '"'; return g.measureText('Quira reads 第一章 abcdefghij').width; }
document.title = 'done:' + JSON.stringify({yahei: width('Microsoft Yahei'), han: width('微软雅黑'),
  noto: width('Noto Sans CJK SC'), dejavu: width('DejaVu Sans'), kai: width('KaiTi'),
  ukai: width('AR PL UKai CN')});
</script></body></html>)HTML");
    const Json out = LoadAndRead(data.Path() + "/fonts.html");
    EXPECT_EQ(out["yahei"], out["noto"]);
    EXPECT_EQ(out["han"], out["noto"]);
    EXPECT_NE(out["noto"], out["dejavu"]);
    EXPECT_EQ(out["kai"], out["ukai"]);
    EXPECT_EQ(MatchedFontFamily(kDefaultFontFace), "Noto Sans CJK SC");
}

}  // namespace

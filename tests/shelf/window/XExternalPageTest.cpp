// window.external of the main program as a page sees it: a local page in a
// real browser calls the members over the page bridge.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "core/Folders.h"
#include "core/StoryDB.h"
#include "platform/ProgramChannel.h"
#include "platform/ui/Browser.h"
#include "shelf/LoginTexts.h"
#include "shelf/XExternal.h"
#include "tests/core/DatabaseFixtures.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/TempTree.h"
#include "tests/support/standin/StandIn.h"
#include "tests/support/window/WindowTest.h"

namespace {

using Json = nlohmann::json;
using testing_support::StandInProgram;
using testing_support::TempTree;

AnsiString G(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

// Calls the members the way our pages and the vendor's pages do, and puts
// what it got into its title.
const char* kPage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>start</title><script>
function run() {
  var out = {};
  function attempt(name, f) { try { out[name] = f(); } catch (e) { out[name] = 'error: ' + e.message; } }
  attempt('login', function () { return external.LoginUC("O'Brien", 'key', 7, 'fd'); });
  attempt('shelf', function () { return [external.IsAddShelf('s1', 'a1'), external.IsAddShelf('s1', 'zz')]; });
  attempt('concern', function () { return external.IsConcern('s1', 'a1'); });
  attempt('info', function () { var info = external.ConcernInfo(); return [info.length, JSON.parse('[' + info[0] + ']')]; });
  attempt('lastRead', function () { return [external.IsRead('s1', 'a1'), external.LastReadInfo('s1', 'a1')]; });
  attempt('progress', function () { return external.Progress; });
  attempt('words', function () { return external.GetSearchWords(); });
  attempt('search', function () { return typeof external.Search('书名', 1); });
  attempt('badSearch', function () { return external.Search('书名', 'abc'); });
  attempt('read', function () { return typeof external.Browser('s1', 'a1', 'c2'); });
  document.title = 'done:' + JSON.stringify(out);
}
</script></head><body onload="run()">page</body></html>)HTML";

TEST(XExternalPage, LocalPageCallsTheMembers) {
    uitest::RequireUi();
    TempTree tree(TempTree::Profile::kXdg);
    SetAppFolder(tree.Make("app"));
    SetDataFolder(tree.Make("app"));
    const std::string folder = tree.Make("program");
    SetProgramFolder(folder);
    const StandInProgram reader(folder, "QuiraReader");
    const std::string database = tree.Path("app/idata.dll");
    dbtest::MakeStoryDatabase(database);
    SetStoryDB(std::make_unique<TStoryDB>(database));
    TSiteItemData site;
    site.SiteID = "s1";
    site.SiteName = G("站一");
    ASSERT_TRUE(StoryDB()->SaveSite("s1", site));
    ASSERT_TRUE(
        StoryDB()->AddArticle("s1", "a1", G("他说\"好\""), G("作者"), "", G("第二章"), "", 0, ""));
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("s1", "a1", true));
    ASSERT_TRUE(StoryDB()->SaveReadPosition("s1", "a1", "2024-01-01 10:00:00", G("第一章"), 0, 0));
    platform::ui::SetTrustedPageFolders({AppFolder()});

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 400, 300);
    auto browser = std::make_unique<platform::ui::Browser>();
    gtk_container_add(GTK_CONTAINER(window), browser->Widget());
    gtk_widget_show_all(window);
    const auto external = TXExternal::Create();
    external->SetBrowser(browser.get());
    std::vector<std::string> searches;
    external->OnSearch = [&](TXExternal* sender, const AnsiString& name, int type) {
        EXPECT_EQ(sender->GetBrowser(), browser.get());
        searches.push_back(platform::AnsiToUtf8(name) + " " + std::to_string(type));
    };
    external->OnGetSearchWords = [](TXExternal*, AnsiString& text) { text = G("关键词"); };
    browser->SetExternalProvider(external);

    tree.Write("app/BooK/x/List.HTML", kPage);
    browser->Navigate(tree.Path("app/BooK/x/List.HTML"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return browser->Title().rfind("done:", 0) == 0; }, 30000))
        << browser->Title();
    const Json out = Json::parse(browser->Title().substr(5));

    EXPECT_EQ(out["login"], 1);
    EXPECT_EQ(GetLoginTexts(), (TLoginTexts{"OBrien", "key", "7", "fd"}));
    EXPECT_EQ(out["shelf"], Json::array({1, 0}));
    // Taking a story onto the online shelf follows it.
    EXPECT_EQ(out["concern"], 1);
    EXPECT_EQ(out["info"][0], 1);
    EXPECT_EQ(out["info"][1][1], "a1");
    EXPECT_EQ(out["info"][1][3], "他说\"好\"");
    EXPECT_EQ(out["lastRead"], Json::array({1, "第一章"}));
    EXPECT_EQ(out["progress"], 0);
    EXPECT_EQ(out["words"], "关键词");
    EXPECT_EQ(out["search"], "undefined");
    EXPECT_EQ(out["badSearch"], "error: Type mismatch");
    EXPECT_EQ(out["read"], "undefined");

    // The page's search reached the main window's handler afterwards.
    ASSERT_TRUE(uitest::PumpUntil([&] { return !searches.empty(); }));
    EXPECT_EQ(searches, std::vector<std::string>{"书名 1"});
    // And the reader was started for the chapter.
    const auto starts = reader.WaitForLines("start ");
    ASSERT_EQ(starts.size(), 1u);
    const std::string pid = starts[0].substr(6, starts[0].find('\t') - 6);
    EXPECT_EQ(starts[0], "start " + pid + "\t-read");
    EXPECT_EQ(reader.WaitForLines("block ").at(0), "block " + pid + "\ts1\ta1\tc2\t0");
    ASSERT_EQ(reader.WaitForLines("ready ").size(), 1u);

    for (const auto& program : platform::ProgramChannel::Programs()) {
        if (program.className == kReaderWindowClass)
            platform::ProgramChannel::Post(program.socketPath, {platform::kWmClose, 0, 0});
    }
    EXPECT_EQ(reader.WaitForLines("closed ").size(), 1u);
    browser.reset();
    gtk_widget_destroy(window);
    platform::ui::SetTrustedPageFolders({});
    SetLoginTexts({});
    SetStoryDB(nullptr);
}

// A page of the vendor's service: only the members that search, navigate,
// read a flag or log in exist for it.
const char* kServicePage = R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>start</title><script>
function run() {
  var out = {};
  function attempt(name, f) { try { out[name] = f(); } catch (e) { out[name] = 'error: ' + e.message; } }
  var names = [];
  for (var name in window.external) names.push(name);
  out.members = names;
  attempt('shelf', function () { return external.IsAddShelf('s1', 'a1'); });
  attempt('login', function () { return external.LoginUC('u', 'k', 'i', 'f'); });
  attempt('add', function () { return external.AddShelf('s1', 'a1'); });
  attempt('forged', function () {
    var x = new XMLHttpRequest();
    x.open('POST', 'quira-ext://call/DeleteErrorBook', false);
    x.send(JSON.stringify({t: '', m: 'DeleteErrorBook', k: 'call', a: ['s1', 'a1']}));
    return x.status;
  });
  document.title = 'done:' + JSON.stringify(out);
}
</script></head><body onload="run()">vendor</body></html>)HTML";

TEST(XExternalPage, ServicePagesGetOnlyTheMembersThatSearchNavigateReadOrLogIn) {
    uitest::RequireUi();
    TempTree tree(TempTree::Profile::kXdg);
    const std::string database = tree.Path("idata.dll");
    dbtest::MakeStoryDatabase(database);
    SetStoryDB(std::make_unique<TStoryDB>(database));
    ASSERT_TRUE(StoryDB()->AddArticle("s1", "a1", "t", "w", "", "", "", 0, ""));
    ASSERT_TRUE(StoryDB()->SetInOnlineShelf("s1", "a1", true));
    testing_support::FakeHttpServer service;
    service.Serve("/velqonew/index.html", testing_support::HttpReply::Page(kServicePage));
    platform::ui::SetServicePageOrigin(service.BaseURL());

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    auto browser = std::make_unique<platform::ui::Browser>();
    gtk_container_add(GTK_CONTAINER(window), browser->Widget());
    gtk_widget_show_all(window);
    const auto external = TXExternal::Create();
    std::vector<std::string> added;
    external->OnAddShelf = [&](TXExternal*, const AnsiString& site, const AnsiString& story) {
        added.push_back(site + story);
    };
    browser->SetExternalProvider(external);
    browser->Navigate(service.URL("/velqonew/index.html"));
    ASSERT_TRUE(uitest::PumpUntil([&] { return browser->Title().rfind("done:", 0) == 0; }, 30000))
        << browser->Title();
    const Json out = Json::parse(browser->Title().substr(5));

    EXPECT_EQ(out["members"],
              Json::array({"Search", "SearchEx", "BrowseBClass", "SearchPage", "ConcernInfo",
                           "ConcernPage", "IsAddShelf", "IsConcern", "IsRead", "BackPrevious",
                           "GetSearchWords", "IsInLocalShelf", "LastReadInfo", "LoginUC",
                           "SynReadHistory"}));
    EXPECT_EQ(out["shelf"], 1);
    EXPECT_EQ(out["login"], 1);
    EXPECT_EQ(GetLoginTexts(), (TLoginTexts{"u", "k", "i", "f"}));
    EXPECT_EQ(out["add"].get<std::string>().rfind("error: ", 0), 0u);
    EXPECT_NE(out["forged"], 200);
    uitest::Settle();
    EXPECT_TRUE(added.empty());
    EXPECT_TRUE(StoryDB()->IsInOnlineShelf("s1", "a1"));

    browser.reset();
    gtk_widget_destroy(window);
    platform::ui::SetServicePageOrigin({});
    SetLoginTexts({});
    SetStoryDB(nullptr);
}

}  // namespace

// Serves two demo novel sites (one in GBK, one in UTF-8) and the vendor
// stand-in on 127.0.0.1, and writes the Site rows that read them into a story
// database, so that a newcomer can search, read, shelve and download at once.
//
//   demo-site --database <path of idata.dll> [--port-file <file>]
//
// The database is created when missing. The program serves until it gets
// SIGINT or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/StoryDB.h"
#include "platform/Charset.h"
#include "tests/support/FakeHttpServer.h"
#include "tests/support/FakeNovelSite.h"
#include "tests/support/VendorStandIn.h"

namespace {

using namespace testing_support;

struct DemoStory {
    const char* title;
    const char* author;
    int chapters;
    int volumes;
    int picturesEvery;
};

// A handful of stories per site: volumes, many chapters, covers, pictures.
constexpr DemoStory kGbkStories[] = {
    {"剑影江湖", "云中客", 120, 4, 37},
    {"青石镇旧事", "林晚", 45, 2, 0},
    {"孤城夜雨", "沈默", 300, 6, 0},
};
constexpr DemoStory kUtf8Stories[] = {
    {"剑影江湖", "云中客", 118, 3, 0},
    {"星河归途", "苏白", 80, 3, 25},
    {"山海录", "老树", 12, 1, 5},
};

// The reading-history account of the demo.
constexpr const char* kDemoUserID = "demo";
constexpr const char* kDemoLoginKey = "demo-login-key";
constexpr const char* kDemoFDID = "demo-fdid";

void usage() {
    std::fprintf(stderr, "usage: demo-site --database <idata.dll path> [--port-file <file>]\n");
}

// The story list of the start page: the package marker, hot stories that
// search the demo sites and one status message.
std::string StoryList() {
    std::string text =
        "[General]\r\nmarker=<b ID=\"{E4E4647D-5B7B-4DDB-9078-6658B701838B}\">\r\n[Story]\r\n";
    int n = 0;
    for (const auto& story : kUtf8Stories)
        text += "s" + std::to_string(++n) + "=<a StoryName=\"" + story.title + "\" SearchWords=\"" +
                story.title + "\">\r\n";
    text += "[windows]\r\nw1=<a Title=\"演示书站已启动\" URL=\"\" Color=\"0\">\r\n";
    return platform::Utf8ToAnsi(text);
}

bool WriteSites(const std::string& path, const std::vector<const FakeNovelSite*>& sites) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    // An empty file is an empty database: the check creates every table, and
    // imports no shipped sites.
    if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary);
    if (!TDBCreater().CheckDatabase(path, path + ".no-shipped-database")) return false;
    try {
        TStoryDB db(path);
        for (const FakeNovelSite* site : sites) {
            const FakeSiteRow row = site->Row();
            if (!db.SaveSite(row.SiteID, row.ToSiteItemData())) return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string database, portFile;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--database" && i + 1 < argc)
            database = argv[++i];
        else if (arg == "--port-file" && i + 1 < argc)
            portFile = argv[++i];
        else {
            usage();
            return 2;
        }
    }
    if (database.empty()) {
        usage();
        return 2;
    }

    // Wait for the end signal in sigwait, blocked in every thread the servers start.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    FakeHttpServer server;
    FakeSiteOptions gbkOptions;
    gbkOptions.siteID = "demogbk";
    gbkOptions.siteName = "演示书站（GBK）";
    gbkOptions.charset = SiteCharset::Gbk;
    gbkOptions.encoding = BodyEncoding::Gzip;
    FakeNovelSite gbk(server, gbkOptions);
    FakeSiteOptions utf8Options;
    utf8Options.siteID = "demoutf8";
    utf8Options.siteName = "演示书站（UTF-8）";
    utf8Options.charset = SiteCharset::Utf8;
    utf8Options.listOnStoryPage = true;
    FakeNovelSite utf8(server, utf8Options);
    // Each story's page, so that a newcomer can open one in a browser too.
    std::vector<std::string> storyLines;
    const auto add = [&](FakeNovelSite& site, const auto& stories) {
        for (const auto& s : stories) {
            const FakeStory story =
                site.AddStory(s.title, s.author, s.chapters, s.volumes, s.picturesEvery);
            storyLines.push_back("  " + story.title + " / " + story.author + "  " +
                                 server.BaseURL() + site.StoryPath(story.id));
        }
    };
    add(gbk, kGbkStories);
    add(utf8, kUtf8Stories);
    VendorStandIn vendor(server);
    vendor.SetStoryList(StoryList());
    // The account the reading-history sync of the demo talks to.
    vendor.AddSyncAccount(kDemoUserID, kDemoLoginKey, kDemoFDID);

    if (!WriteSites(database, {&gbk, &utf8})) {
        std::fprintf(stderr, "demo-site: cannot write the site rows into %s\n", database.c_str());
        return 1;
    }
    if (!portFile.empty()) std::ofstream(portFile) << server.Port() << "\n";

    std::printf("Demo novel sites:  %s%s  and  %s%s\n", server.BaseURL().c_str(),
                gbk.Prefix().c_str(), server.BaseURL().c_str(), utf8.Prefix().c_str());
    std::printf("Stories:\n");
    for (const auto& line : storyLines) std::printf("%s\n", line.c_str());
    std::printf("Vendor services:   QUIRA_SERVICE_URL=%s\n", vendor.BaseURL().c_str());
    std::printf("Sync account:      user id %s, login key %s, fdid %s\n", kDemoUserID,
                kDemoLoginKey, kDemoFDID);
    std::printf("Story database:    %s\n", database.c_str());
    std::printf("Stop with Ctrl+C.\n");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stop, &signal);
    server.Stop();
    return 0;
}

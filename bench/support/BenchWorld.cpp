#include "bench/support/BenchWorld.h"

#include "bench/support/ProgramBench.h"

#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "core/DBCreater.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "core/StoryExportHTML.h"
#include "core/TextHelpers.h"
#include "net/StoryDownLoad.h"
#include "platform/BuildConfig.h"
#include "platform/Charset.h"

namespace bench {

using namespace testing_support;

namespace {

AnsiString A(const std::string& utf8) {
    return platform::Utf8ToAnsi(utf8);
}

HttpReply Html(const std::string& title, const std::string& body) {
    return HttpReply::Page("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + title +
                               "</title></head><body>" + body + "</body></html>",
                           "text/html; charset=utf-8");
}

}  // namespace

BenchWorld::BenchWorld() : vendor_(server_) {
    // The program is up to date, and the vendor's pages the main window
    // shows answer.
    vendor_.SetUpdateDescription(
        "[General]\r\nVersion=" + std::string(platform::build::kVersionText) + "\r\n");
    vendor_.SetStoryList(
        A("[General]\r\nmarker=<b ID=\"{E4E4647D-5B7B-4DDB-9078-6658B701838B}\">"
          "\r\n[Story]\r\n"));
    server_.Serve("/velqonew/html/index2.html", Html("今日热门", "<h1>今日热门</h1>"));
    server_.Serve("/velqonew/news/search.php", Html("搜索", "<h1>搜索小说</h1>"));
    server_.Serve("/velqonew/news/booknull.php", Html("空", "<h1>这里还没有小说</h1>"));
}

BenchWorld::~BenchWorld() {
    CloseDatabase();
    server_.Stop();
}

FakeNovelSite& BenchWorld::AddSite(const std::string& siteID, const std::string& name) {
    FakeSiteOptions options;
    options.siteID = siteID;
    options.siteName = name;
    sites_.push_back(std::make_unique<FakeNovelSite>(server_, options));
    return *sites_.back();
}

void BenchWorld::PointProgramsHere() const {
    setenv("QUIRA_SERVICE_URL", vendor_.BaseURL().c_str(), 1);
    setenv("QUIRA_PROBE_ADDRESS", ("127.0.0.1:" + std::to_string(server_.Port())).c_str(), 1);
}

bool BenchWorld::WriteDatabase(
    const std::vector<std::pair<const FakeNovelSite*, const FakeStory*>>& stories) {
    SetProgramFolder(BuiltProgramFolder());
    InitFolders();
    const std::string path = AppFolder() + std::string(kDatabaseFileName);
    // An empty file is an empty database: the check makes every table and
    // takes no shipped sites.
    if (!std::filesystem::exists(path)) std::ofstream(path, std::ios::binary);
    if (!TDBCreater().CheckDatabase(path, path + ".none")) return false;
    SetStoryDB(std::make_unique<TStoryDB>(path));
    TStoryDB& db = *StoryDB();
    for (const auto& site : sites_) {
        const FakeSiteRow row = site->Row();
        if (!db.SaveSite(row.SiteID, row.ToSiteItemData())) return false;
    }
    for (const auto& [site, story] : stories) {
        const std::string& siteID = site->Options().siteID;
        const auto chapters = story->Chapters();
        if (!db.AddArticle(siteID, story->id, A(story->title), A(story->author), A(story->intro),
                           A(chapters.back()->name), A(story->category), 0, story->folder))
            return false;
        TStoryDB::ChapterBatch batch(db);
        int position = 0;
        for (const FakeVolume& volume : story->volumes)
            for (const FakeChapter& chapter : volume.chapters)
                db.AddChapter(siteID, story->id, chapter.id, A(volume.name), A(chapter.name), "",
                              position++);
        if (!batch.Commit()) return false;
    }
    return true;
}

bool BenchWorld::CacheStory(const std::string& siteID, const FakeStory& story) {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    int failed = -1;
    TStoryDownLoad download;
    download.OnComplete = [&](TStoryDownLoad*, int failures) {
        const std::lock_guard lock(mutex);
        failed = failures;
        done = true;
        ended.notify_all();
    };
    download.Start(siteID, story.id, 1, 0);
    std::unique_lock lock(mutex);
    if (!ended.wait_for(lock, std::chrono::minutes(5), [&] { return done; })) return false;
    if (failed != 0) return false;
    for (const FakeChapter* chapter : story.Chapters())
        if (!IsPublishedPage(ChapterCacheFile(siteID, story.id, chapter->id))) return false;
    return true;
}

void BenchWorld::CloseDatabase() {
    SetStoryDB(nullptr);
}

}  // namespace bench

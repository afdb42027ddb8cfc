#include "net/StoryReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "StoryNetFixture.h"
#include "core/SqliteDB.h"
#include "core/StoryExportHTML.h"
#include "net/DownLoader.h"

namespace fs = std::filesystem;
using namespace storynet;
using testing_support::BodyEncoding;
using testing_support::FakeNovelSite;
using testing_support::FakeStory;
using testing_support::Fault;
using testing_support::SiteCharset;
using testing_support::TempTree;

namespace {

struct Outcome {
    bool done = false;
    std::string path;
};

// A reader whose events land in an inbox.
struct Reader {
    Reader() {
        reader.OnDone = [this](TStoryReader*, const std::string& path) { inbox.Add({true, path}); };
        reader.OnFail = [this](TStoryReader*, const AnsiString&, const AnsiString&) {
            inbox.Add({false, ""});
        };
    }
    Outcome Wait() {
        EXPECT_TRUE(inbox.WaitFor(1)) << "no event";
        const auto items = inbox.Items();
        return items.empty() ? Outcome{} : items.front();
    }
    Inbox<Outcome> inbox;
    TStoryReader reader;
};

class StoryReaderTest : public StoryNetTest {};

TEST_F(StoryReaderTest, UpdateStoryStoresChaptersInPageOrderAndWritesListPagesAndCover) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("长风万里", "云游子", 12, 3);
    Reader r;
    r.reader.UpdateStory("gbk", story.id, 0);
    const Outcome outcome = r.Wait();
    ASSERT_TRUE(outcome.done);

    const std::string folder = Folder("gbk", story.id);
    EXPECT_EQ(outcome.path, folder + "List.HTML");
    EXPECT_TRUE(fs::exists(folder + "List.HTML"));
    EXPECT_TRUE(fs::exists(folder + "List2.HTML"));
    EXPECT_GT(fs::file_size(folder + "cover.jpg"), 0u);
    const std::string list = TempTree::Read(folder + "List.HTML");
    EXPECT_TRUE(platform::IsValidUtf8(list));
    EXPECT_NE(list.find("长风万里"), std::string::npos);

    const auto rows = Chapters("gbk", story.id);
    const auto expected = story.Chapters();
    ASSERT_EQ(rows.size(), expected.size());
    std::vector<std::string> volumes;
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].ChapterID, expected[i]->id);
        EXPECT_EQ(U(rows[i].ChapterName), expected[i]->name);
        if (volumes.empty() || volumes.back() != U(rows[i].SubVolumnsName))
            volumes.push_back(U(rows[i].SubVolumnsName));
    }
    ASSERT_EQ(volumes.size(), 3u);
    for (size_t v = 0; v < 3; ++v) EXPECT_EQ(volumes[v], story.volumes[v].name);

    AnsiString title, author;
    ASSERT_TRUE(StoryDB()->GetArticleTitle("gbk", story.id, title));
    EXPECT_EQ(U(title), "长风万里");
    EXPECT_EQ(U(r.reader.Title()), "长风万里");
    EXPECT_EQ(r.reader.CoverURL(), site.CoverURL(story.id));
    // Story page, chapter list, cover: once each.
    EXPECT_EQ(server_.RequestCount(site.StoryPath(story.id)), 1u);
    EXPECT_EQ(server_.RequestCount(site.ChapterListPath(story.id)), 1u);
    EXPECT_EQ(server_.RequestCount(site.CoverPath(story.id)), 1u);
}

TEST_F(StoryReaderTest, ListOnTheStoryPageIsReadWithOneDownload) {
    auto options = Options("utf", SiteCharset::Utf8);
    options.listOnStoryPage = true;
    options.encoding = BodyEncoding::Gzip;
    FakeNovelSite& site = AddSite(options);
    FakeStory story = site.AddStory("星河", "苏白", 5, 1);
    story.cover = false;
    site.UpdateStory(story);
    Reader r;
    r.reader.UpdateStory("utf", story.id, 0);
    ASSERT_TRUE(r.Wait().done);
    EXPECT_EQ(server_.Requests().size(), 1u);
    const auto rows = Chapters("utf", story.id);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(U(rows[4].ChapterName), story.Chapters()[4]->name);
}

TEST_F(StoryReaderTest, StoryWithoutChaptersIsStoredThenFails) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    FakeStory story = site.AddStory("空书", "无名", 1, 1);
    story.volumes.front().chapters.clear();
    site.UpdateStory(story);
    Reader r;
    r.reader.UpdateStory("gbk", story.id, 0);
    EXPECT_FALSE(r.Wait().done);
    EXPECT_TRUE(StoryDB()->ArticleExists("gbk", story.id));
    EXPECT_TRUE(Chapters("gbk", story.id).empty());
}

TEST_F(StoryReaderTest, StoryPageThatKeepsFailingEndsInFailAfterFourTries) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("断章", "某人", 3, 1);
    Fault fault;
    fault.status = 503;  // an error page is no story page
    server_.SetFault(site.StoryPath(story.id), fault);
    Reader r;
    r.reader.UpdateStory("gbk", story.id, 0);
    EXPECT_FALSE(r.Wait().done);
    EXPECT_EQ(server_.RequestCount(site.StoryPath(story.id)), 4u);
    EXPECT_FALSE(StoryDB()->ArticleExists("gbk", story.id));
}

// ReadChapter in its three modes, with and without pictures and failures.
TEST_F(StoryReaderTest, ReadChapterModes) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("图文", "画师", 4, 1, 2);  // chapters 2 and 4: pictures
    StoreStory("gbk", story);
    const auto chapters = story.Chapters();
    const std::string plain = chapters[0]->id;
    const std::string pictured = chapters[1]->id;
    const std::string broken = chapters[2]->id;
    ASSERT_EQ(chapters[1]->pictures.size(), 2u);
    Fault fault;
    fault.status = 404;
    server_.SetFault(site.ChapterPath(story.id, broken), fault);

    struct Case {
        int mode;
        std::string chapter;
        bool written;
        size_t requests;  // chapter page and pictures
    };
    const std::vector<Case> cases = {
        {0, plain, true, 1},
        {1, plain, true, 1},
        {2, plain, true, 1},
        {0, pictured, true, 3},
        {1, pictured, true, 3},
        {2, pictured, false, 1},
        // A failed chapter writes nothing in any mode, after four tries.
        {0, broken, false, 4},
        {1, broken, false, 4},
        {2, broken, false, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " chapter " + c.chapter);
        const std::string file = ChapterCacheFile("gbk", story.id, c.chapter);
        fs::remove(file);
        server_.ClearLog();
        Reader r;
        std::string url;
        r.reader.ReadChapter("gbk", story.id, url, c.mode, c.chapter);
        EXPECT_EQ(url, site.ChapterURL(story.id, c.chapter));
        const Outcome outcome = r.Wait();
        EXPECT_TRUE(outcome.done);
        EXPECT_EQ(fs::exists(file), c.written);
        EXPECT_EQ(outcome.path, c.written && c.mode != 2 ? file : "");
        EXPECT_EQ(server_.Requests().size(), c.requests);
        if (!c.written) continue;
        EXPECT_TRUE(IsPublishedPage(file));
        const std::string page = U(TempTree::Read(file));
        EXPECT_NE(page.find(story.FindChapter(c.chapter)->name), std::string::npos);
        EXPECT_EQ(page.find(FakeNovelSite::kAdvertLine), std::string::npos);
        if (c.chapter != pictured) continue;
        // Both pictures are stored and named by their local names.
        for (const auto& picture : chapters[1]->pictures) {
            const std::string pictureURL = site.PictureURL(story.id, picture);
            const std::string local = SaltedMD5(pictureURL);
            EXPECT_NE(page.find(local), std::string::npos);
            EXPECT_EQ(page.find(site.PicturePath(story.id, picture)), std::string::npos);
            EXPECT_EQ(TempTree::Read(Folder("gbk", story.id) + local),
                      FakeNovelSite::PictureBytes(site.PicturePath(story.id, picture)));
        }
    }
}

TEST_F(StoryReaderTest, FailedPictureKeepsItsRemoteAddress) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("图文", "画师", 1, 1, 1);
    StoreStory("gbk", story);
    const auto* chapter = story.Chapters()[0];
    Fault fault;
    fault.status = 500;
    server_.SetFault(site.PicturePath(story.id, chapter->pictures[0]), fault);
    Reader r;
    std::string url;
    r.reader.ReadChapter("gbk", story.id, url, 1, chapter->id);
    const Outcome outcome = r.Wait();
    ASSERT_FALSE(outcome.path.empty());
    const std::string page = TempTree::Read(outcome.path);
    EXPECT_NE(page.find(site.PicturePath(story.id, chapter->pictures[0])), std::string::npos);
    EXPECT_NE(page.find(SaltedMD5(site.PictureURL(story.id, chapter->pictures[1]))),
              std::string::npos);
    EXPECT_FALSE(fs::exists(Folder("gbk", story.id) +
                            SaltedMD5(site.PictureURL(story.id, chapter->pictures[0]))));
}

// The reading program gets a page for a chapter whose text the rules cannot
// find (a changed site, a busy page), but the page is not complete: the
// chapter is read again next time rather than staying empty for good.
TEST_F(StoryReaderTest, ChapterWithoutTextIsShownButNotPublished) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("空章", "某人", 1, 1);
    StoreStory("gbk", story);
    const auto* chapter = story.Chapters()[0];
    server_.Serve(site.ChapterPath(story.id, chapter->id),
                  testing_support::HttpReply::Page("<html><body>busy, try later</body></html>"));
    Reader r;
    std::string url;
    r.reader.ReadChapter("gbk", story.id, url, 0, chapter->id);
    const Outcome outcome = r.Wait();
    ASSERT_FALSE(outcome.path.empty());
    EXPECT_TRUE(fs::exists(outcome.path));
    EXPECT_FALSE(IsPublishedPage(outcome.path));
}

// Read again while the site gives a page without the chapter: the complete
// copy of an earlier reading stays and is what the reader is shown.
TEST_F(StoryReaderTest, AChapterReadAgainWithoutTextKeepsTheCompleteCopy) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("旧章", "某人", 1, 1);
    StoreStory("gbk", story);
    const auto* chapter = story.Chapters()[0];
    std::string url;
    {
        Reader first;
        first.reader.ReadChapter("gbk", story.id, url, 0, chapter->id);
        ASSERT_FALSE(first.Wait().path.empty());
    }
    const std::string cached = ChapterCacheFile("gbk", story.id, chapter->id);
    ASSERT_TRUE(IsPublishedPage(cached));
    const std::string before = TempTree::Read(cached);
    server_.Serve(site.ChapterPath(story.id, chapter->id),
                  testing_support::HttpReply::Page("<html><body>busy, try later</body></html>"));
    Reader again;
    again.reader.ReadChapter("gbk", story.id, url, 0, chapter->id);
    EXPECT_EQ(again.Wait().path, cached);
    EXPECT_EQ(TempTree::Read(cached), before);
}

TEST_F(StoryReaderTest, CancelStopsEveryEvent) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("慢站", "某人", 3, 1);
    Fault slow;
    slow.delay = 300ms;
    server_.SetFault(site.StoryPath(story.id), slow);
    Reader r;
    r.reader.UpdateStory("gbk", story.id, 0);
    ASSERT_TRUE(server_.WaitForRequests(1, 5s));
    r.reader.Cancel();
    EXPECT_TRUE(r.reader.Cancelled());
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(r.inbox.Size(), 0u);
}

// The reading program opens a cached chapter while another still downloads:
// the slow chapter never lands in the cached chapter's file, and no event of
// it follows.
TEST_F(StoryReaderTest, PrepareChapterAbandonsTheChapterStillDownloading) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("两章", "某人", 2, 1);
    StoreStory("gbk", story);
    const auto chapters = story.Chapters();
    const std::string cached = ChapterCacheFile("gbk", story.id, chapters[1]->id);
    fs::create_directories(fs::path(cached).parent_path());
    std::ofstream(cached, std::ios::binary) << "cached page <!--published:x-->";
    Fault slow;
    slow.delay = 200ms;
    server_.SetFault(site.ChapterPath(story.id, chapters[0]->id), slow);
    Reader r;
    std::string url;
    r.reader.ReadChapter("gbk", story.id, url, 0, chapters[0]->id);
    ASSERT_TRUE(server_.WaitForRequests(1, 5s));
    EXPECT_EQ(r.reader.PrepareChapter("gbk", story.id, chapters[1]->id),
              site.ChapterURL(story.id, chapters[1]->id));
    EXPECT_EQ(r.reader.ChapterID(), chapters[1]->id);
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(TWinHTTPThread::WaitUntilNoneRunning(5s));
    EXPECT_EQ(r.inbox.Size(), 0u);
    EXPECT_EQ(TempTree::Read(cached), "cached page <!--published:x-->");
    EXPECT_FALSE(fs::exists(ChapterCacheFile("gbk", story.id, chapters[0]->id)));
}

// The reading program asks a fresh reader for the address of a cached chapter.
TEST_F(StoryReaderTest, PrepareChapterOfAFreshReaderGivesTheWholeAddress) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("两章", "某人", 2, 1);
    StoreStory("gbk", story);
    TStoryReader reader;
    const auto id = story.Chapters()[1]->id;
    EXPECT_EQ(reader.PrepareChapter("gbk", story.id, id), site.ChapterURL(story.id, id));
    EXPECT_EQ(server_.Requests().size(), 0u);
}

// Error pages and flaky servers: the downloader's tries.
TEST_F(StoryReaderTest, DownloaderRetriesAtMostFourTimesAndNeverPassesAnErrorPage) {
    struct Case {
        const char* name;
        Fault fault;
        bool failed;
        size_t requests;
        uint64_t maxBody = TWinHTTPLib::kDefaultMaxBodyBytes;
    };
    Fault flaky;
    flaky.failFirst = 3;
    flaky.failStatus = 502;
    Fault reset;
    reset.failFirst = 4;  // resets without an answer, every try
    Fault notFound;
    notFound.status = 404;
    const std::vector<Case> cases = {
        {"third retry succeeds", flaky, false, 4},
        {"four resets fail", reset, true, 4},
        {"error page fails", notFound, true, 4},
        {"body over the limit fails", Fault{}, true, 4, 6},
        {"body at the limit", Fault{}, false, 1, 7},
    };
    server_.Serve("/file", testing_support::HttpReply::Page("content"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        server_.ClearFaults();
        server_.ClearLog();
        server_.SetFault("/file", c.fault);
        Inbox<std::pair<bool, std::string>> inbox;
        TDownLoader downloader;
        downloader.MaxBodyBytes = c.maxBody;
        downloader.OnResult = [&](TDownLoader*, const std::string&, bool failed,
                                  const AnsiString& text, const std::string* stream) {
            inbox.Add({failed, stream ? *stream : text});
        };
        downloader.Download(server_.URL("/file"));
        ASSERT_TRUE(inbox.WaitFor(1));
        const auto result = inbox.Items().front();
        EXPECT_EQ(result.first, c.failed);
        EXPECT_EQ(result.second, c.failed ? "Error" : "content");
        EXPECT_EQ(server_.RequestCount("/file"), c.requests);
        EXPECT_EQ(downloader.Tries(), static_cast<int>(c.requests));
    }
}

TEST_F(StoryReaderTest, CompressedPictureIsStoredAsThePicture) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("压缩", "某人", 1, 1, 1);
    StoreStory("gbk", story);
    const auto* chapter = story.Chapters()[0];
    // A server that compresses everything, pictures included.
    const std::string path = site.PicturePath(story.id, chapter->pictures[0]);
    const std::string bytes = FakeNovelSite::PictureBytes(path);
    auto reply = testing_support::HttpReply::Page(bytes, "image/png");
    reply.encoding = BodyEncoding::Gzip;
    server_.Serve(path, reply);
    Reader r;
    std::string url;
    r.reader.ReadChapter("gbk", story.id, url, 0, chapter->id);
    ASSERT_FALSE(r.Wait().path.empty());
    const std::string local = SaltedMD5(site.PictureURL(story.id, chapter->pictures[0]));
    EXPECT_EQ(TempTree::Read(Folder("gbk", story.id) + local), bytes);
}

// The chapter list cannot be stored (the other program holds the database
// past the busy time-out): the story is not read, rather than shown with a
// list that the database does not have.
TEST_F(StoryReaderTest, ChapterListThatCannotBeStoredFailsTheStory) {
    FakeNovelSite& site = AddSite(Options("gbk", SiteCharset::Gbk));
    const FakeStory story = site.AddStory("锁住的书", "某人", 4, 1);
    SetStoryDB(std::make_unique<TStoryDB>(dbPath_, 50));
    auto other = SqliteDB::Open(dbPath_, SqliteDB::Mode::ReadWrite, 50);
    ASSERT_TRUE(other);
    // The other program takes the file once the story itself is stored.
    server_.Route(site.ChapterListPath(story.id), [&](const testing_support::HttpRequestRecord&) {
        EXPECT_TRUE(other->Execute("BEGIN IMMEDIATE"));
        return testing_support::HttpReply::Page(site.ChapterListPage(story));
    });
    Reader r;
    r.reader.UpdateStory("gbk", story.id, 0);
    EXPECT_FALSE(r.Wait().done);
    ASSERT_TRUE(other->Execute("COMMIT"));
    EXPECT_TRUE(Chapters("gbk", story.id).empty());
}

}  // namespace

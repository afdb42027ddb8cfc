// Replacing the reading history with the rows a sync brought back: one
// transaction, stored stories keep their details, a failed write keeps the
// old history whole.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DatabaseFixtures.h"
#include "core/Folders.h"
#include "core/StoryDB.h"
#include "tests/support/TempTree.h"

namespace {

using dbtest::Exec;
using dbtest::One;

AnsiString A(std::string_view utf8) {
    return platform::Utf8ToAnsi(utf8);
}

class ReadHistoryReplaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetDataFolder(tree_.Path("data", true));
        path_ = tree_.Path("idata.dll");
        dbtest::MakeStoryDatabase(path_);
        db_ = std::make_unique<TStoryDB>(path_);
        raw_ = dbtest::Raw(path_);
        Exec(*raw_, "insert into Site(SiteID, SiteName) values('s1', 'one')");
        ASSERT_TRUE(db_->AddArticle("s1", "kept", A("旧书"), A("老作者"), A("简介"), "", A("武侠"),
                                    -1, "http://x/list"));
        ASSERT_TRUE(db_->SaveReadPosition("s1", "kept", "2020-01-01 00:00:00", "7", 5, 6));
        ASSERT_TRUE(db_->AddArticle("s1", "local", A("本地书"), "", "", "", "", -1, ""));
        ASSERT_TRUE(db_->SaveReadPosition("s1", "local", "2020-02-01 00:00:00", "3", 0, 0));
    }

    // (StoryID, ReadChapter, ReadTime) of every history row, by StoryID.
    std::vector<std::string> History() {
        std::vector<std::string> rows;
        const SqlRows all = dbtest::Rows(
            *raw_, "select StoryID, ReadChapter, ReadTime from LastReadHistory order by StoryID");
        for (const auto& row : all.rows) rows.push_back(*row[0] + "|" + *row[1] + "|" + *row[2]);
        return rows;
    }

    const std::vector<TReadHistorySyncData> server_ = {
        {"s1", "kept", A("新书名"), "42", "2024-05-01 10:00:00"},
        {"s1", "fresh", A("新来的"), "9", "2024-05-02 10:00:00"},
    };
    testing_support::TempTree tree_;
    std::string path_;
    std::unique_ptr<TStoryDB> db_;
    std::unique_ptr<SqliteDB> raw_;
};

TEST_F(ReadHistoryReplaceTest, ReplacingOrMergingWritesTheServerRows) {
    struct Case {
        bool replaceAll;
        std::vector<std::string> history;
    };
    const Case cases[] = {
        {true, {"fresh|9|2024-05-02 10:00:00", "kept|42|2024-05-01 10:00:00"}},
        {false,
         {"fresh|9|2024-05-02 10:00:00", "kept|42|2024-05-01 10:00:00",
          "local|3|2020-02-01 00:00:00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.replaceAll);
        Exec(*raw_, "delete from LastReadHistory where StoryID<>'kept' and StoryID<>'local'");
        Exec(*raw_, "delete from Article where ArticleID='fresh'");
        ASSERT_TRUE(db_->SaveReadPosition("s1", "local", "2020-02-01 00:00:00", "3", 0, 0));
        ASSERT_TRUE(db_->ReplaceReadHistory(server_, c.replaceAll));
        EXPECT_EQ(History(), c.history);
        // The stored story keeps everything it had; the new one gets its title.
        AnsiString title, author, intro;
        ASSERT_TRUE(db_->GetArticleInfo("s1", "kept", title, author, intro));
        EXPECT_EQ(title, A("旧书"));
        EXPECT_EQ(author, A("老作者"));
        EXPECT_EQ(intro, A("简介"));
        EXPECT_EQ(One(*raw_, "select ArticleVolumnURLFromHome from Article where ArticleID='kept'"),
                  "http://x/list");
        ASSERT_TRUE(db_->GetArticleTitle("s1", "fresh", title));
        EXPECT_EQ(title, A("新来的"));
        EXPECT_EQ(One(*raw_, "select HScrollBarPos from LastReadHistory where StoryID='kept'"),
                  "0");
    }
}

// A story named twice by the server ends as one row with its last chapter
// and time, and a new story keeps the title of its first row; a story that
// has two local rows (both programs added it at the same moment) has both
// brought up to date by a merge.
TEST_F(ReadHistoryReplaceTest, RepeatedStoriesEndAsTheirLastRow) {
    const std::vector<TReadHistorySyncData> server = {
        {"s1", "fresh", A("第一个名字"), "1", "2024-05-01 10:00:00"},
        {"s1", "kept", A("新书名"), "42", "2024-05-01 10:00:00"},
        {"s1", "fresh", A("第二个名字"), "2", "2024-05-03 10:00:00"},
    };
    for (const bool replaceAll : {true, false}) {
        SCOPED_TRACE(replaceAll);
        Exec(*raw_, "delete from LastReadHistory where StoryID<>'kept' and StoryID<>'local'");
        Exec(*raw_, "delete from Article where ArticleID='fresh'");
        ASSERT_TRUE(db_->SaveReadPosition("s1", "local", "2020-02-01 00:00:00", "3", 0, 0));
        Exec(*raw_,
             "insert into LastReadHistory(SiteID,StoryID,ReadTime,ReadChapter) "
             "values('s1','kept','2019-01-01 00:00:00',1)");
        ASSERT_TRUE(db_->ReplaceReadHistory(server, replaceAll));
        std::vector<std::string> expected = {"fresh|2|2024-05-03 10:00:00",
                                             "kept|42|2024-05-01 10:00:00"};
        if (!replaceAll) {
            expected.insert(expected.begin() + 1, "kept|42|2024-05-01 10:00:00");
            expected.push_back("local|3|2020-02-01 00:00:00");
        }
        EXPECT_EQ(History(), expected);
        AnsiString title;
        ASSERT_TRUE(db_->GetArticleTitle("s1", "fresh", title));
        EXPECT_EQ(title, A("第一个名字"));
        EXPECT_EQ(One(*raw_, "select count(*) from Article where ArticleID='fresh'"), "1");
    }
}

TEST_F(ReadHistoryReplaceTest, AFailedWriteKeepsTheOldHistory) {
    const std::vector<std::string> before = History();
    Exec(*raw_,
         "create trigger refuse before insert on LastReadHistory when NEW.StoryID='fresh' "
         "begin select raise(abort, 'refused'); end");
    EXPECT_FALSE(db_->ReplaceReadHistory(server_, true));
    EXPECT_EQ(History(), before);
    EXPECT_FALSE(db_->ArticleExists("s1", "fresh"));
    // The connection is usable afterwards: no transaction was left open.
    EXPECT_TRUE(db_->SaveReadPosition("s1", "local", "2021-01-01 00:00:00", "4", 0, 0));
    Exec(*raw_, "drop trigger refuse");
    EXPECT_TRUE(db_->ReplaceReadHistory({}, true));
    EXPECT_TRUE(History().empty());
}

}  // namespace

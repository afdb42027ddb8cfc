#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "core/SqliteDB.h"

namespace {

// Not a test of its own: the body of the second process that the database
// tests start (tests/core/DatabaseFixtures.h). Disabled, so it runs only when
// asked for by name.
TEST(LockHolder, DISABLED_HoldWriteLock) {
    const char* database = std::getenv("QUIRA_LOCK_DB");
    const char* ready = std::getenv("QUIRA_LOCK_READY");
    const char* holdMs = std::getenv("QUIRA_LOCK_MS");
    const char* mode = std::getenv("QUIRA_LOCK_MODE");
    if (!database || !ready || !holdMs || !mode) GTEST_SKIP() << "started without a database";

    auto db = SqliteDB::Open(database, SqliteDB::Mode::ReadWrite, 5000);
    ASSERT_TRUE(db);
    if (std::string(mode) == "die") {
        ASSERT_TRUE(db->Execute("PRAGMA cache_size=1"));
        ASSERT_TRUE(db->Execute("BEGIN"));
        ASSERT_TRUE(db->Execute("update HTMLParam set ParamValue='changed'"));
        for (int i = 0; i < 300; ++i) {
            ASSERT_TRUE(
                db->Execute("insert into Chapter(ID,SiteID,ArticleID,ChapterID,ChapterContent) "
                            "values(:ID,'s','a',:ID,:Text)",
                            {{":ID", int64_t{i}}, {":Text", std::string(200, 'x')}}));
        }
        std::_Exit(0);  // no commit, no rollback, no close
    }
    ASSERT_TRUE(
        db->Execute(std::string(mode) == "exclusive" ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE"));
    ASSERT_TRUE(db->Execute("REPLACE INTO HTMLParam(ParamName,ParamValue) VALUES('Holder','1')"));
    std::ofstream(ready) << "locked";
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(holdMs)));
    ASSERT_TRUE(db->Execute("COMMIT"));
}

}  // namespace

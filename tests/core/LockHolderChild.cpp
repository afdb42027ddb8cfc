// The second process of the database tests (tests/core/DatabaseFixtures.h):
// the test program started again with the mode "lock-holder", answered here
// before the test framework starts.

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/SqliteDB.h"
#include "tests/support/ChildProcess.h"

namespace {

// Fields: "lock-holder", database, hold time in ms, mode.
int HoldLock(const std::vector<std::string>& f) {
    if (f.size() != 4) return 3;
    const std::string& mode = f[3];
    auto db = SqliteDB::Open(f[1], SqliteDB::Mode::ReadWrite, 5000);
    if (!db) return 4;
    if (mode == "die") {
        // A transaction large enough to spill into the file, then an end
        // without commit, rollback or close: a hot journal stays behind.
        if (!db->Execute("PRAGMA cache_size=1") || !db->Execute("BEGIN") ||
            !db->Execute("update HTMLParam set ParamValue='changed'"))
            return 5;
        for (int i = 0; i < 300; ++i) {
            if (!db->Execute("insert into Chapter(ID,SiteID,ArticleID,ChapterID,ChapterContent) "
                             "values(:ID,'s','a',:ID,:Text)",
                             {{":ID", int64_t{i}}, {":Text", std::string(200, 'x')}}))
                return 6;
        }
        // Never closed: closing would roll the transaction back.
        static_cast<void>(db.release());
        return 0;
    }
    if (!db->Execute(mode == "exclusive" ? "BEGIN EXCLUSIVE" : "BEGIN IMMEDIATE") ||
        !db->Execute("REPLACE INTO HTMLParam(ParamName,ParamValue) VALUES('Holder','1')"))
        return 7;
    testing_support::TellParent("locked");
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(f[2].c_str())));
    return db->Execute("COMMIT") ? 0 : 8;
}

[[maybe_unused]] const bool kChild = testing_support::RunAsChildIfAsked(
    [](const std::vector<std::string>& f) { return f[0] == "lock-holder" ? HoldLock(f) : -1; });

}  // namespace

#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/DBCreater.h"
#include "core/SqliteDB.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempTree.h"

namespace dbtest {

// A connection of the test's own, to look at or prepare a file directly.
inline std::unique_ptr<SqliteDB> Raw(const std::string& path) {
    auto db = SqliteDB::Open(path, SqliteDB::Mode::ReadWriteCreate, 5000);
    if (!db) throw std::runtime_error("cannot open " + path);
    return db;
}

inline SqlRows Rows(SqliteDB& db, const std::string& sql) {
    SqlRows rows;
    EXPECT_TRUE(db.Query(sql, {}, rows)) << sql << ": " << db.ErrorMessage();
    return rows;
}

inline std::string One(SqliteDB& db, const std::string& sql) {
    const SqlRows rows = Rows(db, sql);
    return rows.rows.empty() || rows.rows[0].empty() || !rows.rows[0][0] ? "" : *rows.rows[0][0];
}

inline void Exec(SqliteDB& db, const std::string& sql) {
    ASSERT_TRUE(db.Execute(sql)) << sql << ": " << db.ErrorMessage();
}

// A new user database with all six tables and the default shelf folder.
inline void MakeStoryDatabase(const std::string& path) {
    Raw(path);  // the empty file
    TDBCreater creater;
    ASSERT_TRUE(creater.CheckDatabase(path, path + ".no-shipped-database"));
}

// Another process on a database file (tests/core/LockHolderChild.cpp).
// Reserved: takes the write lock as a writer does (readers may go on), says
// so, holds it for holdMs and then commits. Exclusive: the same with a lock
// that keeps readers out too, as a writer does while it commits. Die: writes
// in a transaction large enough to spill into the file and ends without
// commit or rollback, leaving a hot journal.
class LockHolder {
  public:
    enum class Mode { Reserved, Exclusive, Die };

    LockHolder(const std::string& database, int holdMs, Mode mode = Mode::Reserved)
        : child_({"lock-holder", database, std::to_string(holdMs),
                  mode == Mode::Reserved    ? "reserved"
                  : mode == Mode::Exclusive ? "exclusive"
                                            : "die"}) {}
    ~LockHolder() { Wait(); }

    // True once the child holds the lock (bounded wait).
    bool WaitUntilLocked() { return child_.ReadLine(20000) == "locked"; }
    // The child's exit status (0 when it held and committed).
    int Wait() { return child_.Wait(); }

  private:
    testing_support::ChildProcess child_;
};

}  // namespace dbtest

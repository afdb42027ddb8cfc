#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/DBCreater.h"
#include "core/SqliteDB.h"
#include "tests/support/TempTree.h"

extern char** environ;

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

inline const char* kLockHolderTest = "LockHolder.DISABLED_HoldWriteLock";

// Another process on a database file. Reserved: takes the write lock as a
// writer does (readers may go on), says so by creating readyFile, holds it for
// holdMs and then commits. Exclusive: the same with a lock that keeps readers
// out too, as a writer does while it commits. Die: writes
// in a transaction large enough to spill into the file and ends without commit
// or rollback, leaving a hot journal. The child is this test program itself
// running only the disabled holder test.
class LockHolder {
  public:
    enum class Mode { Reserved, Exclusive, Die };

    LockHolder(const std::string& database, int holdMs, const std::string& readyFile,
               Mode mode = Mode::Reserved)
        : ready_(readyFile) {
        const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
        std::vector<std::string> args = {self, std::string("--gtest_filter=") + kLockHolderTest,
                                         "--gtest_also_run_disabled_tests"};
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        env.push_back("QUIRA_LOCK_DB=" + database);
        env.push_back("QUIRA_LOCK_READY=" + readyFile);
        env.push_back("QUIRA_LOCK_MS=" + std::to_string(holdMs));
        env.push_back(std::string("QUIRA_LOCK_MODE=") + (mode == Mode::Reserved    ? "reserved"
                                                         : mode == Mode::Exclusive ? "exclusive"
                                                                                   : "die"));
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        // The child's test report would only clutter this test's output;
        // its failures still show on stderr and in its exit status.
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const int rc =
            posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (rc != 0) throw std::runtime_error("cannot start the lock holder");
    }
    ~LockHolder() { Wait(); }

    // True once the child holds the lock (bounded wait).
    bool WaitUntilLocked() {
        for (int i = 0; i < 2000; ++i) {
            if (std::filesystem::exists(ready_)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // The child's exit status (0 when it held and committed).
    int Wait() {
        if (pid_ <= 0) return status_;
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

  private:
    std::string ready_;
    pid_t pid_ = -1;
    int status_ = -1;
};

}  // namespace dbtest

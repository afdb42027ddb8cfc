#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A thin owner of one SQLite connection and its statements, used inside the
// database layer only. Texts here are UTF-8; the conversion from and to the
// ANSI texts of the program is made by the callers. Nothing raises: failures
// are results.

struct sqlite3;
struct sqlite3_stmt;

// Bytes bound as a blob, so that SQLite's column affinity leaves them alone.
struct SqlBlob {
    std::string bytes;
};

// One named parameter (":SiteID"). A parameter the statement does not name is
// skipped; one that is named but given no value stays NULL.
struct SqlParam {
    std::string name;
    std::variant<std::string, int64_t, SqlBlob> value;
};

// The rows of a query, copied out before the statement was finalized.
struct SqlRows {
    std::vector<std::string> columns;
    // NULL columns are nullopt.
    std::vector<std::vector<std::optional<std::string>>> rows;

    // The index of a column by name, ignoring case; a result column spelled
    // with a table alias ("a.SiteID") also answers to its plain name.
    std::optional<size_t> Find(std::string_view name) const;
    // The column's text in row r (UTF-8); empty for NULL or a missing column.
    std::string Text(size_t r, std::string_view name) const;
};

struct SqliteCloser {
    void operator()(sqlite3* db) const;
    void operator()(sqlite3_stmt* stmt) const;
};

class SqliteStatement {
  public:
    bool Bind(const std::vector<SqlParam>& params);
    // One step: SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    bool Reset();
    // Steps through every row and copies it.
    bool ReadAll(SqlRows& rows);

  private:
    friend class SqliteDB;
    explicit SqliteStatement(std::unique_ptr<sqlite3_stmt, SqliteCloser> stmt)
        : stmt_(std::move(stmt)) {}
    std::unique_ptr<sqlite3_stmt, SqliteCloser> stmt_;
};

class SqliteDB {
  public:
    enum class Mode { ReadWriteCreate, ReadWrite, ReadOnly };

    // Null when the file cannot be opened. Every connection waits up to
    // busyTimeoutMs for a lock that another connection holds.
    static std::unique_ptr<SqliteDB> Open(const std::string& path, Mode mode, int busyTimeoutMs);
    SqliteDB(const SqliteDB&) = delete;
    SqliteDB& operator=(const SqliteDB&) = delete;

    // A statement of the caller's own.
    std::optional<SqliteStatement> Prepare(std::string_view sql);
    // Bind, one step that must end with SQLITE_DONE. The statement is prepared
    // once and kept for the life of the connection, reset after each use so
    // that it holds no lock on the file.
    bool Execute(std::string_view sql, const std::vector<SqlParam>& params = {});
    // Bind, copy every row; the statement is kept as for Execute.
    bool Query(std::string_view sql, const std::vector<SqlParam>& params, SqlRows& rows);

    // Rows changed by the last statement.
    int Changes() const;
    // True while a transaction is open on this connection.
    bool InTransaction() const;
    std::string ErrorMessage() const;

    // Only Open() can make the key.
    class Key {
        friend class SqliteDB;
        Key() = default;
    };
    SqliteDB(Key, std::unique_ptr<sqlite3, SqliteCloser> db) : db_(std::move(db)) {}

  private:
    // The kept statement of that text, prepared on first use; null when it
    // does not prepare. Called with mutex_ held.
    sqlite3_stmt* Kept(std::string_view sql);

    std::unique_ptr<sqlite3, SqliteCloser> db_;
    // Guards the kept statements: one of them serves one call at a time.
    std::mutex mutex_;
    std::vector<std::pair<std::string, std::unique_ptr<sqlite3_stmt, SqliteCloser>>> kept_;
};

#include "core/SqliteDB.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view AfterAlias(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

}  // namespace

std::optional<size_t> SqlRows::Find(std::string_view name) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (EqualNoCase(columns[i], name)) return i;
    }
    const std::string_view plain = AfterAlias(name);
    for (size_t i = 0; i < columns.size(); ++i) {
        if (EqualNoCase(AfterAlias(columns[i]), plain)) return i;
    }
    return std::nullopt;
}

std::string SqlRows::Text(size_t r, std::string_view name) const {
    const auto column = Find(name);
    if (!column || r >= rows.size() || !rows[r][*column]) return {};
    return *rows[r][*column];
}

void SqliteCloser::operator()(sqlite3* db) const {
    sqlite3_close_v2(db);
}
void SqliteCloser::operator()(sqlite3_stmt* stmt) const {
    sqlite3_finalize(stmt);
}

namespace {

// Binds by name; the values stay the caller's until the statement is reset.
bool BindParams(sqlite3_stmt* stmt, const std::vector<SqlParam>& params) {
    for (const SqlParam& param : params) {
        const int index = sqlite3_bind_parameter_index(stmt, param.name.c_str());
        if (index == 0) continue;
        int rc = SQLITE_OK;
        if (const auto* text = std::get_if<std::string>(&param.value)) {
            rc = sqlite3_bind_text(stmt, index, text->data(), static_cast<int>(text->size()),
                                   SQLITE_STATIC);
        } else if (const auto* number = std::get_if<int64_t>(&param.value)) {
            rc = sqlite3_bind_int64(stmt, index, *number);
        } else if (const auto* blob = std::get_if<SqlBlob>(&param.value)) {
            // A zero-length blob would bind as NULL through a null pointer.
            rc = sqlite3_bind_blob(stmt, index, blob->bytes.empty() ? "" : blob->bytes.data(),
                                   static_cast<int>(blob->bytes.size()), SQLITE_STATIC);
        }
        if (rc != SQLITE_OK) return false;
    }
    return true;
}

bool ReadRows(sqlite3_stmt* stmt, SqlRows& rows) {
    rows = {};
    const int count = sqlite3_column_count(stmt);
    for (int i = 0; i < count; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        rows.columns.emplace_back(name ? name : "");
    }
    for (;;) {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW) {
            rows.rows.clear();
            return false;
        }
        auto& row = rows.rows.emplace_back(count);
        for (int i = 0; i < count; ++i) {
            if (sqlite3_column_type(stmt, i) == SQLITE_NULL) continue;
            // Text first, then the byte count: the conversion may move the bytes.
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
            const int size = sqlite3_column_bytes(stmt, i);
            row[i] = text ? std::string(text, size) : std::string();
        }
    }
}

// Ends a use of a kept statement: it lets go of its lock on the file and of
// the caller's values.
void Release(sqlite3_stmt* stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
}

// Statements kept per connection; past this many the oldest go.
constexpr size_t kMaxKept = 96;

}  // namespace

bool SqliteStatement::Bind(const std::vector<SqlParam>& params) {
    // This statement outlives the caller's values: SQLite takes copies.
    for (const SqlParam& param : params) {
        const int index = sqlite3_bind_parameter_index(stmt_.get(), param.name.c_str());
        if (index == 0) continue;
        int rc = SQLITE_OK;
        if (const auto* text = std::get_if<std::string>(&param.value)) {
            rc = sqlite3_bind_text(stmt_.get(), index, text->data(), static_cast<int>(text->size()),
                                   SQLITE_TRANSIENT);
        } else if (const auto* number = std::get_if<int64_t>(&param.value)) {
            rc = sqlite3_bind_int64(stmt_.get(), index, *number);
        } else if (const auto* blob = std::get_if<SqlBlob>(&param.value)) {
            rc =
                sqlite3_bind_blob(stmt_.get(), index, blob->bytes.empty() ? "" : blob->bytes.data(),
                                  static_cast<int>(blob->bytes.size()), SQLITE_TRANSIENT);
        }
        if (rc != SQLITE_OK) return false;
    }
    return true;
}

int SqliteStatement::Step() {
    return sqlite3_step(stmt_.get());
}

bool SqliteStatement::Reset() {
    return sqlite3_reset(stmt_.get()) == SQLITE_OK &&
           sqlite3_clear_bindings(stmt_.get()) == SQLITE_OK;
}

bool SqliteStatement::ReadAll(SqlRows& rows) {
    return ReadRows(stmt_.get(), rows);
}

std::unique_ptr<SqliteDB> SqliteDB::Open(const std::string& path, Mode mode, int busyTimeoutMs) {
    int flags = SQLITE_OPEN_FULLMUTEX;
    switch (mode) {
        case Mode::ReadWriteCreate:
            flags |= SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
            break;
        case Mode::ReadWrite:
            flags |= SQLITE_OPEN_READWRITE;
            break;
        case Mode::ReadOnly:
            flags |= SQLITE_OPEN_READONLY;
            break;
    }
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    // A failed open still hands back a handle that must be closed.
    std::unique_ptr<sqlite3, SqliteCloser> db(raw);
    if (rc != SQLITE_OK || !db) return nullptr;
    sqlite3_busy_timeout(db.get(), busyTimeoutMs);
    return std::make_unique<SqliteDB>(Key{}, std::move(db));
}

std::optional<SqliteStatement> SqliteDB::Prepare(std::string_view sql) {
    sqlite3_stmt* raw = nullptr;
    const int rc =
        sqlite3_prepare_v2(db_.get(), sql.data(), static_cast<int>(sql.size()), &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, SqliteCloser> stmt(raw);
    if (rc != SQLITE_OK || !stmt) return std::nullopt;
    return SqliteStatement(std::move(stmt));
}

sqlite3_stmt* SqliteDB::Kept(std::string_view sql) {
    for (auto it = kept_.begin(); it != kept_.end(); ++it) {
        if (it->first != sql) continue;
        // The most used stay in front.
        if (it != kept_.begin()) std::iter_swap(it, std::prev(it));
        return (it != kept_.begin() ? std::prev(it) : it)->second.get();
    }
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(db_.get(), sql.data(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    std::unique_ptr<sqlite3_stmt, SqliteCloser> stmt(raw);
    if (rc != SQLITE_OK || !stmt) return nullptr;
    if (kept_.size() >= kMaxKept) kept_.pop_back();
    kept_.emplace_back(std::string(sql), std::move(stmt));
    return kept_.back().second.get();
}

bool SqliteDB::Execute(std::string_view sql, const std::vector<SqlParam>& params) {
    const std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = Kept(sql);
    if (!stmt) return false;
    const bool ok = BindParams(stmt, params) && sqlite3_step(stmt) == SQLITE_DONE;
    Release(stmt);
    return ok;
}

bool SqliteDB::Query(std::string_view sql, const std::vector<SqlParam>& params, SqlRows& rows) {
    rows = {};
    const std::lock_guard lock(mutex_);
    sqlite3_stmt* stmt = Kept(sql);
    if (!stmt) return false;
    const bool ok = BindParams(stmt, params) && ReadRows(stmt, rows);
    Release(stmt);
    return ok;
}

int SqliteDB::Changes() const {
    return sqlite3_changes(db_.get());
}

bool SqliteDB::InTransaction() const {
    return sqlite3_get_autocommit(db_.get()) == 0;
}

std::string SqliteDB::ErrorMessage() const {
    const char* message = sqlite3_errmsg(db_.get());
    return message ? message : "";
}

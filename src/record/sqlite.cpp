#include "sqlite.h"

#include "core/system_error.h"

namespace trelvan::sql {

Database::~Database() { Close(); }

Database& Database::operator=(Database&& other) noexcept {
  if (this != &other) {
    Close();
    db_ = other.db_;
    openError_ = std::move(other.openError_);
    other.db_ = nullptr;
  }
  return *this;
}

int Database::Open(const std::filesystem::path& file, int flags) {
  Close();
  const int rc = sqlite3_open_v2(file.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    // A handle is returned even on failure; it only carries the reason.
    openError_ = GermanErrorText();
    Close();
    return rc;
  }
  openError_.clear();
  sqlite3_extended_result_codes(db_, 1);
  return SQLITE_OK;
}

void Database::Close() {
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

int Database::Exec(std::string_view sql) {
  if (!db_) return SQLITE_MISUSE;
  return sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, nullptr);
}

std::optional<std::int64_t> Database::Integer(std::string_view sql) {
  Statement s(*this, sql);
  if (!s.valid() || s.Step() != SQLITE_ROW) return std::nullopt;
  return s.Int(0);
}

std::string Database::ErrorText() const { return db_ ? sqlite3_errmsg(db_) : "keine Datenbank"; }

int Database::ErrorCode() const { return db_ ? sqlite3_extended_errcode(db_) : SQLITE_CANTOPEN; }

std::string Database::GermanErrorText() const {
  if (!db_ && !openError_.empty()) return openError_;
  const int code = ErrorCode() & 0xFF;
  if (code == SQLITE_FULL) return "Datenträger voll";
  if (code == SQLITE_READONLY) return "Datenträger schreibgeschützt";
  if (db_ && (code == SQLITE_IOERR || code == SQLITE_CANTOPEN)) {
    if (const int e = sqlite3_system_errno(db_); e != 0) return SystemErrorText(e);
  }
  switch (code) {
    case SQLITE_IOERR: return "Ein-/Ausgabefehler";
    case SQLITE_CANTOPEN: return "Datei kann nicht geöffnet werden";
    case SQLITE_PERM: return "keine Berechtigung";
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return "Datenbank von einem anderen Programm gesperrt";
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: return "Datenbank beschädigt";
    default: return "SQLite-Fehler " + std::to_string(ErrorCode()) + " (" + ErrorText() + ")";
  }
}

Statement::Statement(const Database& db, std::string_view sql) {
  if (db.handle())
    sqlite3_prepare_v3(db.handle(), sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                       &stmt_, nullptr);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    sqlite3_finalize(stmt_);
    stmt_ = other.stmt_;
    other.stmt_ = nullptr;
  }
  return *this;
}

void Statement::Bind(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
void Statement::Bind(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
void Statement::Bind(int index, std::string_view text) {
  sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}
void Statement::Bind(int index, const std::optional<double>& value) {
  if (value) Bind(index, *value);
  else BindNull(index);
}
void Statement::BindNull(int index) { sqlite3_bind_null(stmt_, index); }

int Statement::Step() { return stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE; }

int Statement::Run() {
  int rc = Step();
  while (rc == SQLITE_ROW) rc = Step();
  Reset();
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

void Statement::Reset() {
  if (!stmt_) return;
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
std::int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }
double Statement::Real(int column) const { return sqlite3_column_double(stmt_, column); }
std::optional<double> Statement::OptionalReal(int column) const {
  if (IsNull(column)) return std::nullopt;
  return Real(column);
}
std::string_view Statement::Text(int column) const {
  const auto* text = sqlite3_column_text(stmt_, column);
  if (!text) return {};
  return {reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, column))};
}

bool IsWriteTrouble(int code) {
  switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_READONLY:
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return true;
    default:
      return false;
  }
}

} // namespace trelvan::sql

#pragma once
// A thin layer over SQLite's C API: an owned connection and an owned prepared
// statement. Errors are SQLite result codes; nothing throws.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace trelvan::sql {

class Statement;

class Database {
 public:
  Database() = default;
  ~Database();
  Database(Database&& other) noexcept : db_(other.db_), openError_(std::move(other.openError_)) {
    other.db_ = nullptr;
  }
  Database& operator=(Database&& other) noexcept;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // flags: SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE or SQLITE_OPEN_READONLY.
  int Open(const std::filesystem::path& file, int flags);
  void Close();
  bool isOpen() const { return db_ != nullptr; }
  sqlite3* handle() const { return db_; }

  // Runs one or more statements without results.
  int Exec(std::string_view sql);
  // The single integer a query gives (PRAGMA user_version, count(*)).
  std::optional<std::int64_t> Integer(std::string_view sql);
  std::string ErrorText() const;
  // The extended code of the last failure: SQLITE_FULL, SQLITE_IOERR_WRITE, …
  int ErrorCode() const;
  // The last failure in German for the operator: the system's error (errno)
  // where there was one ("Datenträger voll"), else SQLite's kind of failure.
  std::string GermanErrorText() const;

 private:
  sqlite3* db_ = nullptr;
  std::string openError_; // why the last Open failed
};

class Statement {
 public:
  Statement() = default;
  Statement(const Database& db, std::string_view sql);
  ~Statement();
  Statement(Statement&& other) noexcept : stmt_(other.stmt_) { other.stmt_ = nullptr; }
  Statement& operator=(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool valid() const { return stmt_ != nullptr; }

  // Parameters count from 1, as in SQLite.
  void Bind(int index, std::int64_t value);
  void Bind(int index, int value) { Bind(index, static_cast<std::int64_t>(value)); }
  void Bind(int index, double value);
  void Bind(int index, std::string_view text);
  void Bind(int index, const std::optional<double>& value);
  void BindNull(int index);

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();
  // Runs a statement without results to its end and resets it for the next use.
  int Run();
  void Reset();

  // Columns count from 0.
  bool IsNull(int column) const;
  std::int64_t Int(int column) const;
  double Real(int column) const;
  std::optional<double> OptionalReal(int column) const;
  std::string_view Text(int column) const;

 private:
  sqlite3_stmt* stmt_ = nullptr;
};

// true for the failures that mean "cannot write here now": disk or quota full,
// a read-only file or file system, an I/O error, a file that cannot be
// opened. Recording pauses on these and tries again later.
bool IsWriteTrouble(int code);

} // namespace trelvan::sql

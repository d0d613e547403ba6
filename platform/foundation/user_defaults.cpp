#include "platform/foundation/user_defaults.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "platform/device/device_folder.h"
#include "platform/os/files.h"

namespace brisklane {
namespace {

std::atomic<testing::StoreFault> injectedFault{testing::StoreFault::none};

bool faultInjected(testing::StoreFault fault) {
  return injectedFault.load(std::memory_order_relaxed) == fault;
}

constexpr int busyTimeoutMilliseconds = 5000;
constexpr int setUpAttempts = 20;

// Durability as the phone's shared store gives it: a committed write is in
// the operating system's file cache, so it survives any crash of either
// process, but nothing is flushed to the disk per write. In WAL mode,
// `synchronous=NORMAL` commits without a flush; the log is flushed and folded
// back into the database only when it has grown to `foldLogAfterFrames` pages
// (one `set` of a summary writes one), which bounds both the log and the work
// of the next opener, who reads the log through to rebuild its index. A power
// loss can thus lose the writes since the last fold, never the store itself.
//
// The store would otherwise fold the log, with two flushes, whenever its last
// connection closes, and every operation here is the last connection as
// often as not; so closing never folds.
constexpr int foldLogAfterFrames = 32;

constexpr const char* setUpStore =
    "PRAGMA journal_mode=WAL;"
    "CREATE TABLE IF NOT EXISTS defaults(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL)"
    " WITHOUT ROWID;";
constexpr const char* selectValue = "SELECT value FROM defaults WHERE key = ?1";
constexpr const char* upsertValue =
    "INSERT INTO defaults(key, value) VALUES(?1, ?2)"
    " ON CONFLICT(key) DO UPDATE SET value = excluded.value";

bool isLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

sqlite3* openFile(const std::filesystem::path& file) {
  sqlite3* connection = nullptr;
  int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
  if (sqlite3_open_v2(file.c_str(), &connection, flags, nullptr) != SQLITE_OK) {
    sqlite3_close(connection);
    return nullptr;
  }
  return connection;
}

// SQLite opens a file only to read when it cannot open it to write. That is
// also what happens when the file does not exist yet and another connection
// creates it between SQLite's two tries: the connection would then refuse
// every write. Opening again settles it; a file that really is write-protected
// opens to read only again.
sqlite3* openConnection(const std::filesystem::path& file) {
  sqlite3* connection = openFile(file);
  if (connection != nullptr && sqlite3_db_readonly(connection, "main") == 1) {
    sqlite3_close(connection);
    connection = openFile(file);
  }
  return connection;
}

// SQLite would create the file with the process's umask; the store is private
// to the device's owner, so it is created 0600 first.
bool createStoreFile(const std::filesystem::path& file) {
  return makeFolders(file.parent_path()) && openPrivateFile(file);
}

sqlite3_stmt* prepare(sqlite3* connection, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(connection, sql, -1, &statement, nullptr) != SQLITE_OK) {
    sqlite3_finalize(statement);
    return nullptr;
  }
  return statement;
}

bool hasNoTables(sqlite3* connection) {
  sqlite3_stmt* count = prepare(connection, "SELECT count(*) FROM sqlite_schema");
  bool empty =
      count != nullptr && sqlite3_step(count) == SQLITE_ROW && sqlite3_column_int64(count, 0) == 0;
  sqlite3_finalize(count);
  return empty;
}

// Runs after each commit with the number of pages in the log. Folding waits
// for no one: while a reader holds a snapshot the fold gives up at once, and
// a later commit tries again.
int foldLongLog(void*, sqlite3* connection, const char*, int frames) {
  if (frames >= foldLogAfterFrames) {
    sqlite3_busy_timeout(connection, 0);
    sqlite3_wal_checkpoint_v2(connection, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(connection, busyTimeoutMilliseconds);
  }
  return SQLITE_OK;
}

// SQLite writes its database file in whole pages, and reads a page that the
// file ends inside of as if the rest were zeros, which it cannot always tell
// from a page of its own: a write would then build on those zeros and report
// success. A file that is not a whole number of pages was cut short, so it is
// no store. (One cut at a page's end SQLite finds itself, from its header.)
bool isCutShort(sqlite3* connection) {
  sqlite3_file* file = nullptr;
  sqlite3_int64 size = 0;
  if (sqlite3_file_control(connection, "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
      file == nullptr || file->pMethods == nullptr ||
      file->pMethods->xFileSize(file, &size) != SQLITE_OK) {
    return true;
  }
  sqlite3_stmt* pageSize = prepare(connection, "PRAGMA page_size");
  const sqlite3_int64 page = pageSize != nullptr && sqlite3_step(pageSize) == SQLITE_ROW
                                 ? sqlite3_column_int64(pageSize, 0)
                                 : 0;
  sqlite3_finalize(pageSize);
  return page <= 0 || size % page != 0;
}

void setDurability(sqlite3* connection) {
  sqlite3_exec(connection, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  sqlite3_db_config(connection, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_wal_hook(connection, foldLongLog, nullptr);
}

bool bindText(sqlite3_stmt* statement, int index, std::string_view text) {
  return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_STATIC,
                             SQLITE_UTF8) == SQLITE_OK;
}

}  // namespace

bool isAppGroupIdentifier(std::string_view identifier) {
  constexpr std::string_view prefix = "group.";
  if (!identifier.starts_with(prefix)) return false;
  std::string_view name = identifier.substr(prefix.size());
  int labels = 0;
  while (true) {
    size_t end = name.find('.');
    std::string_view label = name.substr(0, end);
    if (label.empty() || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      if (!isLabelCharacter(c)) return false;
    }
    ++labels;
    if (end == std::string_view::npos) break;
    name.remove_prefix(end + 1);
  }
  return labels >= 2;
}

std::filesystem::path userDefaultsFile(std::string_view identifier) {
  return appGroupContainer(identifier) / "defaults.sqlite";
}

std::optional<UserDefaults> UserDefaults::open(std::string_view suiteName) {
  if (faultInjected(testing::StoreFault::open) || !isAppGroupIdentifier(suiteName)) {
    return std::nullopt;
  }
  std::filesystem::path file = userDefaultsFile(suiteName);
  sqlite3* connection = openConnection(file);
  if (connection == nullptr) {
    if (!createStoreFile(file)) return std::nullopt;
    connection = openConnection(file);
    if (connection == nullptr) return std::nullopt;
  }
  sqlite3_busy_timeout(connection, busyTimeoutMilliseconds);
  setDurability(connection);
  sqlite3_stmt* select = prepare(connection, selectValue);
  // Only a database without any table is set up: a new file, or one that
  // another connection is setting up right now (setting up is idempotent).
  // Anything else — not a database, corrupt, another program's — is left
  // exactly as it was found. Connections setting up the same new file at
  // once can lose the race in ways that are not failures: the table appears
  // between the failed prepare and the look at the tables, or SQLite answers
  // "locked" without waiting (it will not wait where waiting could deadlock)
  // or "read-only" while another connection switches the file to WAL. These
  // are tried again after a short pause, a bounded number of times.
  for (int attempt = 0; select == nullptr && attempt < setUpAttempts; ++attempt) {
    int error = sqlite3_errcode(connection);
    bool lostRace = error == SQLITE_BUSY || error == SQLITE_READONLY;
    if (error != SQLITE_ERROR && !lostRace) break;
    if (lostRace) std::this_thread::sleep_for(std::chrono::milliseconds(attempt + 1));
    if (hasNoTables(connection) &&
        sqlite3_exec(connection, setUpStore, nullptr, nullptr, nullptr) != SQLITE_OK) {
      continue;
    }
    select = prepare(connection, selectValue);
    if (select == nullptr && error == SQLITE_ERROR && sqlite3_errcode(connection) == SQLITE_ERROR) {
      break;  // a database of tables that are not a store's: not ours to touch
    }
  }
  if (select == nullptr || isCutShort(connection)) {
    sqlite3_finalize(select);
    sqlite3_close(connection);
    return std::nullopt;
  }
  return UserDefaults(connection, select);
}

std::optional<std::string> UserDefaults::string(std::string_view forKey) const {
  if (faultInjected(testing::StoreFault::read)) return std::nullopt;
  std::optional<std::string> value;
  if (bindText(select_, 1, forKey) && sqlite3_step(select_) == SQLITE_ROW) {
    const auto* text = static_cast<const char*>(sqlite3_column_blob(select_, 0));
    auto size = static_cast<size_t>(sqlite3_column_bytes(select_, 0));
    value.emplace(text != nullptr ? text : "", size);
  }
  sqlite3_reset(select_);
  sqlite3_clear_bindings(select_);
  return value;
}

bool UserDefaults::set(std::string_view value, std::string_view forKey) {
  if (faultInjected(testing::StoreFault::write)) return false;
  sqlite3_stmt* upsert = prepare(connection_, upsertValue);
  bool committed = upsert != nullptr && bindText(upsert, 1, forKey) && bindText(upsert, 2, value) &&
                   sqlite3_step(upsert) == SQLITE_DONE;
  sqlite3_finalize(upsert);
  return committed;
}

UserDefaults::UserDefaults(UserDefaults&& other) noexcept
    : connection_(std::exchange(other.connection_, nullptr)),
      select_(std::exchange(other.select_, nullptr)) {}

UserDefaults& UserDefaults::operator=(UserDefaults&& other) noexcept {
  if (this != &other) {
    close();
    connection_ = std::exchange(other.connection_, nullptr);
    select_ = std::exchange(other.select_, nullptr);
  }
  return *this;
}

UserDefaults::~UserDefaults() {
  close();
}

void UserDefaults::close() {
  sqlite3_finalize(select_);
  sqlite3_close(connection_);
  select_ = nullptr;
  connection_ = nullptr;
}

namespace testing {

StoreFaultInjection::StoreFaultInjection(StoreFault fault) {
  injectedFault.store(fault, std::memory_order_relaxed);
}

StoreFaultInjection::~StoreFaultInjection() {
  injectedFault.store(StoreFault::none, std::memory_order_relaxed);
}

}  // namespace testing
}  // namespace brisklane

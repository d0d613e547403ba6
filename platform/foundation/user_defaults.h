// The App Group key-value store: the stand-in for Foundation's
// `UserDefaults(suiteName:)` with `string(forKey:)` and `set(_:forKey:)`.
//
// Each App Group is one SQLite database in WAL mode inside its container
// folder under the device root (`BRISKLANE_HOME`). A `UserDefaults` value owns
// one connection: an operation opens the store, works and lets the value go,
// so no handle outlives the operation. Opening never deletes, truncates or
// repairs anything; a file that is not a store stays as it is and opening it
// gives nothing. A committed write survives a crash of any process at once;
// it reaches the disk itself later, with others, never one flush a write.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace brisklane {

class UserDefaults {
 public:
  // `UserDefaults(suiteName:)`: nothing when `suiteName` is not an App Group
  // identifier or the store cannot be opened.
  [[nodiscard]] static std::optional<UserDefaults> open(std::string_view suiteName);

  // The text stored under `key`, or nothing when there is none or it cannot be
  // read.
  [[nodiscard]] std::optional<std::string> string(std::string_view forKey) const;

  // Stores `value` under `key`, replacing what was there. Answers whether the
  // value was committed; the system itself never looks at the answer.
  bool set(std::string_view value, std::string_view forKey);

  UserDefaults(UserDefaults&& other) noexcept;
  UserDefaults& operator=(UserDefaults&& other) noexcept;
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;
  ~UserDefaults();

 private:
  UserDefaults(sqlite3* connection, sqlite3_stmt* select)
      : connection_(connection), select_(select) {}
  void close();

  sqlite3* connection_;
  sqlite3_stmt* select_;  // prepared at open: preparing it is what proves the file is a store
};

// "group." followed by a reverse-domain name of at least two labels of ASCII
// letters, digits and hyphens.
[[nodiscard]] bool isAppGroupIdentifier(std::string_view identifier);

// The App Group's store file, in its container under the device root.
[[nodiscard]] std::filesystem::path userDefaultsFile(std::string_view identifier);

namespace testing {

// The one seam through which tests make the store fail: while a
// `StoreFaultInjection` lives, every operation of the named kind fails in the
// whole process as the real failure would.
enum class StoreFault { none, open, read, write };

class StoreFaultInjection {
 public:
  explicit StoreFaultInjection(StoreFault fault);
  ~StoreFaultInjection();
  StoreFaultInjection(const StoreFaultInjection&) = delete;
  StoreFaultInjection& operator=(const StoreFaultInjection&) = delete;
};

}  // namespace testing
}  // namespace brisklane

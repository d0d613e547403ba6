#include "platform/foundation/user_defaults.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "platform/device/device_folder.h"
#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

using testing::TemporaryDevice;

constexpr std::string_view group = "group.test.brisklane";

mode_t modeOf(const std::filesystem::path& path) {
  struct stat status {};
  EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 0777;
}

// That a store keeps any text exactly, the empty one too, the plug-in's
// tests check through it.
TEST(UserDefaults, FreshDeviceGetsAPrivateStoreWithCaseSensitiveKeys) {
  TemporaryDevice device;
  ASSERT_TRUE(UserDefaults::open(group)->set("first", "today"));
  EXPECT_FALSE(UserDefaults::open(group)->string("Today").has_value());

  auto file = userDefaultsFile(group);
  EXPECT_EQ(file.parent_path().parent_path().parent_path(), device.root());
  EXPECT_EQ(modeOf(file), 0600u);
  EXPECT_EQ(modeOf(file.parent_path()), 0700u);
  EXPECT_EQ(modeOf(file.parent_path().parent_path()), 0700u);
}

TEST(UserDefaults, GivesNothingForANonAppGroupIdentifier) {
  TemporaryDevice device;
  for (const char* bad :
       {"", "group.", "group.brisklane", "com.brisklane.app", "group..a.b", "group.a/b.c",
        "group.../x", "group.a.b.", "group.-a.b", "group.a b.c", "Group.a.b"}) {
    EXPECT_FALSE(isAppGroupIdentifier(bad)) << bad;
    EXPECT_FALSE(UserDefaults::open(bad).has_value()) << bad;
  }
  EXPECT_TRUE(isAppGroupIdentifier("group.a-1.B2"));
  EXPECT_FALSE(std::filesystem::exists(device.root() / "AppGroup"));
}

// Garbage, a cut header, a database of another shape: none is opened,
// changed, or given a log beside it.
TEST(UserDefaults, LeavesAFileThatIsNotAStoreUntouched) {
  TemporaryDevice device;
  auto file = userDefaultsFile(group);
  ASSERT_TRUE(makeFolders(file.parent_path()));
  sqlite3* connection = nullptr;
  sqlite3_open((device.root() / "other").c_str(), &connection);
  sqlite3_exec(connection, "CREATE TABLE defaults(name TEXT); INSERT INTO defaults VALUES('x');",
               nullptr, nullptr, nullptr);
  sqlite3_close(connection);
  for (const std::string& bytes :
       {std::string("this is not a database, and it must stay exactly like this\n"),
        std::string(4096, '\x5a'), std::string("SQLite format 3\0junk", 20),
        *testing::readFile(device.root() / "other")}) {
    std::ofstream(file, std::ios::binary) << bytes;
    EXPECT_FALSE(UserDefaults::open(group).has_value());
    EXPECT_EQ(testing::readFile(file), bytes);
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-journal"));
  }
}

std::uintmax_t sizeOf(const std::filesystem::path& path) {
  std::error_code missing;
  std::uintmax_t size = std::filesystem::file_size(path, missing);
  return missing ? 0 : size;
}

// Writes are not flushed one by one, so the log keeps them; it must still stay
// short, since every opener reads it through, and reading must never fold it
// into the database, which would write.
TEST(UserDefaults, KeepsTheLogShortAndNeverWritesTheDatabaseOnARead) {
  TemporaryDevice device;
  const auto file = userDefaultsFile(group);
  const auto log = std::filesystem::path(file.string() + "-wal");
  std::uintmax_t longestLog = 0;
  for (int write = 0; write < 500; ++write) {
    ASSERT_TRUE(UserDefaults::open(group)->set(std::string(300, char('a' + write % 26)), "today"));
    longestLog = std::max(longestLog, sizeOf(log));
  }
  EXPECT_GT(sizeOf(log), 0u) << "in WAL mode each write leaves the log, folded only now and then";
  EXPECT_LE(longestLog, std::uintmax_t{64} * 4200) << "the log is folded before it grows long";

  const auto database = testing::readFile(file);
  const auto logged = testing::readFile(log);
  for (int read = 0; read < 50; ++read) {
    EXPECT_EQ(UserDefaults::open(group)->string("today"), std::string(300, char('a' + 499 % 26)));
  }
  EXPECT_EQ(testing::readFile(file), database);
  EXPECT_EQ(testing::readFile(log), logged);
}

TEST(DeviceRoot, FollowsTheEnvironment) {
  TemporaryDevice device;
  EXPECT_EQ(deviceRoot(), device.root());
  ::unsetenv("BRISKLANE_HOME");
  ::setenv("XDG_DATA_HOME", "/data", 1);
  EXPECT_EQ(deviceRoot(), std::filesystem::path("/data/brisklane"));
  ::unsetenv("XDG_DATA_HOME");
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(deviceRoot(), std::filesystem::path("/home/someone/.local/share/brisklane"));
}

}  // namespace
}  // namespace brisklane

#include "platform/foundation/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

TEST(AtomicFile, ReplacesTheFileWithAPrivateOneAndAFailedWriteLeavesTheOldOne) {
  testing::TemporaryDevice device;
  const auto file = device.root() / "manifest.json";
  ASSERT_TRUE(writeFileAtomically(file, "first"));
  ASSERT_TRUE(writeFileAtomically(file, "second, longer"));
  EXPECT_EQ(testing::readFile(file), "second, longer");
  struct stat status {};
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);

  EXPECT_FALSE(writeFileAtomically(device.root() / "missing" / "file", "bytes"));
  std::filesystem::create_directory(device.root() / "taken");
  EXPECT_FALSE(writeFileAtomically(device.root() / "taken", "new")) << "a folder is not replaced";
  EXPECT_EQ(testing::readFile(file), "second, longer");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(device.root()), {}), 2)
      << "nothing is left beside them";
}

TEST(AtomicFile, AReaderNeverSeesPartOfAFile) {
  testing::TemporaryDevice device;
  const auto file = device.root() / "picture.png";
  const std::string first(256 * 1024, 'a');
  const std::string second(300 * 1024, 'b');
  ASSERT_TRUE(writeFileAtomically(file, first));
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (int round = 0; round < 200; ++round) {
      ASSERT_TRUE(writeFileAtomically(file, round % 2 ? first : second));
    }
    writing = false;
  });
  int reads = 0;
  while (writing) {
    const auto seen = testing::readFile(file);
    ASSERT_TRUE(seen);
    ASSERT_TRUE(*seen == first || *seen == second) << "a read of " << seen->size() << " bytes";
    ++reads;
  }
  writer.join();
  EXPECT_GT(reads, 0);
}

}  // namespace
}  // namespace brisklane

#include "platform/os/files.h"

#include <gtest/gtest.h>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

// That the file is private, the launch record's test checks, and that a
// reader only ever finds whole files, the widget host's kill test.
TEST(AtomicFile, ReplacesTheFileAndAFailedWriteLeavesTheOldOne) {
  testing::TemporaryDevice device;
  const auto file = device.root() / "manifest.json";
  ASSERT_TRUE(writeFileAtomically(file, "first"));
  ASSERT_TRUE(writeFileAtomically(file, "second, longer"));
  EXPECT_EQ(testing::readFile(file), "second, longer");

  EXPECT_EQ(writeFileAtomically(device.root() / "missing" / "file", "bytes").reason().message,
            "cannot write " + (device.root() / "missing" / "file").string() +
                ": No such file or directory");
  std::filesystem::create_directory(device.root() / "taken");
  EXPECT_FALSE(writeFileAtomically(device.root() / "taken", "new")) << "a folder is not replaced";
  EXPECT_EQ(testing::readFile(file), "second, longer");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(device.root()), {}), 2)
      << "nothing is left beside them";
}

}  // namespace
}  // namespace brisklane

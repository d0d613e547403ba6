#include "platform/capacitor/capacitor_configuration.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "tests/support/temporary_device.h"

namespace brisklane {
namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, std::string_view content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

struct Decoded {
  CapacitorConfiguration configuration;
  std::vector<std::string> warnings;
};

Decoded decode(std::string_view json) {
  Decoded decoded;
  decoded.configuration = decodeCapacitorConfiguration(
      json, [&](std::string_view line) { decoded.warnings.emplace_back(line); });
  return decoded;
}

TEST(CapacitorConfiguration, ReadsNameIdentifierAndServerURLAndWarnsOfWhatItCannotUse) {
  auto full = decode(R"({"appId":"app.brisklane","appName":"Brisklane","webDir":"www",
                         "server":{"url":"http://localhost:5173","cleartext":true},"plugins":{}})");
  EXPECT_EQ(full.configuration, (CapacitorConfiguration{.appId = "app.brisklane",
                                                        .appName = "Brisklane",
                                                        .serverURL = "http://localhost:5173",
                                                        .file = {}}));
  EXPECT_TRUE(full.warnings.empty());

  const std::pair<std::string_view, std::string_view> cases[] = {
      {"", "it is not a JSON object; it is ignored"},
      {R"({"appId":"a",)", "it is not a JSON object; it is ignored"},
      {"[]", "it is not a JSON object; it is ignored"},
      {R"({"appId":7,"appName":"B"})", "appId is not a string; it is ignored"},
      {R"({"appName":"B","server":"http://localhost:5173"})",
       "server is not an object; it is ignored"},
      {R"({"appName":"B","server":{"url":null}})", "server.url is not a string; it is ignored"},
  };
  for (const auto& [json, warning] : cases) {
    auto decoded = decode(json);
    EXPECT_EQ(decoded.warnings, std::vector<std::string>{std::string(warning)}) << json;
    EXPECT_EQ(decoded.configuration.serverURL, "") << json;
    EXPECT_EQ(decoded.configuration.appId, "") << json;
  }
  EXPECT_EQ(decode(R"({"appId":7,"appName":"B"})").configuration.appName, "B")
      << "one wrong value leaves the others";
}

TEST(CapacitorConfiguration, IsFoundFromTheWebFolderUpAndNamesWhereItWasRead) {
  testing::TemporaryDevice device;
  const fs::path project = device.root() / "project";
  const fs::path web = project / "dist" / "www";
  fs::create_directories(web);
  std::vector<std::string> warnings;
  auto warn = [&](std::string_view line) { warnings.emplace_back(line); };
  EXPECT_EQ(readCapacitorConfiguration(web, warn), CapacitorConfiguration{});

  writeFile(project / "capacitor.config.json", R"({"appName":"Outer"})");
  EXPECT_EQ(readCapacitorConfiguration(web, warn).appName, "Outer");
  writeFile(project / "dist" / "capacitor.config.json", R"({"appName":"Inner"})");
  auto nearest = readCapacitorConfiguration(web, warn);
  EXPECT_EQ(nearest.appName, "Inner");
  EXPECT_EQ(nearest.file, project / "dist" / "capacitor.config.json");
  EXPECT_TRUE(warnings.empty());

  writeFile(project / "dist" / "capacitor.config.json", R"({"server":{"url":5173}})");
  EXPECT_EQ(readCapacitorConfiguration(web, warn).serverURL, "");
  EXPECT_EQ(warnings,
            std::vector<std::string>{(project / "dist" / "capacitor.config.json").string() +
                                     ": server.url is not a string; it is ignored"});
  fs::remove(project / "dist" / "capacitor.config.json");
  fs::create_directory(project / "dist" / "capacitor.config.json");
  EXPECT_EQ(findCapacitorConfiguration(web), project / "capacitor.config.json")
      << "a folder of that name is no configuration";
}

}  // namespace
}  // namespace brisklane

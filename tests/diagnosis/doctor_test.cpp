// The doctor: the store's findings for each state a device can be in, read
// without changing anything, and the command as a developer runs it beside a
// widget host and an App.
#include "diagnosis/doctor.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/device/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "tests/support/dead_host_socket.h"
#include "tests/support/subprocess.h"
#include "tests/support/temporary_device.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;
using testing::TemporaryDevice;

constexpr std::string_view validSummary =
    R"({"tier":"urgent","count":4,"items":[{"title":"Call the florist"},{"title":"Pay"}]})";
constexpr std::int64_t loadedAt = 1'796'000'000;
const Date threeMinutesLater{
    std::chrono::system_clock::time_point(std::chrono::seconds(loadedAt + 180))};

void writeFile(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void publish(std::string_view today,
             std::optional<std::string> diag = "loaded @" + std::to_string(loadedAt)) {
  auto store = UserDefaults::open(appGroupIdentifier);
  ASSERT_TRUE(store);
  if (diag) {
    ASSERT_TRUE(store->set(*diag, diagKey));
  }
  ASSERT_TRUE(store->set(today, todayKey));
}

// Every file below `root` with its bytes, and every folder. The log's index
// (`-shm`) is shared memory, not content, and an empty log is what any
// reader of the store opens beside it; both are left out.
std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  if (!fs::exists(root)) return tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string path = entry.path().string();
    if (path.ends_with("-shm") || (path.ends_with("-wal") && fs::file_size(entry.path()) == 0)) {
      continue;
    }
    tree[path] = entry.is_regular_file() ? testing::readFile(entry.path()).value_or("?") : "/";
  }
  return tree;
}

const std::string storeFile = "ROOT/AppGroup/group.app.brisklane.shared/defaults.sqlite";

// "root (uid 0)": how the doctor names the user running the test.
std::string me() {
  const passwd* entry = ::getpwuid(::geteuid());
  return (entry ? std::string(entry->pw_name) + " " : std::string()) + "(uid " +
         std::to_string(::geteuid()) + ")";
}

// Each verdict's wording once; the causes of a store file that is not one
// (garbage, cut within its pages, a folder, a file for the App Group folder)
// are checked through every program in tests/app/fault_test.cpp.
TEST(DoctorStore, ExplainsEachStateOfTheStoreWithoutChangingIt) {
  const auto store = [] { return userDefaultsFile(appGroupIdentifier); };
  const auto makeContainer = [] {
    ASSERT_TRUE(makeFolders(appGroupContainer(appGroupIdentifier)));
  };
  const auto execute = [&](const char* statement) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(sqlite3_open(store().c_str(), &connection), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(connection, statement, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(connection);
  };
  const std::string noSummary =
      "problem absent: no summary has been published; the widget shows “App can't share data”";
  const struct Case {
    std::string name;
    std::function<void(const fs::path& root)> arrange;
    // By subject; subjects left out are not checked. The diagnosis is healthy
    // exactly when none of those listed is a problem.
    std::map<std::string, std::string> expected;
  } cases[] = {
      {"fresh device",
       [](const fs::path&) {},
       {{"App Group", "ok group.app.brisklane.shared is an App Group identifier"},
        {"container",
         "warning ROOT/AppGroup/group.app.brisklane.shared does not exist yet: App or the widget "
         "makes it when it first opens the store"},
        {"store",
         "warning " + storeFile + " does not exist yet: App makes it when its plug-in loads"},
        {"diag", "problem absent: App has never loaded its plug-in against this store"},
        {"today", noSummary}}},
      {"a valid summary",
       [](const fs::path&) { publish(validSummary); },
       {{"device folder", "ok ROOT: owner " + me() + ", mode 0700"},
        {"store file", "ok " + storeFile + ": owner " + me() + ", mode 0600"},
        {"diag", "ok \"loaded @1796000000\", written 3 min ago when App last loaded its plug-in"},
        {"today", "ok decodes: count 4, 2 items, tier \"urgent\" (URGENT)"}}},
      {"a summary that breaks a rule",
       [](const fs::path&) { publish(R"({"count":2.5,"items":[]})"); },
       {{"today",
         "problem count: 2.5 is not a whole number; the widget shows “Linked ✓ — reopen app”"}}},
      {"a summary but no stamp",
       [](const fs::path&) { publish(validSummary, std::nullopt); },
       {{"diag", "warning absent: App has never loaded its plug-in against this store"}}},
      {"a store cut short within its header",
       [&](const fs::path&) {
         publish(validSummary);
         // The log folded in and removed, as SQLite leaves a store it closed cleanly.
         execute("PRAGMA wal_checkpoint(TRUNCATE)");
         fs::remove(store().string() + "-wal");
         fs::remove(store().string() + "-shm");
         fs::resize_file(store(), 60);
       },
       {{"store",
         "problem the file is 60 bytes, shorter than a database's 100-byte header: it was cut "
         "short"}}},
      {"an empty store file",
       [&](const fs::path&) {
         makeContainer();
         writeFile(store(), "");
       },
       {{"store", "warning the file is empty: the store is set up in it at its next opening"},
        {"today", noSummary}}},
      {"a database of another program",
       [&](const fs::path&) {
         makeContainer();
         execute("CREATE TABLE defaults(name TEXT)");
       },
       {{"store",
         "problem a database, but not a store: no such column: value; the store leaves it as it "
         "is, so App cannot publish"}}},
      {"a store others may read",
       [&](const fs::path&) {
         publish(validSummary);
         fs::permissions(store(), fs::perms(0644));
       },
       {{"store file", "warning " + storeFile + ": owner " + me() +
                           ", mode 0644: others may use it; the store makes it 0600"}}},
      // Permission bits stop nothing for root, so files stand where folders must be.
      {"a file as the device folder",
       [](const fs::path& root) {
         writeFile(root / "file", "a file");
         ::setenv("BRISKLANE_HOME", (root / "file").c_str(), 1);
       },
       {{"device folder",
         "problem ROOT/file is a file, not a folder: the store cannot be made in it"},
        {"today",
         "problem the store cannot be opened, so the widget shows “No App Group (widget)”"}}},
      {"a device folder below a file",
       [](const fs::path& root) {
         writeFile(root / "file", "a file");
         ::setenv("BRISKLANE_HOME", (root / "file" / "below").c_str(), 1);
       },
       {{"device folder",
         "problem ROOT/file/below cannot be a folder: ROOT/file is a file, not a folder"}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    TemporaryDevice device;
    test.arrange(device.root());
    const auto before = snapshot(device.root());
    const Diagnosis diagnosis = diagnoseStore(threeMinutesLater);
    const bool problemListed = std::ranges::any_of(
        test.expected, [](const auto& finding) { return finding.second.starts_with("problem "); });
    EXPECT_EQ(diagnosis.healthy(), !problemListed) << diagnosis.verdict();
    std::map<std::string, std::string> found;  // "verdict message", the root written as ROOT
    for (const Finding& finding : diagnosis.findings) {
      std::string message = finding.message;
      for (std::size_t at; (at = message.find(device.root().string())) != std::string::npos;) {
        message.replace(at, device.root().string().size(), "ROOT");
      }
      found[finding.subject] = std::string(name(finding.verdict)) + " " + message;
    }
    for (const auto& [subject, expected] : test.expected) EXPECT_EQ(found[subject], expected);
    EXPECT_TRUE(snapshot(device.root()) == before) << "the doctor changed the device's files";
  }
}

class DoctorCommand : public ::testing::Test {
 protected:
  struct Run {
    int exitCode;
    std::vector<std::string> lines;
  };
  Run doctor(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), "doctor");
    auto process = start("BrisklaneWidgetExtension", arguments);
    auto lines = process->readAllLines();
    return {process->wait(), lines};
  }
  std::unique_ptr<testing::Process> start(std::string_view program,
                                          const std::vector<std::string>& arguments) {
    return std::make_unique<testing::Process>(
        testing::builtProgram(program), arguments,
        device.root() / ("stderr-" + std::to_string(++started)));
  }
  // The line of `run` that starts with `verdict` and `subject` as printed.
  static std::string lineAbout(const Run& run, std::string_view start) {
    for (const std::string& line : run.lines) {
      if (line.starts_with(start)) return line;
    }
    return "(none starting with " + std::string(start) + ")";
  }
  // Whether the device's run/`name` appears within ten seconds.
  [[nodiscard]] bool appears(std::string_view name) const {
    for (int attempt = 0; attempt < 500; ++attempt) {
      if (fs::exists(device.root() / "run" / name)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  TemporaryDevice device;
  int started = 0;
};

TEST_F(DoctorCommand, ExitsZeroWhenTheWidgetCanShowTheSummaryAndTellsAnotherAppGroup) {
  publish(validSummary);
  Run text = doctor();
  EXPECT_EQ(text.exitCode, 0);
  ASSERT_FALSE(text.lines.empty());
  EXPECT_EQ(text.lines.back(), "healthy: the Today widget can show the published summary");
  EXPECT_EQ(lineAbout(text, "ok       App Group      App ("),
            "ok       App Group      App (" + testing::builtProgram("App").string() +
                ") belongs to it too");

  Run json = doctor({"--json"});
  std::string document;
  for (const auto& line : json.lines) document += line;
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_EQ(Json::parse(document)["healthy"], true);

  const fs::path other = device.root() / "other-app";
  writeFile(other, "#!/bin/sh\necho '{\"applicationGroups\":[\"group.com.example.other\"]}'\n");
  fs::permissions(other, fs::perms(0700));
  Run run = doctor({"--app", other.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(lineAbout(run, "problem  App Group"),
            "problem  App Group      App (" + other.string() +
                ") belongs to group.com.example.other, not to this one: the two programs open "
                "different stores");

  Run silent = doctor({"--app", "/bin/false"});
  EXPECT_EQ(silent.exitCode, 0) << "not knowing is no problem of the store's";
  EXPECT_EQ(
      lineAbout(silent, "warning  App Group"),
      "warning  App Group      cannot tell whether App belongs to it: /bin/false: it does not "
      "print its entitlements");
}

TEST_F(DoctorCommand, SaysWhatTheHostDrewWhetherAReloadCameSinceAndWhatWaitsInApp) {
  auto host = start("BrisklaneWidgetExtension", {"serve"});
  ASSERT_TRUE(host->readLine(std::chrono::seconds(30))) << host->standardError();
  Run drawn = doctor();
  EXPECT_TRUE(lineAbout(drawn, "ok       widget host    running; it last drew ")
                  .ends_with("(round 1, start)"))
      << lineAbout(drawn, "ok       widget host");
  EXPECT_EQ(lineAbout(drawn, "info     widget         BrisklaneWidget-systemSmall"),
            "info     widget         BrisklaneWidget-systemSmall shows the status line “App can't "
            "share data”");

  // The host ends, and a summary is published with nobody to hear the reload.
  host->signal(SIGTERM);
  EXPECT_EQ(host->wait(), 0);
  publish(validSummary);
  Run stale = doctor();
  EXPECT_EQ(lineAbout(stale, "warning  widget host"),
            "warning  widget host    not running: nothing draws the widgets or hears App's reload "
            "requests (BrisklaneWidgetExtension serve)");
  EXPECT_EQ(lineAbout(stale, "warning  widget         BrisklaneWidget-systemSmall"),
            "warning  widget         BrisklaneWidget-systemSmall shows the status line “App can't "
            "share data”, though the store now holds a summary: no reload has reached the host "
            "since it was published");
  EXPECT_EQ(stale.exitCode, 0) << "the store itself is healthy";

  // A host that ends without removing its socket, and App running.
  ASSERT_NO_FATAL_FAILURE(testing::leaveSocketOfDeadHost());

  auto app = start("App", {"--web-layer", "none"});
  ASSERT_TRUE(appears("App.sock"));
  Run run = doctor();
  EXPECT_EQ(lineAbout(run, "warning  widget host"),
            "warning  widget host    not running (a host that ended left its socket): nothing "
            "draws the widgets or hears App's reload requests (BrisklaneWidgetExtension serve)");
  EXPECT_TRUE(lineAbout(run, "ok       App            running (process ")
                  .ends_with("); no link waits for a listener"))
      << lineAbout(run, "ok       App");

  // A link reaches App, which has no page to listen for it.
  EXPECT_EQ(start("App", {"open", "brisklane://today"})->wait(), 0);
  ASSERT_TRUE(appears("App-waiting-links.json"));
  const std::string waiting = lineAbout(doctor(), "warning  App            running (process ");
  EXPECT_TRUE(waiting.ends_with(
      "); brisklane://today waits for the page's appUrlOpen listener: open or reload App's page, "
      "and add the listener as it starts"))
      << waiting;
  app->signal(SIGTERM);
  EXPECT_EQ(app->wait(), 0);
  EXPECT_EQ(lineAbout(doctor(), "info     App"),
            "info     App            not running: a tap on a widget starts it with the link");
}

TEST_F(DoctorCommand, TellsOfNotificationsLeftPendingPastTheirMomentAndOfThoseNoPageHeard) {
  EXPECT_EQ(lineAbout(doctor(), "ok       notifications"),
            "ok       notifications  0 pending, 0 delivered, badge 0, permission prompt");
  const std::string past = Date{Date::Clock::now() - std::chrono::minutes(5)}.iso8601();
  writeFile(device.root() / "notification-center.json",
            R"({"permission":"granted","badge":1,"pending":[{"id":3,"moment":")" + past +
                R"(","notification":{"id":3,"title":"Pay rent","body":""}}],)"
                R"("delivered":[{"id":4,"deliveredAt":")" +
                past +
                R"(","notification":{"id":4,"title":"Call Ana","body":""},"heard":false}]})");
  Run run = doctor();
  EXPECT_EQ(lineAbout(run, "warning  notifications"),
            "warning  notifications  notification 3 \"Pay rent\" was due 5 min ago and is still "
            "pending: the widget host delivers it while it runs (serve --http)");
  EXPECT_EQ(
      lineAbout(run, "info     notifications"),
      "info     notifications  notification 4 \"Call Ana\" was delivered 5 min ago and no page "
      "has heard it: tap it on the lock screen");

  writeFile(device.root() / "notification-center.json",
            R"({"permission":"prompt","permissionAlert":{"processIdentifier":4242}})");
  EXPECT_EQ(lineAbout(doctor(), "info     notifications"),
            "info     notifications  App (process 4242) asked to send notifications and waits for "
            "the answer: press Allow or Don't Allow on the device page (serve --http)");
}

}  // namespace
}  // namespace brisklane

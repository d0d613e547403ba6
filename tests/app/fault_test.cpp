// `App` and the widget host as processes under faults. Kill moments come
// from a fixed seed, so that a failure replays; every wait is for a
// condition, bounded by a deadline generous enough for the sanitizer builds.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <random>
#include <stop_token>
#include <thread>

#include "platform/device/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "tests/app/app_programs.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

namespace fs = std::filesystem;
using testing::builtProgram;
using testing::Process;
using testing::readFile;
using testing::setLine;
using Json = nlohmann::json;

constexpr std::uint32_t killSeed = 20261208;
constexpr auto patience = std::chrono::seconds(60);  // for any one condition to come about

std::string summary(int count, std::string_view title) {
  return R"({"count":)" + std::to_string(count) + R"(,"items":[{"title":")" + std::string(title) +
         R"("}]})";
}

bool eventually(const std::function<bool()>& condition) {
  for (auto deadline = std::chrono::steady_clock::now() + patience;
       std::chrono::steady_clock::now() < deadline;
       std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
    if (condition()) return true;
  }
  return condition();
}

// A PNG is whole when it ends with its IEND chunk.
bool isWholePng(std::string_view bytes) {
  return bytes.starts_with(std::string_view("\x89PNG\r\n\x1a\n", 8)) &&
         bytes.ends_with(std::string_view("\0\0\0\0IEND\xae\x42\x60\x82", 12));
}

// Runs `look` over and over on a thread of its own until stopped; what it
// finds wrong fails the test, told once with how often it was found.
std::jthread watch(std::function<std::optional<std::string>()> look) {
  return std::jthread([look = std::move(look)](const std::stop_token& stop) {
    int looks = 0;
    int wrong = 0;
    std::string first;
    for (; !stop.stop_requested(); ++looks) {
      if (auto found = look(); found && wrong++ == 0) first = std::move(*found);
    }
    if (wrong > 0) ADD_FAILURE() << wrong << " of " << looks << " looks found: " << first;
  });
}

// The summary the host shows in the small Today widget, from its manifest.
std::optional<Json> todayShown() {
  auto manifest =
      Json::parse(readFile(deviceRoot() / "widgets/manifest.json").value_or(""), nullptr, false);
  if (manifest.is_discarded()) return std::nullopt;
  for (const Json& widget : manifest.value("widgets", Json::array())) {
    if (widget.value("id", "") == "BrisklaneWidget-systemSmall") {
      return widget.value("entry", Json::object()).value("payload", Json());
    }
  }
  return std::nullopt;
}

std::optional<std::string> storedToday() {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  return defaults ? defaults->string(todayKey) : std::nullopt;
}

class FaultTest : public testing::ProgramsTest {
 protected:
  // Writing to a program that was killed must fail, not end the test. (The
  // programs started get SIGXFSZ's default: they must ignore it themselves.)
  static void SetUpTestSuite() { ::signal(SIGPIPE, SIG_IGN); }

  // `serve`, its output in `log` so that no unread pipe ever holds up a round.
  std::unique_ptr<Process> startHost(const fs::path& log) {
    return start("/bin/sh", {"-c", R"(exec "$0" serve > "$1")",
                             builtProgram("BrisklaneWidgetExtension").string(), log.string()});
  }

  // The answer to a `set` from `app`: whether the App Group took the summary.
  static std::optional<bool> setAnswer(Process& app, int callbackId) {
    const auto line = app.readLine(patience);
    const std::string text = line ? *line : "(none)";
    Json answer = Json::parse(text, nullptr, false);
    if (!answer.is_discarded() && answer["callbackId"] == std::to_string(callbackId) &&
        answer["data"]["appGroupOk"].is_boolean()) {
      return answer["data"]["appGroupOk"].get<bool>();
    }
    ADD_FAILURE() << "answer to set " << callbackId << ": " << text;
    return std::nullopt;
  }

  // SQLite's integrity check of the store, by the `sqlite3` program opening it
  // read-only, as a reader that changes nothing opens it.
  std::vector<std::string> storeIntegrity() {
    auto check = start("/usr/bin/env",
                       {"sqlite3", "-readonly", "-cmd", ".timeout 10000",
                        userDefaultsFile(appGroupIdentifier).string(), "PRAGMA integrity_check"});
    auto verdict = check->readAllLines();
    EXPECT_EQ(check->wait(), 0) << check->standardError();
    return verdict;
  }

  // Publishes with an App of its own, which ends afterwards.
  std::optional<bool> publish(std::string_view payload) {
    auto app = startApp({"--no-control-socket"});
    app->writeLine(setLine(1, payload));
    auto answer = setAnswer(*app, 1);
    app->closeInput();
    EXPECT_EQ(app->wait(), 0) << app->standardError();
    return answer;
  }
};

// After each kill the store is intact and holds the last summary answered
// before the kill, or a later one sent; a fresh App then publishes.
TEST_F(FaultTest, AppKilledWhilePublishingKeepsTheLastAnsweredSummaryInAnIntactStore) {
  constexpr int killPoints = 8;
  // The loop's sets, shared out over the kill points; a kill comes at a
  // random one of a point's share, and the rest of that share is not sent.
  constexpr int setsInAll = 10'000;
  constexpr int setsPerKillPoint = setsInAll / killPoints;
  std::mt19937 random(killSeed);
  auto host = startHost(device.root() / "serve.log");
  int atLeast = 0;  // the summary the store must hold, or a later one: answered, or seen stored
  for (int point = 0; point < killPoints; ++point) {
    SCOPED_TRACE("kill point " + std::to_string(point));
    const int first = point * setsPerKillPoint + 1;
    const int last = first + setsPerKillPoint - 1;
    const int answersBeforeKill = std::uniform_int_distribution(0, setsPerKillPoint)(random);
    auto app = startApp();
    {
      std::jthread feeder([&app, first, last] {
        for (int sequence = first; sequence <= last; ++sequence) {
          app->writeLine(setLine(sequence, summary(sequence, "sent")));
        }
      });
      struct KillOnLeaving {
        Process& app;
        ~KillOnLeaving() { app.signal(SIGKILL); }
      } killer{*app};  // before the feeder is joined, also when an assertion leaves early
      for (int answered = 0; answered < answersBeforeKill; ++answered) {
        ASSERT_EQ(setAnswer(*app, first + answered), true) << app->standardError();
        atLeast = first + answered;
      }
    }
    EXPECT_EQ(app->wait(), 128 + SIGKILL);

    ASSERT_EQ(storeIntegrity(), std::vector<std::string>{"ok"});
    const auto today = storedToday();
    ASSERT_TRUE(today || atLeast == 0) << "an answered summary was lost";
    if (!today) continue;
    const int kept = Json::parse(*today, nullptr, false).value("count", -1);
    EXPECT_EQ(*today, summary(kept, "sent"));
    EXPECT_GE(kept, atLeast) << "the store went back to a summary before the last answered one";
    EXPECT_LE(kept, last);
    atLeast = std::max(atLeast, kept);
  }

  auto app = startApp();
  app->writeLine(setLine(setsInAll + 1, summary(setsInAll + 1, "after")));
  EXPECT_EQ(setAnswer(*app, setsInAll + 1), true) << app->standardError();
  EXPECT_TRUE(
      eventually([] { return todayShown() == Json::parse(summary(setsInAll + 1, "after")); }));
  app->closeInput();
  EXPECT_EQ(app->wait(), 0);
}

// A reader of the widgets folder meanwhile only ever finds whole pictures
// and a manifest that parses; the last host draws what App publishes.
TEST_F(FaultTest, HostKilledMidRoundLeavesOnlyWholePicturesAndANewHostTakesOver) {
  constexpr int killPoints = 6;
  constexpr int mostRoundsBeforeKill = 5;
  std::mt19937 random(killSeed);
  auto app = startApp({"--no-control-socket"});
  std::atomic<int> published{0};
  std::jthread publisher([&](const std::stop_token& stop) {
    for (int sequence = 1; !stop.stop_requested(); ++sequence) {
      app->writeLine(setLine(sequence, summary(sequence, "drawn")));
      if (!app->readLine(patience)) return;
      published = sequence;
    }
  });
  std::atomic<int> picturesRead{0};
  auto reader = watch([&picturesRead]() -> std::optional<std::string> {
    std::error_code error;
    for (fs::directory_iterator entry(deviceRoot() / "widgets", error), end; !error && entry != end;
         entry.increment(error)) {
      const fs::path path = entry->path();
      const bool picture = path.extension() == ".png";
      if (!picture && path.filename() != "manifest.json") continue;
      auto bytes = readFile(path);
      if (bytes && !(picture ? isWholePng(*bytes) : Json::accept(*bytes))) {
        return "a partial " + path.filename().string() + " of " + std::to_string(bytes->size()) +
               " bytes";
      }
      picturesRead += bytes && picture ? 1 : 0;
    }
    return std::nullopt;
  });

  std::unique_ptr<Process> host;
  for (int generation = 0; generation <= killPoints; ++generation) {
    if (host) {
      host->signal(SIGKILL);
      EXPECT_EQ(host->wait(), 128 + SIGKILL);
    }
    const fs::path log = device.root() / ("serve-" + std::to_string(generation) + ".log");
    host = startHost(log);
    const int rounds = std::uniform_int_distribution(1, mostRoundsBeforeKill)(random);
    auto roundsDrawn = [&log] { return std::ranges::count(readFile(log).value_or(""), '\n'); };
    ASSERT_TRUE(eventually([&] { return roundsDrawn() >= rounds; }))
        << "host " << generation << " drew no round " << rounds << ": " << host->standardError();
  }
  // What the last host has drawn so far may be the summary after the last
  // one answered, never a later one: that comes by a reload request.
  const int answered = published;
  EXPECT_TRUE(eventually([&] {
    auto shown = todayShown();
    return shown && shown->is_object() && shown->value("count", 0) > answered + 1;
  })) << "the new host hears App's reload requests";
  reader.request_stop();
  reader.join();
  EXPECT_GT(picturesRead, 0);
}

// App answers that the App Group cannot be reached, the widget shows its
// status line, and the doctor names the cause. Permission bits stop nothing
// for root, so none are used.
TEST_F(FaultTest, AStoreThatIsNotOneIsLeftAsFoundWhileEveryProgramSaysSo) {
  // A store of two pages, its log folded in, then cut to `length` bytes.
  auto cutStore = [this](std::uintmax_t length) {
    EXPECT_EQ(publish(summary(1, "cut")), true);
    fs::path store = userDefaultsFile(appGroupIdentifier);
    EXPECT_EQ(start("/usr/bin/env", {"sqlite3", store, "PRAGMA wal_checkpoint(TRUNCATE)"})->wait(),
              0);
    fs::remove(store.string() + "-wal");
    fs::remove(store.string() + "-shm");
    EXPECT_EQ(fs::file_size(store), 8192u);
    fs::resize_file(store, length);
    return store;
  };
  // Writes `content` where `path` is and answers it.
  auto fileAt = [](const fs::path& path, const std::string& content) {
    EXPECT_TRUE(makeFolders(path.parent_path()));
    std::ofstream(path) << content;
    return path;
  };
  const std::string shorter = " bytes, shorter than the 8192 its header gives: it was cut short";
  const struct Case {
    std::string name;
    std::function<fs::path()> arrange;  // answers where the bad thing is
    std::string cause;                  // in the doctor's verdict
  } cases[] = {
      {"garbage",
       [&] { return fileAt(userDefaultsFile(appGroupIdentifier), std::string(8192, 'Z')); },
       "store: SQLite cannot read it: file is not a database"},
      {"cut inside its last page", [&] { return cutStore(5000); }, "the file is 5000" + shorter},
      {"cut at a page's end", [&] { return cutStore(4096); }, "the file is 4096" + shorter},
      {"a folder",
       [] {
         EXPECT_TRUE(makeFolders(userDefaultsFile(appGroupIdentifier)));
         return userDefaultsFile(appGroupIdentifier);
       },
       "is a folder, not a store file"},
      {"a file for the App Group", [&] { return fileAt(deviceRoot() / "AppGroup", "a file"); },
       "AppGroup is a file, not a folder"},
  };
  auto contentOf = [](const fs::path& path) {
    return fs::is_directory(path) ? "(a folder)" : readFile(path).value_or("(unreadable)");
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.name);
    const fs::path home = device.root() / test.name;
    ::setenv("BRISKLANE_HOME", home.c_str(), 1);
    ASSERT_TRUE(makeFolders(home));
    const fs::path bad = test.arrange();
    const std::string before = contentOf(bad);

    EXPECT_EQ(publish(summary(2, "refused")), false);

    auto [viewExit, view] = extension({"view", "--kind", "BrisklaneWidget", "--json"});
    EXPECT_EQ(viewExit, 0);
    EXPECT_NE(view.find(R"x("text": "No App Group (widget)")x"), std::string::npos) << view;

    auto [doctorExit, doctor] = extension({"doctor"});
    EXPECT_EQ(doctorExit, 1);
    const std::size_t verdict = doctor.rfind("\nnot healthy: ");  // the last line
    EXPECT_NE(doctor.find(test.cause, verdict), std::string::npos) << doctor;
    EXPECT_EQ(contentOf(bad), before) << "the bad file was touched";
  }
}

// Once the limit is gone, the store takes the large one.
TEST_F(FaultTest, ASummaryBeyondTheFileSizeLimitIsRefusedAndTheOneBeforeStays) {
  // The limit: the store's largest file and room for a small write.
  constexpr std::uintmax_t headroom = 16 * 1024ull;
  constexpr std::size_t largeTitleBytes = 256 * 1024ull;
  const std::string kept = summary(1, "kept");
  const std::string large = summary(2, std::string(largeTitleBytes, 'L'));
  ASSERT_EQ(publish(kept), true);
  std::uintmax_t largest = 0;
  for (const auto& entry : fs::directory_iterator(appGroupContainer(appGroupIdentifier))) {
    largest = std::max(largest, entry.file_size());
  }

  // Lowered in this process just while App starts: App inherits it.
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit lowered{.rlim_cur = largest + headroom, .rlim_max = saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
  auto app = startApp({"--no-control-socket"});
  ::setrlimit(RLIMIT_FSIZE, &saved);
  app->writeLine(setLine(1, large));
  EXPECT_EQ(setAnswer(*app, 1), false);
  app->closeInput();
  EXPECT_EQ(app->wait(), 0) << app->standardError();

  EXPECT_EQ(storeIntegrity(), std::vector<std::string>{"ok"});
  EXPECT_EQ(timelinePayload(), Json::parse(kept));
  EXPECT_EQ(publish(large), true);
  EXPECT_EQ(timelinePayload(), Json::parse(large));
}

// The `sqlite3` program writes "today" in turns with App's sets, each turn a
// race, while the host draws. No reader (the widget's, the host's manifest)
// finds the summary missing or one nobody wrote; of two writes the later stays.
TEST_F(FaultTest, ASecondWriterBesideAppLosesNoAnswerAndTheLastWriteStays) {
  constexpr int writesEach = 300;  // by App and by the second writer
  auto startSecondWriter = [this] {
    auto writer = start("/usr/bin/env", {"sqlite3", userDefaultsFile(appGroupIdentifier).string()});
    writer->write(".timeout 30000\nPRAGMA synchronous=NORMAL;\n");
    return writer;
  };
  auto upsert = [](int sequence) {
    return "INSERT INTO defaults(key, value) VALUES('today', '" + summary(sequence, "cli") +
           "') ON CONFLICT(key) DO UPDATE SET value = excluded.value;";
  };
  auto isWritten = [](const Json& payload) {
    const int count = payload.is_object() ? payload.value("count", -1) : -1;
    return payload == Json::parse(summary(count, "app")) ||
           payload == Json::parse(summary(count, "cli"));
  };

  auto host = startHost(device.root() / "serve.log");
  auto app = startApp({"--no-control-socket"});
  app->writeLine(setLine(0, summary(0, "app")));
  ASSERT_EQ(setAnswer(*app, 0), true);
  ASSERT_TRUE(eventually([] { return todayShown() == Json::parse(summary(0, "app")); }));

  // The widget's own read of the store, and the host's manifest.
  auto reader = watch([&isWritten]() -> std::optional<std::string> {
    const auto stored = storedToday();
    if (!isWritten(Json::parse(stored.value_or(""), nullptr, false))) {
      return "in the store: " + stored.value_or("(absent)");
    }
    const Json shown = todayShown().value_or(Json::object());
    if (!isWritten(shown)) return "in the manifest: " + shown.dump();
    return std::nullopt;
  });
  auto writer = startSecondWriter();
  for (int sequence = 1; sequence <= writesEach; ++sequence) {
    writer->writeLine(upsert(sequence));  // runs while App sets
    app->writeLine(setLine(sequence, summary(sequence, "app")));
    EXPECT_EQ(setAnswer(*app, sequence), true);
  }
  writer->closeInput();
  EXPECT_EQ(writer->wait(), 0);
  EXPECT_EQ(writer->standardError(), "");
  reader.request_stop();
  reader.join();
  const auto last = storedToday();
  EXPECT_TRUE(last == summary(writesEach, "app") || last == summary(writesEach, "cli"))
      << last.value_or("(absent)");

  writer = startSecondWriter();
  writer->writeLine(upsert(writesEach + 1));
  writer->closeInput();
  EXPECT_EQ(writer->wait(), 0);
  EXPECT_EQ(timelinePayload(), Json::parse(summary(writesEach + 1, "cli")));
  app->writeLine(setLine(writesEach + 1, summary(writesEach + 1, "app")));
  EXPECT_EQ(setAnswer(*app, writesEach + 1), true);
  EXPECT_EQ(timelinePayload(), Json::parse(summary(writesEach + 1, "app")));
  app->closeInput();
  EXPECT_TRUE(app->readAllLines().empty()) << "one answer a call";
  EXPECT_EQ(app->wait(), 0);
}

}  // namespace
}  // namespace brisklane

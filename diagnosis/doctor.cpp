#include "diagnosis/doctor.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/device/application_launch.h"
#include "platform/device/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "platform/os/files.h"
#include "platform/os/processes.h"
#include "platform/os/unix_sockets.h"
#include "platform/uikit/control_socket.h"
#include "platform/usernotifications/user_notification_center.h"
#include "platform/widgetkit/widget_center.h"
#include "widget/app_group.h"
#include "widget/palette.h"
#include "widget/today/payload_json.h"
#include "widget/today/shared_store.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

std::string inQuotes(std::string_view text) {
  return "\u201c" + std::string(text) + "\u201d";
}

std::string octal(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "0%03o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string ownerName(uid_t owner) {
  std::string name = "uid " + std::to_string(owner);
  std::array<char, 4096> buffer{};
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(owner, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
    name = std::string(found->pw_name) + " (uid " + std::to_string(owner) + ")";
  }
  return name;
}

// "12 s", "3 min", "5 h", "2 days".
std::string duration(std::chrono::seconds elapsed) {
  using namespace std::chrono_literals;
  const auto seconds = elapsed.count();
  if (elapsed < 120s) return std::to_string(seconds) + " s";
  if (elapsed < 120min) return std::to_string(seconds / 60) + " min";
  if (elapsed < 48h) return std::to_string(seconds / 3600) + " h";
  return std::to_string(seconds / 86400) + " days";
}

std::string age(Date then, Date now) {
  auto elapsed = std::chrono::floor<std::chrono::seconds>(now.instant - then.instant);
  if (elapsed.count() < 0) return "in the future (" + duration(-elapsed) + " ahead of this clock)";
  return duration(elapsed) + " ago";
}

// The first folder on the way to `path` that is something else; nothing
// when every part that exists is a folder.
std::optional<fs::path> blockingFile(const fs::path& path) {
  fs::path built;
  for (const auto& part : path) {
    built /= part;
    const auto status = fileStatus(built, Links::notFollowed);
    if (!status) return std::nullopt;
    if (!S_ISDIR(status->st_mode)) {
      // A link to a folder is followed as the store follows it.
      if (const auto target = fileStatus(built, Links::follow);
          S_ISLNK(status->st_mode) && target && S_ISDIR(target->st_mode)) {
        continue;
      }
      return built;
    }
  }
  return std::nullopt;
}

// Who owns it, its mode, and whether this process may use it as the store
// does; `needs` is what `faccessat` must grant.
struct Access {
  Verdict verdict;
  std::string text;
};
Access accessOf(const fs::path& path, const struct stat& status, int needs, mode_t privateMode) {
  std::string text = "owner " + ownerName(status.st_uid) + ", mode " + octal(status.st_mode);
  if (::faccessat(AT_FDCWD, path.c_str(), needs, AT_EACCESS) != 0) {
    return {Verdict::problem,
            text + ": this user cannot " +
                std::string(S_ISDIR(status.st_mode) ? "work in it" : "read and write it") + " (" +
                std::strerror(errno) + ")"};
  }
  if (status.st_uid != ::geteuid()) {
    return {Verdict::warning,
            text + ": it belongs to another user than this one (" + ownerName(::geteuid()) + ")"};
  }
  if ((status.st_mode & 077) != 0) {
    return {Verdict::warning,
            text + ": others may use it; the store makes it " + octal(privateMode)};
  }
  return {Verdict::ok, text};
}

// A folder the store needs: the device folder or the App Group's container.
Finding folderFinding(std::string subject, const fs::path& path, std::string_view absentMeans) {
  const auto status = fileStatus(path, Links::follow);
  if (status) {
    if (!S_ISDIR(status->st_mode)) {
      return {std::move(subject), Verdict::problem,
              path.string() + " is a file, not a folder: the store cannot be made in it"};
    }
    Access access = accessOf(path, *status, W_OK | X_OK, 0700);
    return {std::move(subject), access.verdict, path.string() + ": " + access.text};
  }
  const int error = status.reason().error;
  if (error == ENOENT) {
    if (auto blocker = blockingFile(path)) {
      return {std::move(subject), Verdict::problem,
              path.string() + " cannot be made: " + blocker->string() + " is a file, not a folder"};
    }
    return {std::move(subject), Verdict::warning,
            path.string() + " does not exist yet: " + std::string(absentMeans)};
  }
  if (error == ENOTDIR) {
    auto blocker = blockingFile(path);
    return {std::move(subject), Verdict::problem,
            path.string() + " cannot be a folder: " +
                (blocker ? blocker->string() + " is a file, not a folder"
                         : std::string("a part of it is not a folder"))};
  }
  return {std::move(subject), Verdict::problem,
          path.string() + " cannot be reached: " + std::strerror(error)};
}

// SQLite's header: the page size and the database's length in pages, as
// written at its bytes 16 and 28 (big-endian).
struct DatabaseHeader {
  std::uint32_t pageSize;
  std::uint32_t pages;
};
std::optional<DatabaseHeader> readDatabaseHeader(const fs::path& file) {
  std::ifstream stream(file, std::ios::binary);
  std::array<unsigned char, 100> header{};
  if (!stream.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
  auto bigEndian = [&](std::size_t at, std::size_t bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) value = (value << 8) | header[at + i];
    return value;
  };
  std::uint32_t pageSize = bigEndian(16, 2);
  return DatabaseHeader{pageSize == 1 ? 65536u : pageSize, bigEndian(28, 4)};
}

std::uintmax_t sizeOf(const fs::path& file) {
  std::error_code missing;
  std::uintmax_t size = fs::file_size(file, missing);
  return missing ? 0 : size;
}

// Why SQLite could not read the file as a store, in its terms and, for a
// file cut short, in ours.
std::string unreadableStore(const fs::path& file, int error, const std::string& message) {
  const std::uintmax_t size = sizeOf(file);
  const bool logHoldsPages = sizeOf(fs::path(file.string() + "-wal")) > 32;
  if ((error & 0xff) == SQLITE_CORRUPT && !logHoldsPages) {
    if (size < 100) {
      return "the file is " + std::to_string(size) +
             " bytes, shorter than a database's 100-byte header: it was cut short";
    }
    if (auto header = readDatabaseHeader(file)) {
      const std::uintmax_t expected = std::uintmax_t{header->pageSize} * header->pages;
      if (size < expected) {
        return "the file is " + std::to_string(size) + " bytes, shorter than the " +
               std::to_string(expected) + " its header gives: it was cut short";
      }
    }
  }
  return "SQLite cannot read it: " + message;
}

// What the store's own reads would find; filled in by `inspectStore`.
struct StoreContents {
  bool reachable = false;  // the widget's reads would open it
  std::optional<std::string> today;
  std::optional<std::string> diag;
};

// The rows the integrity check reports other than "ok"; nothing when it
// could not run to its end.
std::optional<std::vector<std::string>> integrityFaults(sqlite3* connection) {
  sqlite3_stmt* check = nullptr;
  std::vector<std::string> faults;
  int stepped = SQLITE_ERROR;
  if (sqlite3_prepare_v2(connection, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK) {
    while ((stepped = sqlite3_step(check)) == SQLITE_ROW) {
      std::string row = reinterpret_cast<const char*>(sqlite3_column_text(check, 0));
      if (row != "ok") faults.push_back(std::move(row));
    }
  }
  sqlite3_finalize(check);
  if (stepped != SQLITE_DONE) return std::nullopt;
  return faults;
}

// Whether the database open on `connection` is sound, and why not. Without
// the integrity check, only a file cut short is found here.
Status soundDatabase(sqlite3* connection, const fs::path& file, IntegrityCheck check) {
  const std::optional<std::vector<std::string>> faults =
      check == IntegrityCheck::run ? integrityFaults(connection) : std::vector<std::string>{};
  if (!faults) {
    return Failure{
        unreadableStore(file, sqlite3_extended_errcode(connection), sqlite3_errmsg(connection))};
  }
  // The store refuses a file that is not whole pages, whatever its log
  // holds: SQLite would read the missing end of the last page as zeros.
  if (auto header = readDatabaseHeader(file);
      header && header->pageSize > 0 && sizeOf(file) % header->pageSize != 0) {
    return Failure{"the file is " + std::to_string(sizeOf(file)) +
                   " bytes, not a whole number of its " + std::to_string(header->pageSize) +
                   "-byte pages: it was cut short"};
  }
  if (!faults->empty()) {
    return Failure{
        "the integrity check fails: " + faults->front() +
        (faults->size() > 1 ? " (and " + std::to_string(faults->size() - 1) + " more)" : "")};
  }
  return {};
}

// The value under `key`, read with `select` (which takes the key as ?1).
std::optional<std::string> storedValue(sqlite3_stmt* select, std::string_view key) {
  std::optional<std::string> value;
  sqlite3_bind_text(select, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  if (sqlite3_step(select) == SQLITE_ROW) {
    const auto* text = static_cast<const char*>(sqlite3_column_blob(select, 0));
    value.emplace(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(select, 0)));
  }
  sqlite3_reset(select);
  return value;
}

// Reads the two keys of a sound database into `contents`, and answers the
// finding on the store.
Finding readKeys(sqlite3* connection, const fs::path& file, IntegrityCheck check,
                 StoreContents& contents) {
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(connection, "SELECT value FROM defaults WHERE key = ?1", -1, &select,
                         nullptr) != SQLITE_OK) {
    sqlite3_finalize(select);
    if (sizeOf(file) == 0) {
      contents.reachable = true;
      return {"store", Verdict::warning,
              "the file is empty: the store is set up in it at its next opening"};
    }
    return {"store", Verdict::problem,
            "a database, but not a store: " + std::string(sqlite3_errmsg(connection)) +
                "; the store leaves it as it is, so App cannot publish"};
  }
  contents.reachable = true;
  contents.today = storedValue(select, todayKey);
  contents.diag = storedValue(select, diagKey);
  sqlite3_finalize(select);
  const std::uintmax_t logBytes = sizeOf(fs::path(file.string() + "-wal"));
  return {"store", Verdict::ok,
          std::string(check == IntegrityCheck::run ? "the integrity check passes"
                                                   : "readable (integrity not checked)") +
              " (" + std::to_string(sizeOf(file)) + " bytes, and " + std::to_string(logBytes) +
              " in its write-ahead log)"};
}

// Opens `file` read-only, checks its integrity and reads the two keys.
// Never sets a database up, never writes it, never folds its log.
StoreContents inspectStore(const fs::path& file, IntegrityCheck check,
                           std::vector<Finding>& findings) {
  StoreContents contents;
  sqlite3* connection = nullptr;
  if (sqlite3_open_v2(file.c_str(), &connection,
                      SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    findings.push_back(
        {"store", Verdict::problem,
         unreadableStore(file, sqlite3_extended_errcode(connection), sqlite3_errmsg(connection))});
  } else {
    sqlite3_busy_timeout(connection, 2000);
    if (const Status sound = soundDatabase(connection, file, check); !sound) {
      findings.push_back({"store", Verdict::problem, sound.reason()});
    } else {
      findings.push_back(readKeys(connection, file, check, contents));
    }
  }
  sqlite3_close(connection);
  return contents;
}

// What the widget shows when it has no summary, for a store found this way.
std::string_view statusLine(const StoreContents& contents) {
  if (!contents.reachable) return noAppGroupMessage;
  if (!contents.diag) return appCannotShareMessage;
  return linkedMessage;
}

std::optional<Date> diagnosticMoment(std::string_view diag) {
  constexpr std::string_view prefix = "loaded @";
  if (!diag.starts_with(prefix)) return std::nullopt;
  diag.remove_prefix(prefix.size());
  std::int64_t seconds = 0;
  auto [end, error] = std::from_chars(diag.data(), diag.data() + diag.size(), seconds);
  if (error != std::errc() || end != diag.data() + diag.size()) return std::nullopt;
  return Date{std::chrono::system_clock::time_point(std::chrono::seconds(seconds))};
}

std::string summaryText(const TodayPayload& payload) {
  std::string text = "count " + std::to_string(payload.count) + ", " +
                     std::to_string(payload.items.size()) +
                     (payload.items.size() == 1 ? " item" : " items");
  text += payload.tier ? ", tier \"" + *payload.tier + "\"" : ", no tier";
  return text + " (" + std::string(tierLabel(payload.tier)) + ")";
}

void diagnoseKeys(const StoreContents& contents, Date now, std::vector<Finding>& findings,
                  std::optional<TodayPayload>& decoded) {
  if (!contents.reachable) {
    findings.push_back(
        {"today", Verdict::problem,
         "the store cannot be opened, so the widget shows " + inQuotes(statusLine(contents))});
    return;
  }
  if (!contents.diag) {
    findings.push_back({"diag", contents.today ? Verdict::warning : Verdict::problem,
                        "absent: App has never loaded its plug-in against this store"});
  } else if (auto moment = diagnosticMoment(*contents.diag)) {
    findings.push_back({"diag", Verdict::ok,
                        "\"" + *contents.diag + "\", written " + age(*moment, now) +
                            " when App last loaded its plug-in"});
  } else {
    findings.push_back(
        {"diag", Verdict::ok, "present (\"" + *contents.diag + "\", not a time stamp of App's)"});
  }

  const std::string shown = "; the widget shows " + inQuotes(statusLine(contents));
  if (!contents.today) {
    findings.push_back(
        {"today", Verdict::problem, "absent: no summary has been published" + shown});
    return;
  }
  auto result = decodePayload(*contents.today);
  if (!result) {
    findings.push_back({"today", Verdict::problem, describe(result.reason()) + shown});
    return;
  }
  decoded = std::move(result).value();
  findings.push_back({"today", Verdict::ok, "decodes: " + summaryText(*decoded)});
}

// Runs `command` with standard input from /dev/null and answers its standard
// output, or why there is none: it could not start, did not end within
// `patience`, or ended with another status than 0.
Result<std::string> outputOf(const std::vector<std::string>& command,
                             std::chrono::milliseconds patience) {
  auto captured = captureOutput(command, patience);
  if (!captured) {
    return Failure{std::string("cannot start it: ") + std::strerror(captured.reason().error)};
  }
  if (captured->overstayed) return Failure{"it did not answer in time"};
  if (!captured->outcome.succeeded()) return Failure{"it does not print its entitlements"};
  return std::move(captured->output);
}

Finding sameAppGroup(const std::optional<fs::path>& chosen) {
  std::optional<fs::path> application = chosen ? chosen : applicationBesideThisProgram();
  if (!application) {
    return {"App Group", Verdict::warning,
            "cannot tell whether App belongs to it: no App beside this program (--app names one)"};
  }
  auto output = outputOf({application->string(), "--print-entitlements"}, std::chrono::seconds(5));
  if (!output) {
    return {
        "App Group", Verdict::warning,
        "cannot tell whether App belongs to it: " + application->string() + ": " + output.reason()};
  }
  Json entitlements = Json::parse(*output, nullptr, false);
  const Json* groups = entitlements.is_object() && entitlements.contains("applicationGroups")
                           ? &entitlements["applicationGroups"]
                           : nullptr;
  if (!groups || !groups->is_array()) {
    return {"App Group", Verdict::warning,
            "cannot tell whether App belongs to it: " + application->string() +
                " printed no list of App Groups"};
  }
  std::string listed;
  for (const Json& group : *groups) {
    if (!group.is_string()) continue;
    if (group.get<std::string>() == appGroupIdentifier) {
      return {"App Group", Verdict::ok, "App (" + application->string() + ") belongs to it too"};
    }
    listed += (listed.empty() ? "" : ", ") + group.get<std::string>();
  }
  return {"App Group", Verdict::problem,
          "App (" + application->string() + ") belongs to " +
              (listed.empty() ? std::string("no App Group") : listed) +
              ", not to this one: the two programs open different stores"};
}

// What one widget placed on the host's home screen shows, against the
// summary the store holds now (`current`, and `currentJson` as the host
// writes it).
Finding placedWidgetFinding(const Json& widget, const std::optional<TodayPayload>& current,
                            const Json& currentJson) {
  const std::string id = widget.value("id", widget.value("kind", std::string("?")) + "-" +
                                                widget.value("family", std::string("?")));
  if (widget.contains("error")) {
    return {"widget", Verdict::problem, id + ": " + widget["error"].dump()};
  }
  const Json entry = widget.value("entry", Json::object());
  if (!entry.is_object() || !entry.contains("payload")) {
    return {"widget", Verdict::ok, id + " shows its entry"};
  }
  if (entry["payload"].is_null()) {
    std::string shown = widget.contains("missingSummary")
                            ? widget["missingSummary"].value("shown", std::string())
                            : std::string();
    return {"widget", current ? Verdict::warning : Verdict::info,
            id + " shows the status line" + (shown.empty() ? "" : " " + inQuotes(shown)) +
                (current ? ", though the store now holds a summary: no reload has reached the "
                           "host since it was published"
                         : "")};
  }
  if (entry["payload"] == currentJson) {
    return {"widget", Verdict::ok, id + " shows the summary the store holds"};
  }
  return {"widget", Verdict::warning,
          id + " shows another summary than the store holds: no reload has reached the host "
               "since the store's was published"};
}

void diagnoseWidgetHost(Date now, const std::optional<TodayPayload>& current,
                        std::vector<Finding>& findings) {
  const fs::path socket = widgetHostSocketPath();
  const fs::path manifestPath = deviceRoot() / "widgets" / "manifest.json";
  const bool running = anyoneListens(socket, SocketKind::datagram);
  if (!running) {
    findings.push_back(
        {"widget host", Verdict::warning,
         std::string(fs::exists(socket) ? "not running (a host that ended left its socket)"
                                        : "not running") +
             ": nothing draws the widgets or hears App's reload requests "
             "(BrisklaneWidgetExtension serve)"});
  }
  std::error_code error;
  auto written = fs::last_write_time(manifestPath, error);
  const auto text = readFile(manifestPath);
  Json manifest = error || !text ? Json() : Json::parse(*text, nullptr, false);
  if (!manifest.is_object()) {
    if (running) {
      findings.push_back(
          {"widget host", Verdict::warning, "running, but it has drawn nothing yet"});
    }
    return;
  }
  const Date drawn{std::chrono::time_point_cast<Date::Clock::duration>(
      std::chrono::file_clock::to_sys(written))};
  if (running) {
    findings.push_back({"widget host", Verdict::ok,
                        "running; it last drew " + age(drawn, now) + " (round " +
                            manifest.value("round", Json(0)).dump() + ", " +
                            manifest.value("reason", std::string("?")) + ")"});
  }
  const Json currentJson = current ? Json(payloadJson(*current)) : Json(nullptr);
  for (const Json& widget : manifest.value("widgets", Json::array())) {
    if (widget.is_object()) findings.push_back(placedWidgetFinding(widget, current, currentJson));
  }
}

// The process that holds `lock` with flock, from the kernel's table of locks;
// looking takes no lock, so it never stands in an application's way.
std::optional<pid_t> lockHolder(const fs::path& lock) {
  const auto status = fileStatus(lock, Links::follow);
  if (!status) return std::nullopt;
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    if (line.find("->") != std::string::npos) continue;  // a waiter, not a holder
    std::istringstream fields(line);
    std::string number, kind, advisory, mode, file;
    pid_t holder = 0;
    if (!(fields >> number >> kind >> advisory >> mode >> holder >> file) || kind != "FLOCK") {
      continue;
    }
    unsigned deviceMajor = 0, deviceMinor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &deviceMajor, &deviceMinor, &inode) == 3 &&
        inode == status->st_ino && deviceMajor == major(status->st_dev) &&
        deviceMinor == minor(status->st_dev)) {
      return holder;
    }
  }
  return std::nullopt;
}

void diagnoseApplication(std::vector<Finding>& findings) {
  if (auto holder = lockHolder(applicationLockPath())) {
    const std::string running = "running (process " + std::to_string(*holder) + ")";
    // A record left by an application that has ended holds nothing.
    const std::optional<WaitingLinks> waiting = readWaitingLinks();
    if (waiting && waiting->processIdentifier == *holder && !waiting->urls.empty()) {
      std::string urls;
      for (const std::string& url : waiting->urls) urls += (urls.empty() ? "" : ", ") + url;
      findings.push_back({"App", Verdict::warning,
                          running + "; " + urls +
                              " waits for the page's appUrlOpen listener: open or reload App's "
                              "page, and add the listener as it starts"});
    } else {
      findings.push_back({"App", Verdict::ok, running + "; no link waits for a listener"});
    }
  } else {
    findings.push_back(
        {"App", Verdict::info, "not running: a tap on a widget starts it with the link"});
  }
}

// The device's notifications: those whose moment has passed without the
// widget host delivering them, and those delivered that no page has had as
// an event (nobody tapped them, and App was not in front when they came).
void diagnoseNotifications(Date now, std::vector<Finding>& findings) {
  const auto center = readNotificationCenter();
  if (!center) {
    findings.push_back({"notifications", Verdict::warning,
                        "cannot read the notification centre: " + center.reason()});
    return;
  }
  const auto named = [](std::int32_t id, const Json& notification) {
    auto title = notification.find("title");
    return "notification " + std::to_string(id) +
           (title != notification.end() && title->is_string()
                ? " \"" + title->get<std::string>() + "\""
                : std::string());
  };
  std::size_t overdue = 0;
  for (const PendingNotification& pending : center->pending) {
    if (pending.moment >= now) continue;
    ++overdue;
    findings.push_back({"notifications", Verdict::warning,
                        named(pending.id, pending.notification) + " was due " +
                            age(pending.moment, now) +
                            " and is still pending: the widget host delivers it while it runs "
                            "(serve --http)"});
  }
  for (const DeliveredNotification& delivered : center->delivered) {
    if (delivered.heard) continue;
    findings.push_back({"notifications", Verdict::info,
                        named(delivered.id, delivered.notification) + " was delivered " +
                            age(delivered.deliveredAt, now) +
                            " and no page has heard it: tap it on the lock screen"});
  }
  if (center->permissionAlert) {
    findings.push_back({"notifications", Verdict::info,
                        "App (process " +
                            std::to_string(center->permissionAlert->processIdentifier) +
                            ") asked to send notifications and waits for the answer: press "
                            "Allow or Don't Allow on the device page (serve --http)"});
  }
  if (!center->pending.empty() && center->permission != NotificationPermission::granted) {
    findings.push_back({"notifications", Verdict::warning,
                        "the permission is " + std::string(name(center->permission)) +
                            ": the pending notifications come unseen until App's "
                            "requestPermissions is answered"});
  } else if (overdue == 0) {
    findings.push_back({"notifications", Verdict::ok,
                        std::to_string(center->pending.size()) + " pending, " +
                            std::to_string(center->delivered.size()) + " delivered, badge " +
                            std::to_string(center->badge) + ", permission " +
                            std::string(name(center->permission))});
  }
}

void diagnoseStoreInto(Date now, IntegrityCheck check, std::vector<Finding>& findings,
                       std::optional<TodayPayload>& decoded) {
  const bool wellFormed = isAppGroupIdentifier(appGroupIdentifier);
  findings.push_back({"App Group", wellFormed ? Verdict::ok : Verdict::problem,
                      std::string(appGroupIdentifier) +
                          (wellFormed ? " is an App Group identifier"
                                      : " is not \"group.\" and a reverse-domain name")});
  findings.push_back(folderFinding("device folder", deviceRoot(),
                                   "App or the widget makes it when it first opens the store"));
  findings.push_back(folderFinding("container", appGroupContainer(appGroupIdentifier),
                                   "App or the widget makes it when it first opens the store"));

  StoreContents contents;
  const fs::path file = userDefaultsFile(appGroupIdentifier);
  const auto examined = fileStatus(file, Links::notFollowed);
  if (!examined) {
    const int error = examined.reason().error;
    const std::optional<fs::path> blocker = blockingFile(file);
    if (error == ENOENT && !blocker) {
      // The widget's first read makes it, empty.
      contents.reachable = true;
      findings.push_back({"store", Verdict::warning,
                          file.string() + " does not exist yet: App makes it when its plug-in "
                                          "loads"});
    } else {
      findings.push_back({"store", Verdict::problem,
                          file.string() + " cannot be made: " +
                              (blocker ? blocker->string() + " is a file, not a folder"
                                       : std::string(std::strerror(error)))});
    }
  } else if (S_ISLNK(examined->st_mode)) {
    findings.push_back({"store", Verdict::problem,
                        file.string() + " is a symbolic link, which the store never follows"});
  } else if (S_ISDIR(examined->st_mode)) {
    findings.push_back({"store", Verdict::problem,
                        file.string() + " is a folder, not a store file: it stays as it is, "
                                        "and App cannot publish"});
  } else if (!S_ISREG(examined->st_mode)) {
    findings.push_back({"store", Verdict::problem, file.string() + " is not a regular file"});
  } else {
    Access access = accessOf(file, *examined, R_OK | W_OK, 0600);
    findings.push_back({"store file", access.verdict, file.string() + ": " + access.text});
    contents = inspectStore(file, check, findings);
    if (access.verdict == Verdict::problem) contents.reachable = false;
  }
  diagnoseKeys(contents, now, findings, decoded);
}

}  // namespace

bool Diagnosis::healthy() const {
  for (const Finding& finding : findings) {
    if (finding.verdict == Verdict::problem) return false;
  }
  return true;
}

std::string Diagnosis::verdict() const {
  for (const Finding& finding : findings) {
    if (finding.verdict == Verdict::problem) {
      return "not healthy: " + finding.subject + ": " + finding.message;
    }
  }
  return "healthy: the Today widget can show the published summary";
}

Diagnosis diagnoseStore(Date now, IntegrityCheck check) {
  Diagnosis diagnosis;
  std::optional<TodayPayload> decoded;
  diagnoseStoreInto(now, check, diagnosis.findings, decoded);
  return diagnosis;
}

std::string missingSummaryVerdict() {
  return diagnoseStore(Date{Date::Clock::now()}, IntegrityCheck::skip).verdict();
}

Diagnosis diagnose(const DoctorOptions& options) {
  Diagnosis diagnosis;
  std::optional<TodayPayload> decoded;
  diagnoseStoreInto(options.now, IntegrityCheck::run, diagnosis.findings, decoded);
  diagnosis.findings.insert(diagnosis.findings.begin() + 1, sameAppGroup(options.application));
  diagnoseWidgetHost(options.now, decoded, diagnosis.findings);
  diagnoseApplication(diagnosis.findings);
  diagnoseNotifications(options.now, diagnosis.findings);
  return diagnosis;
}

Json diagnosisJson(const Diagnosis& diagnosis) {
  Json findings = Json::array();
  for (const Finding& finding : diagnosis.findings) {
    findings.push_back({{"subject", finding.subject},
                        {"verdict", name(finding.verdict)},
                        {"message", finding.message}});
  }
  return Json{{"healthy", diagnosis.healthy()},
              {"verdict", diagnosis.verdict()},
              {"findings", std::move(findings)}};
}

}  // namespace brisklane

#include "host/home/host.h"

#include <algorithm>
#include <utility>

#include "host/home/host_clock.h"
#include "host/home/notification_delivery.h"
#include "platform/device/device_folder.h"
#include "platform/os/processes.h"

namespace brisklane {
namespace {

using Json = nlohmann::ordered_json;

// How long a launched App may take to come up on its control socket.
constexpr std::chrono::seconds launchPatience{15};
// How often the host looks at the application: while a launch or a link is
// under way, and otherwise, for the page, to see it come, go or move.
constexpr std::chrono::milliseconds busyWatchInterval{25};
constexpr std::chrono::milliseconds idleWatchInterval{1000};

std::string dumped(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What the device page shows of the device's notifications; none when the
// record cannot be read (the watch says why).
Json shownNotificationCenter(pid_t runningApplication) {
  auto center = readNotificationCenter();
  return notificationCenterJson(center ? *center : NotificationCenterRecord{}, runningApplication);
}

// `object`'s text without its braces, to be joined with other members into
// one object; empty for an empty object.
std::string_view members(std::string_view object) {
  return object.size() >= 2 ? object.substr(1, object.size() - 2) : std::string_view();
}

}  // namespace

std::string Host::catalogueMembers(const std::vector<WidgetConfiguration>& widgets) {
  Json catalog = Json::array();
  for (const WidgetConfiguration& widget : widgets) {
    Json families = Json::array();
    for (WidgetFamily family : widget.supportedFamilies) families.push_back(name(family));
    catalog.push_back({{"kind", widget.kind},
                       {"displayName", resolvedText(widget.displayName)},
                       {"families", std::move(families)}});
  }
  Json devices = Json::array();
  for (const DeviceClass& device : deviceClasses) {
    devices.push_back(
        {{"name", device.name}, {"width", device.screen.width}, {"height", device.screen.height}});
  }
  return std::string(members(
      dumped(Json{{"catalog", std::move(catalog)}, {"deviceClasses", std::move(devices)}})));
}

Status Host::run(ReloadRequests& requests, HomeScreenPage* page) {
  boost::system::error_code notHeard;
  for (int signal : {SIGTERM, SIGINT}) {
    if (!notHeard) stopSignals_.add(signal, notHeard);
  }
  if (!notHeard) childSignals_.add(SIGCHLD, notHeard);
  if (notHeard) return Failure{"cannot listen for signals: " + notHeard.message()};
  page_ = page;
  requests.listen([this] { reloadAllTimelines(); });
  stopSignals_.async_wait([this](const boost::system::error_code& error, int) {
    if (!error) loop_.stop();
  });
  reapChildren();
  round(RoundReason::start);
  if (page_) watchApplication();
  loop_.run();
  return {};
}

// The state joins the round's manifest line, the members that change between
// rounds and the catalogue, as text: the manifest is serialised once a round
// and the catalogue once, however many pages are told.
std::string Host::state() {
  const std::string now = dumped(Json{
      {"clock", {{"now", Date::now().iso8601()}, {"offsetSeconds", hostClockOffset().count()}}},
      {"settings", homeScreenSettingsJson(screen_.settings())}});
  // Whoever asks, /api/state among them, leaves what the page was last told
  // of the notifications as it was, so that the watch still tells the page
  // of a change; a page told twice shows the same.
  const std::string application =
      dumped(Json{{"applicationPage", applicationPageURL().has_value()},
                  {"application", applicationJson()},
                  {"notificationCenter", shownNotificationCenter(application_.processIdentifier)}});
  std::string state = R"({"type":"state")";
  for (std::string_view part : {members(screen_.manifestLine()), members(now),
                                std::string_view(catalogue_), members(application)}) {
    if (part.empty()) continue;
    state += ',';
    state += part;
  }
  state += '}';
  return state;
}

std::optional<Picture> Host::picture(std::string_view id, std::uint64_t version) {
  return screen_.picture(id, version);
}

Result<nlohmann::ordered_json> Host::layout(std::string_view id) {
  return screen_.layout(id);
}

Result<std::string> Host::tap(std::string_view id, Point point) {
  const auto found = screen_.tap(id, point);
  if (!found) return Failure{found.reason()};
  open(found->absoluteString);
  return found->absoluteString;
}

Result<std::string> Host::moveApplication(LifeCycleMove move) {
  const auto moved = moveRunningApplication(move);
  if (!moved) {
    if (move == LifeCycleMove::background) return Failure{"App is not running"};
    launch(std::nullopt);  // its icon, tapped: the system launches it
    return application_.state;
  }
  if (!*moved) return Failure{moved->reason()};
  noteApplication((*moved)->processIdentifier, name((*moved)->applicationState));
  return application_.state;
}

Result<std::string> Host::openNotification(const NotificationRequest& request) {
  auto center = readNotificationCenter();
  if (!center) return Failure{center.reason()};
  const auto delivered =
      std::find_if(center->delivered.begin(), center->delivered.end(),
                   [&](const DeliveredNotification& entry) { return entry.id == request.id; });
  if (delivered == center->delivered.end()) {
    return Failure{"no delivered notification has the id " + std::to_string(request.id)};
  }
  NotificationRequest response = request;
  if (response.actionIdentifier != "tap") {
    // The system knows the actions the application registered, and which
    // of them bring it to the front.
    const auto actions = notificationActions(center->actionTypes, delivered->notification);
    const auto action = std::find_if(
        actions.begin(), actions.end(),
        [&](const NotificationAction& each) { return each.id == response.actionIdentifier; });
    if (action == actions.end()) {
      return Failure{"notification " + std::to_string(request.id) + " has no action \"" +
                     response.actionIdentifier + "\""};
    }
    if (response.userText && !action->input) {
      return Failure{"the action \"" + action->id + "\" takes no text"};
    }
    if (action->input && !response.userText) response.userText = "";
    response.foreground = action->foreground;
  }
  const auto answer = launches_.empty() ? deliverToRunningApplication(response) : std::nullopt;
  if (!answer) {
    // As a widget's link does: the system launches App (in the background
    // for an action that does not open it), which gets the answer once it
    // has come up.
    const LaunchInto into = response.foreground ? LaunchInto::foreground : LaunchInto::background;
    pendingResponses_.push_back(std::move(response));
    launch(std::nullopt, into);
    return std::string("launched");
  }
  if (!*answer) return Failure{"the running App refused it: " + answer->reason()};
  noteApplication((*answer)->processIdentifier, name((*answer)->applicationState));
  deliverNotifications();
  return std::string("delivered");
}

Result<bool> Host::setNotificationPermission(NotificationPermission permission) {
  std::optional<PermissionAlert> answered;
  auto changed = changeNotificationCenter([&](NotificationCenterRecord& center) {
    center.permission = permission;
    if (permission != NotificationPermission::prompt) {
      answered = std::exchange(center.permissionAlert, std::nullopt);
    }
  });
  if (!changed) return Failure{"cannot set the permission: " + changed.reason()};
  // The application that asked waits for the answer, if it still runs.
  const bool waiting = answered && answered->processIdentifier == application_.processIdentifier;
  if (waiting) {
    const auto told =
        deliverToRunningApplication(NotificationPermissionAnswer{.answer = permission});
    if (!told || !*told) {
      err_ << "error: telling App the permission failed: "
           << (told ? told->reason() : std::string("App is not running")) << '\n';
    }
  }
  deliverNotifications();
  return waiting;
}

void Host::reloadAllTimelines() {
  screen_.schedule().reloadRequested();
  serveDue();
}

void Host::moveClock(std::chrono::seconds offset) {
  moveHostClock(offset);
  clockMoved();
}

void Host::resetClock() {
  resetHostClock();
  clockMoved();
}

Status Host::changeSettings(const HomeScreenSettings& settings) {
  if (auto saved = saveHomeScreenSettings(settings); !saved) {
    return Failure{"cannot save the settings: " + saved.reason()};
  }
  screen_.setSettings(settings);
  round(RoundReason::settings);
  return {};
}

std::optional<std::string> Host::applicationPageURL() {
  return brisklane::applicationPageURL();
}

void Host::open(const std::string& url) {
  if (auto handed = handToRunningApplication(url)) {
    if (handed->outcome != HandOverOutcome::failed) {
      noteApplication(handed->processIdentifier, name(handed->applicationState));
    }
    if (handed->outcome == HandOverOutcome::waiting) {
      waiting_.push_back({.url = url, .processIdentifier = handed->processIdentifier});
      watchApplication();
    }
    pushOpened(url, *handed);
    return;
  }
  launch(url);
}

void Host::launch(const std::optional<std::string>& url, LaunchInto into) {
  const auto fail = [&](const std::string& why) {
    if (url) {
      pushOpened(*url, failedHandOver(why));
    } else {
      err_ << "error: launching App failed: " << why << '\n';
    }
  };
  if (!launches_.empty()) {
    // One launch at a time: a second tap while App comes up goes to it.
    if (url) pendingURLs_.push_back(*url);
    return;
  }
  const auto application = applicationBesideThisProgram();
  if (!application) return fail("no App beside this program");
  const auto setup = readApplicationLaunchSetup();
  const auto started = startDetached(launchCommand(*application, setup ? &*setup : nullptr,
                                                   screen_.settings().systemVersion, url, into));
  if (!started) return fail(started.reason());
  launches_.emplace(
      *started, Launch{.url = url, .deadline = std::chrono::steady_clock::now() + launchPatience});
  noteApplication(*started, "launching");
  watchApplication();
}

void Host::watchApplication() {
  watch_.cancel();
  const bool busy = watchOnce();
  if (!busy && !page_) return;
  watch_.expires_after(busy ? busyWatchInterval : idleWatchInterval);
  watch_.async_wait([this](const boost::system::error_code& error) {
    if (!error) watchApplication();
  });
}

bool Host::watchOnce() {
  const auto now = std::chrono::steady_clock::now();
  for (auto launch = launches_.begin(); launch != launches_.end();) {
    const auto [child, started] = *launch;
    if (const auto up = launchedApplication(child)) {
      noteApplication(child, name(up->applicationState));
      if (started.url) {
        waiting_.push_back({.url = *started.url, .processIdentifier = child});
        pushOpened(*started.url, handOver(HandOverOutcome::launched, child, up->applicationState));
      }
      launch = launches_.erase(launch);
      openPendingURLs();
    } else if (now >= started.deadline) {
      failLaunch(launch->second, "App did not come up within " +
                                     std::to_string(launchPatience.count()) +
                                     " s; its output is in " + (deviceRoot() / "run").string());
      launch = launches_.erase(launch);
    } else {
      ++launch;
    }
  }
  std::optional<RunningApplication> running;
  if (launches_.empty()) {
    running = runningApplication();
    if (running) {
      noteApplication(running->processIdentifier, name(running->applicationState));
    } else {
      noteApplication(0, "notRunning");
    }
  }
  deliverNotifications();
  std::erase_if(waiting_, [&](const WaitingLink& link) {
    if (isWaitingForListener(link.url, link.processIdentifier)) {
      if (!launches_.empty() || (running && running->processIdentifier == link.processIdentifier))
        return false;
      pushOpened(link.url, failedHandOver("App ended before its page listened"));
      return true;
    }
    pushOpened(link.url,
               handOver(HandOverOutcome::delivered, link.processIdentifier,
                        running ? running->applicationState : UIApplication::State::active));
    return true;
  });
  return !launches_.empty() || !waiting_.empty();
}

void Host::openPendingURLs() {
  for (const std::string& url : std::exchange(pendingURLs_, {})) open(url);
  for (const NotificationRequest& response : std::exchange(pendingResponses_, {})) {
    const auto answer = deliverToRunningApplication(response);
    if (!answer || !*answer) {
      err_ << "error: opening notification " << response.id
           << " in App failed: " << (answer ? answer->reason() : std::string("App is not running"))
           << '\n';
    }
  }
}

void Host::deliverNotifications() {
  auto delivered = deliverDueNotifications(Date::now());
  if (!delivered) {
    // Said once, not every time the host looks.
    if (delivered.reason() != notificationCenterProblem_) {
      err_ << "error: cannot deliver the notifications: " << delivered.reason() << '\n';
    }
    notificationCenterProblem_ = delivered.reason();
  } else {
    notificationCenterProblem_.clear();
    // In front, App is told at once; otherwise they wait on the lock screen.
    if (application_.state == "active") {
      for (const DeliveredNotification& notification : *delivered) {
        (void)deliverToRunningApplication(
            NotificationRequest{.id = notification.id, .actionIdentifier = {}});
      }
    }
  }
  std::string shown = notificationCenterText();
  if (shown == notificationCenterShown_ || !page_) return;
  notificationCenterShown_ = std::move(shown);
  page_->push(R"({"type":"notifications","notificationCenter":)" + notificationCenterShown_ + "}");
}

std::string Host::notificationCenterText() {
  return dumped(shownNotificationCenter(application_.processIdentifier));
}

void Host::failLaunch(const Launch& launch, const std::string& why) {
  if (launch.url) {
    pushOpened(*launch.url, failedHandOver(why));
  } else {
    err_ << "error: launching App failed: " << why << '\n';
  }
  for (const std::string& url : std::exchange(pendingURLs_, {})) {
    pushOpened(url, failedHandOver(why));
  }
  pendingResponses_.clear();
  noteApplication(0, "notRunning");
}

nlohmann::ordered_json Host::applicationJson() const {
  Json application{{"state", application_.state},
                   {"processIdentifier", application_.processIdentifier}};
  const bool running = application_.state != "notRunning" && application_.state != "launching";
  const auto page = running ? brisklane::applicationPageURL() : std::nullopt;
  application["page"] = page ? Json(*page) : Json(nullptr);
  return application;
}

void Host::noteApplication(pid_t processIdentifier, std::string_view state) {
  ApplicationView now{.state = std::string(state), .processIdentifier = processIdentifier};
  if (now == application_) return;
  application_ = std::move(now);
  if (!page_) return;
  Json message = applicationJson();
  message["type"] = "application";
  page_->push(message.dump(-1, ' ', false, Json::error_handler_t::replace));
}

void Host::round(RoundReason reason) {
  screen_.runRound(reason);
  out_ << screen_.manifestLine() << std::endl;
  if (page_) page_->push(state());
  scheduleTimer();
}

void Host::clockMoved() {
  deliverNotifications();
  if (!serveDue() && page_) page_->push(state());
}

bool Host::serveDue() {
  if (auto reason = screen_.schedule().dueAt(Date::now())) {
    round(*reason);
    return true;
  }
  scheduleTimer();
  return false;
}

void Host::scheduleTimer() {
  const auto wait = screen_.schedule().wakeAfter(Date::now());
  if (!wait) {
    timer_.cancel();
    return;
  }
  timer_.expires_after(*wait);
  timer_.async_wait([this](const boost::system::error_code& error) {
    if (!error) serveDue();  // an error: rescheduled
  });
}

void Host::reapChildren() {
  childSignals_.async_wait([this](const boost::system::error_code& error, int) {
    if (error) return;
    while (const auto ended = reapEndedChild()) {
      if (auto launch = launches_.find(ended->process); launch != launches_.end()) {
        // `App open` ends at once when an App that came up beside it took
        // the URL: the watch then tells what that App did with it.
        if (!ended->outcome.succeeded()) {
          failLaunch(launch->second, whyItEnded(ended->outcome));
        } else if (launch->second.url) {
          const auto running = runningApplication();
          waiting_.push_back({.url = *launch->second.url,
                              .processIdentifier = running ? running->processIdentifier : 0});
        }
        launches_.erase(launch);
        openPendingURLs();
      }
    }
    watchApplication();
    reapChildren();
  });
}

void Host::pushOpened(const std::string& url, const HandOver& handed) {
  Json message{{"type", "opened"}, {"url", url}, {"outcome", name(handed.outcome)}};
  if (handed.outcome == HandOverOutcome::failed) {
    message["detail"] = handed.detail;
    err_ << "error: opening " << url << " in App failed: " << handed.detail << '\n';
  }
  if (page_) page_->push(message.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace brisklane

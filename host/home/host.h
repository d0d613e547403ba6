// The running widget host: the owner of its event loop. On one Asio loop on
// the main thread it serves the reload socket, the schedule's timer, the stop
// signals, the device page and the applications that taps launch. A round
// runs to its end before the loop goes on, so SIGTERM or SIGINT never cuts
// one short.
#pragma once

#include <sys/types.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <chrono>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "host/home/home_screen.h"
#include "host/home/home_screen_page.h"
#include "host/home/open_in_app.h"
#include "host/home/reload_requests.h"

namespace brisklane {

namespace net = boost::asio;

// The host's event loop and what it serves.
class Host final : public HomeScreenPageOwner {
 public:
  // Pictures and problems of `screen`'s rounds go to `err`; each round's
  // manifest to `out`, a line each.
  Host(const std::vector<WidgetConfiguration>& widgets, net::io_context& loop, HomeScreen& screen,
       std::ostream& out, std::ostream& err)
      : catalogue_(catalogueMembers(widgets)),
        out_(out),
        err_(err),
        loop_(loop),
        screen_(screen),
        timer_(loop),
        watch_(loop),
        stopSignals_(loop),
        childSignals_(loop) {}

  // Runs until SIGTERM or SIGINT; or answers why it cannot listen for them.
  Status run(ReloadRequests& requests, HomeScreenPage* page);

  std::string state() override;

  std::optional<Picture> picture(std::string_view id, std::uint64_t version) override;
  Result<nlohmann::ordered_json> layout(std::string_view id) override;

  Result<std::string> tap(std::string_view id, Point point) override;

  Result<std::string> moveApplication(LifeCycleMove move) override;

  Result<std::string> openNotification(const NotificationRequest& request) override;

  Result<bool> setNotificationPermission(NotificationPermission permission) override;

  void reloadAllTimelines() override;

  void moveClock(std::chrono::seconds offset) override;

  void resetClock() override;

  Status changeSettings(const HomeScreenSettings& settings) override;

  std::optional<std::string> applicationPageURL() override;

 private:
  // An application the host launched that has not come up yet.
  struct Launch {
    std::optional<std::string> url;  // the URL it was launched with, if any
    std::chrono::steady_clock::time_point deadline;
  };
  // A URL that an application holds for its page's first listener.
  struct WaitingLink {
    std::string url;
    pid_t processIdentifier;
  };
  // The application as the page shows it: "notRunning", "launching", or a
  // state the application answered ("active", "inactive", "background").
  struct ApplicationView {
    std::string state = "notRunning";
    pid_t processIdentifier = 0;

    friend bool operator==(const ApplicationView&, const ApplicationView&) = default;
  };

  // Opens `url` as the system does on a tap: the running App gets it, or
  // App is launched with it.
  void open(const std::string& url);

  // Launches App as the system does, with `url` as its launch URL when one
  // is given; the watch tells the page when it has come up.
  void launch(const std::optional<std::string>& url, LaunchInto into = LaunchInto::foreground);

  // Looks at the launches and links under way, and at the application, and
  // tells the page what changed; again soon while anything is under way.
  void watchApplication();

  bool watchOnce();

  // The taps that came while App was coming up go to it now, in order.
  void openPendingURLs();

  // Delivers the notifications whose moment has come (presented to App when
  // it is in front) and tells the page when the notification centre changed.
  void deliverNotifications();
  // The notification centre as the page shows it, as JSON text.
  std::string notificationCenterText();

  void failLaunch(const Launch& launch, const std::string& why);

  nlohmann::ordered_json applicationJson() const;

  // Records how the application is, and tells the page when that changed.
  void noteApplication(pid_t processIdentifier, std::string_view state);

  void round(RoundReason reason);

  // The clock moved: the page shows the new time, and a reload moment that
  // has now come is served at once.
  void clockMoved();

  // Runs the round that the schedule says is due, else sleeps until it may
  // be; answers whether a round ran.
  bool serveDue();

  void scheduleTimer();

  // Reaps the applications the host launched; one that ends before it came
  // up failed its launch, and says why.
  void reapChildren();

  void pushOpened(const std::string& url, const HandOver& handed);

  // The members of the state that never change while the host runs: the
  // widgets offered and the device classes, as JSON text without braces.
  static std::string catalogueMembers(const std::vector<WidgetConfiguration>& widgets);

  const std::string catalogue_;  // catalogueMembers of the host's widgets
  std::ostream& out_;
  std::ostream& err_;
  net::io_context& loop_;
  HomeScreen& screen_;
  net::steady_timer timer_;
  net::steady_timer watch_;
  net::signal_set stopSignals_;
  net::signal_set childSignals_;
  HomeScreenPage* page_ = nullptr;
  std::map<pid_t, Launch> launches_;
  std::vector<WaitingLink> waiting_;
  std::vector<std::string> pendingURLs_;               // tapped while App comes up
  std::vector<NotificationRequest> pendingResponses_;  // answered while App comes up
  std::string notificationCenterShown_;                // what the page was last told of them
  std::string notificationCenterProblem_;  // the last reason they could not be delivered
  ApplicationView application_;
};

}  // namespace brisklane

// The cost of `set` through the bridge of a real `App` process, beside the
// floor of one SQLite write of the same value, measured in the same run:
//   - round trip over stdio: one call line in, its settlement line out, one
//     at a time;
//   - throughput over stdio: calls sent in batches of `batch` lines, then
//     their answers;
//   - round trip percentiles: `calls` calls, one at a time, each timed from
//     sending its message to reading its settlement, over stdio and over the
//     browser web layer. The browser side does what the page does: it loads
//     the page's address with the token, keeps the cookie it gets, opens the
//     bridge's WebSocket with that cookie, the server's Host and its Origin,
//     and sends each call as one text message;
//   - a cold tap: the widget host's `tap --open` on a device whose App does
//     not run, to the page's first `appUrlOpen` listener hearing the link,
//     beside App started directly to its page's first answer;
// and, for reading them, what `set` must do to the store (open, write, close).
// The ratios to the floor are printed at the end. The benchmark runs on a
// fresh temporary device of its own, with a web application of its own, so
// that it needs neither the sample's build nor Capacitor's packages.
//
// Every App the benchmark starts ends with the benchmark that started it,
// whether it passes or fails; a benchmark whose App does not start or stops
// answering is reported as an error, with what App said on standard error.
#include <signal.h>
#include <stdlib.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/result.h"
#include "bench/support/ratio_main.h"
#include "platform/foundation/user_defaults.h"
#include "platform/web/network_names.h"
#include "tests/support/subprocess.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

using namespace std::chrono_literals;

// The summary of the `number`th publication: it differs from the one before,
// as the web layer's does (its time stamp moves). SQLite does not rewrite a
// row whose value has not changed, so the same summary again and again would
// leave the store's writing out of every figure.
std::string summary(std::int64_t number) {
  return R"({"tier":"urgent","count":4,"items":[{"title":"Envoyer galerie","project":"Mariage"},{"title":"Call the florist"},{"title":"Book the photographer","project":"Mariage"}],"updatedAt":"2026-12-07T08:00:00Z #)" +
         std::to_string(number) + R"("})";
}
constexpr int batch = 64;
constexpr int calls = 500;       // timed calls per percentile benchmark
constexpr int warmUpCalls = 20;  // untimed, so that the first open of the store is not counted
// How long App may take to start, or to answer one call, before the
// benchmark gives up on it.
constexpr std::chrono::seconds answerTimeout{10};
constexpr std::chrono::seconds endTimeout{5};  // from SIGTERM to SIGKILL
constexpr std::string_view bridgeSocketPath = "/_capacitor/bridge";

fs::path runFolder;  // the run's temporary folder, made by main; also the device's home

std::string setMessage(std::int64_t callbackId) {
  return nlohmann::json{{"type", "message"},
                        {"callbackId", std::to_string(callbackId)},
                        {"pluginId", "SharedTodayWidget"},
                        {"methodName", "set"},
                        {"options", {{"payload", summary(callbackId)}}}}
      .dump();
}

std::string systemError(int error) {
  return std::strerror(error);
}

// Without trailing white space, for text quoted inside one error message.
std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

// A running `App`, its standard input and output on two pipes and its
// standard error in a file. It serves its stdio web layer, or, with
// `--web-layer browser`, prints the page's address as its first line.
class AppProcess {
 public:
  [[nodiscard]] static Result<std::unique_ptr<AppProcess>> start(
      const std::vector<std::string>& arguments) {
    std::unique_ptr<AppProcess> app(new AppProcess(arguments));
    if (!app->process_.failure().empty()) return Failure{app->process_.failure()};
    return app;
  }

  // Ends App: the stdio web layer ends with its input, the browser web layer
  // on SIGTERM; one that does neither in time is killed.
  ~AppProcess() { process_.end(endTimeout); }
  AppProcess(const AppProcess&) = delete;
  AppProcess& operator=(const AppProcess&) = delete;

  [[nodiscard]] Status write(std::string_view text) {
    if (process_.write(text)) return {};
    return Failure{"cannot write to App: " + systemError(errno)};
  }
  [[nodiscard]] Status send(const std::string& message) { return write(message + '\n'); }
  // The next line App writes, without its newline.
  [[nodiscard]] Result<std::string> receive(std::chrono::milliseconds timeout = answerTimeout) {
    auto line = process_.readLine(timeout);
    if (line) return *std::move(line);
    switch (line.reason()) {
      case testing::ReadFailure::timedOut:
        return Failure{"App wrote nothing for " + secondsText(timeout)};
      case testing::ReadFailure::ended:
        return Failure{"App ended before it answered"};
      case testing::ReadFailure::failed:
        break;
    }
    return Failure{"cannot read from App: " + systemError(errno)};
  }

  // The end of what App wrote on standard error, to say why it failed.
  [[nodiscard]] std::string standardError() const {
    std::string written = trimmed(process_.standardError());
    constexpr size_t shown = 600;
    if (written.empty()) return "(nothing on its standard error)";
    if (written.size() > shown) written = "..." + written.substr(written.size() - shown);
    return "its standard error: " + written;
  }

 private:
  explicit AppProcess(const std::vector<std::string>& arguments)
      : process_(testing::builtProgram("App"), arguments, runFolder / "App.stderr") {}

  static std::string secondsText(std::chrono::milliseconds duration) {
    return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(duration).count()) +
           " s";
  }

  testing::Process process_;
};

// A web application of one empty page, and a script that stands in for
// Capacitor's native bridge: the benchmark plays the page itself.
struct WebApplication {
  fs::path webDirectory;
  fs::path nativeBridgeScript;
};

[[nodiscard]] Result<WebApplication> writeWebApplication(const fs::path& folder) {
  WebApplication application{.webDirectory = folder / "www",
                             .nativeBridgeScript = folder / "native-bridge.js"};
  std::error_code error;
  fs::create_directories(application.webDirectory, error);
  if (error) {
    return Failure{"cannot make " + application.webDirectory.string() + ": " + error.message()};
  }
  auto write = [](const fs::path& path, std::string_view text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return file.good();
  };
  if (!write(application.webDirectory / "index.html",
             "<!doctype html>\n"
             "<html><head><title>bridge benchmark</title></head><body></body></html>\n") ||
      !write(application.nativeBridgeScript,
             "// The benchmark sends the bridge's messages itself.\n")) {
    return Failure{"cannot write the web application in " + folder.string()};
  }
  return application;
}

// Where the page lives, from the address App prints:
// "http://HOST:PORT/?token=HEX", its host a name of the device's own below
// localhost that the benchmark, like a browser, reaches on 127.0.0.1.
struct PageAddress {
  std::string host;  // "HOST:PORT", as the Host header must name it
  std::uint16_t port;
  std::string target;  // the path and query, with the token
};

[[nodiscard]] std::optional<PageAddress> parsePageAddress(std::string_view url) {
  constexpr std::string_view prefix = "http://";
  if (!url.starts_with(prefix)) return std::nullopt;
  std::string_view rest = url.substr(prefix.size());
  size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  std::string_view authority = rest.substr(0, slash);
  size_t colon = authority.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view digits = authority.substr(colon + 1);
  std::uint16_t port = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
  if (error != std::errc() || end != digits.data() + digits.size() || port == 0) {
    return std::nullopt;
  }
  return PageAddress{
      .host = std::string(authority), .port = port, .target = std::string(rest.substr(slash))};
}

std::string text(beast::string_view view) {
  return {view.data(), view.size()};
}

// The page's side of the browser web layer: one WebSocket to the bridge,
// opened the way a browser opens it after loading the page. Its operations
// run on an event loop of its own, each until it completes; the streams'
// timeouts bound how long that takes.
class BrowserPage {
 public:
  [[nodiscard]] static Result<std::unique_ptr<BrowserPage>> open(std::string_view url) {
    auto address = parsePageAddress(url);
    if (!address) return Failure{"App printed no page address but \"" + std::string(url) + "\""};
    std::unique_ptr<BrowserPage> page(new BrowserPage);
    if (auto loaded = page->load(*address); !loaded) return Failure{loaded.reason()};
    if (auto connected = page->connectBridge(*address); !connected) {
      return Failure{connected.reason()};
    }
    return page;
  }
  BrowserPage(const BrowserPage&) = delete;
  BrowserPage& operator=(const BrowserPage&) = delete;

  [[nodiscard]] Status send(const std::string& message) {
    auto error = await([&](auto handler) { socket_.async_write(net::buffer(message), handler); });
    if (error) return Failure{"cannot send on the bridge's WebSocket: " + error.message()};
    return {};
  }
  [[nodiscard]] Result<std::string> receive() {
    buffer_.clear();
    auto error = await([&](auto handler) { socket_.async_read(buffer_, handler); });
    if (error) return Failure{"no message on the bridge's WebSocket: " + error.message()};
    return beast::buffers_to_string(buffer_.data());
  }

 private:
  BrowserPage() = default;

  // Starts one asynchronous operation with a completion handler and runs
  // the loop until that handler has run.
  template <typename Start>
  boost::system::error_code await(Start start) {
    std::optional<boost::system::error_code> outcome;
    start([&outcome](boost::system::error_code error, auto&&...) { outcome = error; });
    context_.restart();
    while (!outcome && context_.run_one() > 0) {
    }
    return outcome.value_or(net::error::make_error_code(net::error::operation_aborted));
  }

  // The address with the token answers with the cookie and a redirect to the
  // page; the page then loads with the cookie alone.
  [[nodiscard]] Status load(const PageAddress& address) {
    beast::tcp_stream connection(context_);
    beast::flat_buffer received;
    auto get = [&](const std::string& target,
                   const std::string& cookie) -> Result<http::response<http::string_body>> {
      http::request<http::empty_body> request{http::verb::get, target, 11};
      request.set(http::field::host, address.host);
      if (!cookie.empty()) request.set(http::field::cookie, cookie);
      connection.expires_after(answerTimeout);
      auto error = await([&](auto handler) { http::async_write(connection, request, handler); });
      http::response<http::string_body> response;
      if (!error) {
        error =
            await([&](auto handler) { http::async_read(connection, received, response, handler); });
      }
      if (error) return Failure{"GET " + target + ": " + error.message()};
      return response;
    };

    connection.expires_after(answerTimeout);
    auto error = await([&](auto handler) {
      connection.async_connect(tcp::endpoint(net::ip::address_v4::loopback(), address.port),
                               handler);
    });
    if (error) return Failure{"cannot connect to " + address.host + ": " + error.message()};

    auto redirect = get(address.target, {});
    if (!redirect) return Failure{redirect.reason()};
    auto& redirection = *redirect;
    std::string setCookie = text(redirection[http::field::set_cookie]);
    std::string location = text(redirection[http::field::location]);
    if (redirection.result() != http::status::see_other || setCookie.empty() || location.empty()) {
      return Failure{"GET " + address.target + " answered " +
                     std::to_string(redirection.result_int()) +
                     " without a cookie and a redirect: " + trimmed(redirection.body())};
    }
    cookie_ = setCookie.substr(0, setCookie.find(';'));

    auto page = get(location, cookie_);
    if (!page) return Failure{page.reason()};
    auto& loaded = *page;
    if (loaded.result() != http::status::ok) {
      return Failure{"GET " + location + " with the cookie answered " +
                     std::to_string(loaded.result_int()) + ": " + trimmed(loaded.body())};
    }
    boost::system::error_code ignored;
    connection.socket().shutdown(tcp::socket::shutdown_both, ignored);
    return {};
  }

  [[nodiscard]] Status connectBridge(const PageAddress& address) {
    auto& connection = beast::get_lowest_layer(socket_);
    connection.expires_after(answerTimeout);
    auto error = await([&](auto handler) {
      connection.async_connect(tcp::endpoint(net::ip::address_v4::loopback(), address.port),
                               handler);
    });
    if (error) return Failure{"cannot connect to " + address.host + ": " + error.message()};
    // From here the WebSocket's own timeouts apply: an answer that takes
    // longer than answerTimeout ends the connection.
    connection.expires_never();
    socket_.set_option(websocket::stream_base::timeout{.handshake_timeout = answerTimeout,
                                                       .idle_timeout = answerTimeout,
                                                       .keep_alive_pings = false});
    std::string origin = "http://" + address.host;
    socket_.set_option(websocket::stream_base::decorator(
        [cookie = cookie_, origin](websocket::request_type& request) {
          request.set(http::field::cookie, cookie);
          request.set(http::field::origin, origin);
        }));
    websocket::response_type upgrade;
    error = await([&](auto handler) {
      socket_.async_handshake(upgrade, address.host, std::string(bridgeSocketPath), handler);
    });
    if (error) {
      return Failure{"the upgrade to " + std::string(bridgeSocketPath) + " answered " +
                     std::to_string(upgrade.result_int()) + " (" + error.message() +
                     "): " + trimmed(upgrade.body())};
    }
    socket_.text(true);
    return {};
  }

  net::io_context context_;  // declared first: the streams below run on it
  websocket::stream<beast::tcp_stream> socket_{context_};
  beast::flat_buffer buffer_;  // the message being read
  std::string cookie_;         // "name=token", as the server set it
};

// Sends one `set` and reads until its settlement: the failure, if it fails
// or does not succeed. Messages for other calls, and events, are passed over.
template <typename Bridge>
[[nodiscard]] Status callSet(Bridge& bridge, const std::string& message,
                             const std::string& callbackId) {
  if (auto sent = bridge.send(message); !sent) return sent;
  for (;;) {
    auto received = bridge.receive();
    if (!received) return Failure{received.reason()};
    const std::string& answer = *received;
    auto settlement = nlohmann::json::parse(answer, nullptr, false);
    if (settlement.is_discarded()) return Failure{"App answered with no JSON: " + answer};
    auto id = settlement.find("callbackId");
    if (id == settlement.end() || *id != callbackId) continue;
    auto success = settlement.find("success");
    if (success == settlement.end() || *success != true) {
      return Failure{"set did not succeed: " + answer};
    }
    return {};
  }
}

// The nearest-rank percentile of sorted samples: the smallest sample that
// `percent` percent of them do not exceed.
double percentile(const std::vector<double>& sorted, double percent) {
  auto rank = static_cast<size_t>(std::ceil(percent / 100.0 * static_cast<double>(sorted.size())));
  return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

// Times each call on its own, as the benchmark's iteration time, and adds
// the median and the 99th percentile of those times as counters.
template <typename Bridge>
void measureRoundTrips(benchmark::State& state, Bridge& bridge, const AppProcess& app) {
  std::int64_t callbackId = 0;
  for (int i = 0; i < warmUpCalls; ++i) {
    ++callbackId;
    if (auto set = callSet(bridge, setMessage(callbackId), std::to_string(callbackId)); !set) {
      state.SkipWithError((set.reason() + "; " + app.standardError()).c_str());
      return;
    }
  }
  std::vector<double> seconds;
  seconds.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    ++callbackId;
    std::string message = setMessage(callbackId);
    std::string id = std::to_string(callbackId);
    auto start = std::chrono::steady_clock::now();
    auto set = callSet(bridge, message, id);
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!set) {
      state.SkipWithError((set.reason() + "; " + app.standardError()).c_str());
      break;
    }
    state.SetIterationTime(elapsed.count());
    seconds.push_back(elapsed.count());
  }
  if (state.error_occurred() || seconds.empty()) return;
  std::sort(seconds.begin(), seconds.end());
  state.counters["p50_us"] = percentile(seconds, 50) * 1e6;
  state.counters["p99_us"] = percentile(seconds, 99) * 1e6;
}

void SqliteWriteFloor(benchmark::State& state) {
  auto defaults = UserDefaults::open(appGroupIdentifier);
  if (!defaults) {
    state.SkipWithError("no store");
    return;
  }
  std::int64_t number = 0;
  for (auto _ : state) benchmark::DoNotOptimize(defaults->set(summary(++number), todayKey));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(SqliteWriteFloor)->UseRealTime();

// What the plug-in's `set` does to the store, as it must: open, write, close.
void StoreOpenWriteClose(benchmark::State& state) {
  std::int64_t number = 0;
  for (auto _ : state) {
    auto defaults = UserDefaults::open(appGroupIdentifier);
    if (!defaults) {
      state.SkipWithError("no store");
      return;
    }
    benchmark::DoNotOptimize(defaults->set(summary(++number), todayKey));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StoreOpenWriteClose)->UseRealTime();

// Sends `callsEach` sets to App at once each iteration, and reads the answer
// to each.
void setThroughStdio(benchmark::State& state, int callsEach) {
  auto started = AppProcess::start({"--no-control-socket"});
  if (!started) {
    state.SkipWithError(started.reason().c_str());
    return;
  }
  AppProcess& app = **started;
  std::int64_t callbackId = 0;
  for (auto _ : state) {
    std::string lines;
    for (int i = 0; i < callsEach; ++i) lines += setMessage(++callbackId) + '\n';
    Status answered = app.write(lines);
    for (int i = 0; i < callsEach && answered; ++i) {
      if (auto line = app.receive(); !line) answered = Failure{line.reason()};
    }
    if (!answered) {
      state.SkipWithError((answered.reason() + "; " + app.standardError()).c_str());
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * callsEach);
}

void SetRoundTripStdio(benchmark::State& state) {
  setThroughStdio(state, 1);
}
BENCHMARK(SetRoundTripStdio)->UseRealTime();

void SetThroughputStdio(benchmark::State& state) {
  setThroughStdio(state, batch);
}
BENCHMARK(SetThroughputStdio)->UseRealTime();

enum class WebLayer { stdio, browser };

void SetRoundTripPercentiles(benchmark::State& state, WebLayer webLayer) {
  std::vector<std::string> arguments{"--no-control-socket"};
  if (webLayer == WebLayer::browser) {
    auto written = writeWebApplication(runFolder / "web");
    if (!written) {
      state.SkipWithError(written.reason().c_str());
      return;
    }
    const WebApplication& application = *written;
    arguments.insert(arguments.end(), {"--web-layer", "browser", "--port", "0", "--web-dir",
                                       application.webDirectory.string(), "--native-bridge",
                                       application.nativeBridgeScript.string()});
  }
  auto started = AppProcess::start(arguments);
  if (!started) {
    state.SkipWithError(started.reason().c_str());
    return;
  }
  AppProcess& app = **started;
  if (webLayer == WebLayer::stdio) {
    measureRoundTrips(state, app, app);
    return;
  }

  auto url = app.receive();
  if (!url) {
    state.SkipWithError(
        ("App printed no page address: " + url.reason() + "; " + app.standardError()).c_str());
    return;
  }
  auto opened = BrowserPage::open(*url);
  if (!opened) {
    state.SkipWithError(
        ("cannot open the page: " + opened.reason() + "; " + app.standardError()).c_str());
    return;
  }
  measureRoundTrips(state, **opened, app);
}
BENCHMARK_CAPTURE(SetRoundTripPercentiles, stdio, WebLayer::stdio)
    ->Iterations(calls)
    ->UseManualTime();
BENCHMARK_CAPTURE(SetRoundTripPercentiles, browser, WebLayer::browser)
    ->Iterations(calls)
    ->UseManualTime();

// The page's first `appUrlOpen` listener, added on `page`: the link that
// started App, or why none came.
Status firstLinkHeard(BrowserPage& page, std::string_view expectedURL) {
  if (auto sent = page.send(R"({"type":"message","callbackId":"1","pluginId":"App",)"
                            R"("methodName":"addListener","options":{"eventName":"appUrlOpen"}})");
      !sent) {
    return sent;
  }
  auto event = page.receive();
  if (!event) return Failure{event.reason()};
  const auto data = nlohmann::json::parse(*event, nullptr, false);
  if (!data.is_object() || data.value("/data/url"_json_pointer, std::string()) != expectedURL) {
    return Failure{"the first listener heard " + *event};
  }
  return {};
}

// The address of the page the device's App serves, from its launch record.
std::optional<std::string> devicePageURL() {
  std::ifstream file(runFolder / "run" / "App-launch.json");
  const auto record = nlohmann::json::parse(file, nullptr, false);
  std::ifstream tokenFile(runFolder / "run" / "App.token");
  std::string token;
  std::getline(tokenFile, token);
  std::ifstream labelFile(runFolder / "run" / "page-label");
  std::string label;
  std::getline(labelFile, label);
  if (!record.is_object() || !record.contains("port") || token.empty() || label.empty()) {
    return std::nullopt;
  }
  return "http://app." + label + ".localhost:" + std::to_string(record["port"].get<int>()) +
         "/?token=" + token;
}

// Ends the device's App, which a tap launched apart from this process, and
// waits until it has gone.
void endDeviceApplication() {
  std::ifstream file(runFolder / "run" / "App-launch.json");
  const auto record = nlohmann::json::parse(file, nullptr, false);
  if (!record.is_object() || !record.contains("processIdentifier")) return;
  const pid_t application = record["processIdentifier"].get<pid_t>();
  if (::kill(application, SIGTERM) != 0) return;
  const auto deadline = std::chrono::steady_clock::now() + endTimeout;
  while (::kill(application, 0) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(2ms);
  }
  if (::kill(application, 0) == 0) ::kill(application, SIGKILL);
  while (fs::exists(runFolder / "run" / "App.sock")) std::this_thread::sleep_for(2ms);
}

constexpr int coldStarts = 20;

// A tap on the Today widget on a device whose App does not run: the host's
// `tap --open` launches App with the link as the phone's system does, and
// the time runs until the page's first listener hears it. The device keeps
// the launch record of the App before, as a phone keeps its installed app.
void ColdTapToFirstListener(benchmark::State& state) {
  auto written = writeWebApplication(runFolder / "web");
  if (!written) {
    state.SkipWithError(written.reason().c_str());
    return;
  }
  {  // Serves once, so that the device has a launch record and a token.
    auto first = AppProcess::start({"--web-layer", "browser", "--port", "0", "--web-dir",
                                    written->webDirectory.string(), "--native-bridge",
                                    written->nativeBridgeScript.string()});
    if (!first || !(*first)->receive()) {
      state.SkipWithError("App did not serve its page once");
      return;
    }
  }
  std::vector<double> milliseconds;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const auto tapped = testing::runProcess(
        testing::builtProgram("BrisklaneWidgetExtension"),
        {"tap", "--kind", "BrisklaneWidget", "--x", "10", "--y", "10", "--open"});
    const auto url = devicePageURL();
    Status heard = tapped.exitCode == 0 && url
                       ? Status()
                       : Status(Failure{"the tap did not launch App: " + tapped.err});
    std::unique_ptr<BrowserPage> page;
    if (heard) {
      auto opened = BrowserPage::open(*url);
      if (opened) {
        page = *std::move(opened);
        heard = firstLinkHeard(*page, "brisklane://today");
      } else {
        heard = Failure{opened.reason()};
      }
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    page.reset();
    endDeviceApplication();
    if (!heard) {
      state.SkipWithError(heard.reason().c_str());
      return;
    }
    state.SetIterationTime(elapsed);
    milliseconds.push_back(elapsed * 1000);
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  state.counters["p50_us"] = percentile(milliseconds, 50) * 1000;
}
BENCHMARK(ColdTapToFirstListener)->Iterations(coldStarts)->UseManualTime();

// The floor of a cold tap: App started directly, as a person starts it, to
// its page's first answer: the same launch, without the system's part.
void ColdStartToFirstAnswer(benchmark::State& state) {
  auto written = writeWebApplication(runFolder / "web");
  if (!written) {
    state.SkipWithError(written.reason().c_str());
    return;
  }
  std::vector<double> milliseconds;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    auto app = AppProcess::start({"--no-control-socket", "--web-layer", "browser", "--port", "0",
                                  "--web-dir", written->webDirectory.string(), "--native-bridge",
                                  written->nativeBridgeScript.string()});
    Status answered = app ? Status() : Status(Failure{app.reason()});
    if (answered) {
      auto url = (*app)->receive();
      auto page = url ? BrowserPage::open(*url)
                      : Result<std::unique_ptr<BrowserPage>>(Failure{url ? "" : url.reason()});
      answered = page ? (*page)->send(R"({"type":"message","callbackId":"1","pluginId":"App",)"
                                      R"("methodName":"getLaunchUrl"})")
                      : Status(Failure{page.reason()});
      if (answered) answered = (*page)->receive() ? Status() : Status(Failure{"no answer"});
    }
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!answered) {
      state.SkipWithError(answered.reason().c_str());
      return;
    }
    state.SetIterationTime(elapsed);
    milliseconds.push_back(elapsed * 1000);
  }
  std::sort(milliseconds.begin(), milliseconds.end());
  state.counters["p50_us"] = percentile(milliseconds, 50) * 1000;
}
BENCHMARK(ColdStartToFirstAnswer)->Iterations(coldStarts)->UseManualTime();

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  using namespace brisklane;
  std::string root = (fs::temp_directory_path() / "brisklane-bench.XXXXXX").string();
  if (::mkdtemp(root.data()) == nullptr) return 1;
  runFolder = root;
  ::setenv("BRISKLANE_HOME", root.c_str(), 1);
  // An App that ends early closes its standard input; a write to it must
  // fail, not end the benchmark.
  ::signal(SIGPIPE, SIG_IGN);

  const std::string floor = "SqliteWriteFloor/real_time";
  const std::string percentiles = "/iterations:" + std::to_string(calls) + "/manual_time";
  const std::string stdio = "SetRoundTripPercentiles/stdio" + percentiles;
  const std::string browser = "SetRoundTripPercentiles/browser" + percentiles;
  int status = bench::runWithRatios(argc, argv,
                                    {{"StoreOpenWriteClose/real_time", floor},
                                     {"SetRoundTripStdio/real_time", floor},
                                     {"SetThroughputStdio/real_time", floor},
                                     {stdio + " p50_us", floor},
                                     {stdio + " p99_us", floor},
                                     {browser + " p50_us", floor},
                                     {browser + " p99_us", floor},
                                     {browser + " p50_us", stdio + " p50_us"},
                                     {browser + " p99_us", stdio + " p99_us"},
                                     {"ColdTapToFirstListener/iterations:20/manual_time p50_us",
                                      "ColdStartToFirstAnswer/iterations:20/manual_time p50_us"}});
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return status;
}

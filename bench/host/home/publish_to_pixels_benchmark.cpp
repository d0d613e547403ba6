// Publish to pixels: how long a summary that the web layer publishes takes
// to reach the home screen, through the real programs on a fresh device.
//
// Subject: `App` (stdio web layer) and `BrisklaneWidgetExtension serve --http`
// run as on a device; for each publish, the time from writing the `set` line
// to App's standard input until (a) the host has renamed the new Today
// picture (systemSmall) into place, seen through inotify, and (b) the page's
// WebSocket has received the round's push with the new summary.
//
// Floor, measured in the same run: the least any such path can cost. One
// process writes the summary to the store and sends a datagram; another,
// already waiting on its socket, wakes, reads and decodes the summary, draws
// the Today picture and encodes it as PNG, and answers with a datagram.
//
// Each path is measured `publishes` times, one publish at a time, after a
// few publishes to warm up; the figures are the median and the 99th
// percentile. Usage: bench_publish_to_pixels [publishes] (default 300).
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/figures.h"
#include "host/render/draw.h"
#include "platform/foundation/user_defaults.h"
#include "platform/os/file_descriptor.h"
#include "tests/support/subprocess.h"
#include "widget/app_group.h"
#include "widget/today/shared_store.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr int warmUpPublishes = 20;
constexpr std::string_view todayPicture = "BrisklaneWidget-systemSmall.png";
constexpr std::string_view stopWatching = "stop-watching";

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "bench_publish_to_pixels: %s\n", why.c_str());
  std::exit(1);
}

// A summary that differs in what the widget shows from every other one.
std::string summary(int index) {
  return nlohmann::json{{"tier", index % 2 ? "urgent" : "important"},
                        {"count", index},
                        {"items", {{{"title", "Publish " + std::to_string(index)}}}}}
      .dump();
}

struct Percentiles {
  double p50;
  double p99;
};

Percentiles percentiles(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  auto at = [&samples](double fraction) {
    auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size()));
    return samples[std::min(index, samples.size() - 1)];
  };
  return {at(0.50), at(0.99)};
}

// --- Floor ---

sockaddr_un socketAddress(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  return address;
}

FileDescriptor boundDatagramSocket(const std::filesystem::path& path) {
  FileDescriptor descriptor(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  sockaddr_un address = socketAddress(path);
  if (!descriptor ||
      ::bind(descriptor.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    fail("cannot bind " + path.string());
  }
  return descriptor;
}

void sendTo(int descriptor, const std::filesystem::path& path, std::string_view message) {
  sockaddr_un address = socketAddress(path);
  ::sendto(descriptor, message.data(), message.size(), 0, reinterpret_cast<sockaddr*>(&address),
           sizeof address);
}

// The waiting process: on each datagram, the Today picture from the store.
[[noreturn]] void drawOnEachDatagram(int socket, const std::filesystem::path& answerPath) {
  const WidgetConfiguration today = BrisklaneWidgetBundle{}.body().front();
  char message[64];
  while (true) {
    ssize_t size = ::recv(socket, message, sizeof message, 0);
    if (size < 0 || std::string_view(message, static_cast<std::size_t>(size)) == "stop") _exit(0);
    const AnyEntry entry = anyEntry(TodayEntry{.date = Date::now(), .payload = loadPayload()});
    const WidgetScene scene =
        makeScene(evaluated(today.content(entry),
                            EnvironmentValues{.widgetFamily = WidgetFamily::systemSmall}),
                  WidgetFamily::systemSmall, defaultDeviceClass);
    const bool drawn = renderPng(scene).has_value();
    sendTo(socket, answerPath, drawn ? "drawn" : "failed");
  }
}

std::vector<double> measureFloor(const std::filesystem::path& home, int publishes) {
  const auto drawerPath = home / "floor-drawer.sock";
  const auto writerPath = home / "floor-writer.sock";
  FileDescriptor drawerSocket = boundDatagramSocket(drawerPath);
  const pid_t drawer = ::fork();
  if (drawer < 0) fail("cannot fork");
  if (drawer == 0) drawOnEachDatagram(drawerSocket.get(), writerPath);
  drawerSocket.reset();
  const FileDescriptor writerSocket = boundDatagramSocket(writerPath);

  std::vector<double> samples;
  for (int index = 0; index < warmUpPublishes + publishes; ++index) {
    const auto start = Clock::now();
    auto store = UserDefaults::open(appGroupIdentifier);
    if (!store || !store->set(summary(index), todayKey)) fail("cannot write the store");
    store.reset();
    sendTo(writerSocket.get(), drawerPath, "reloadAllTimelines");
    char answer[16];
    ssize_t size = ::recv(writerSocket.get(), answer, sizeof answer, 0);
    if (size != 5) fail("the drawing process failed");
    if (index >= warmUpPublishes) samples.push_back(Milliseconds(Clock::now() - start).count());
  }
  sendTo(writerSocket.get(), drawerPath, "stop");
  ::waitpid(drawer, nullptr, 0);
  return samples;
}

// --- Subject ---

// Starts one of the build's programs with its standard output on a pipe.
std::unique_ptr<testing::Process> start(std::string_view program,
                                        const std::vector<std::string>& arguments) {
  auto child = std::make_unique<testing::Process>(testing::builtProgram(program), arguments);
  if (!child->failure().empty()) fail(child->failure());
  return child;
}

// Moments at which something was seen, handed from a watching thread to the
// measuring one.
class Sightings {
 public:
  void see(int index, Clock::time_point moment) {
    {
      std::lock_guard lock(mutex_);
      seen_.emplace_back(index, moment);
    }
    changed_.notify_all();
  }
  // The moment `index` was seen (waiting for it), or nothing after 10 s.
  std::optional<Clock::time_point> await(int index) {
    std::unique_lock lock(mutex_);
    std::optional<Clock::time_point> found;
    changed_.wait_for(lock, std::chrono::seconds(10), [&] {
      for (const auto& [seenIndex, moment] : seen_) {
        if (seenIndex == index) found = moment;
      }
      return found.has_value();
    });
    return found;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<int, Clock::time_point>> seen_;
};

// The page's WebSocket, as the home-screen page opens it.
class PushWatcher {
 public:
  explicit PushWatcher(const std::string& pageURL) : stream_(context_) {
    // http://HOST:PORT/?token=HEX, the host a name below localhost that
    // the watcher, like a browser, reaches on 127.0.0.1.
    const auto hostStart = pageURL.find("//") + 2;
    const auto hostEnd = pageURL.find('/', hostStart);
    const std::string host = pageURL.substr(hostStart, hostEnd - hostStart);
    const std::string port = host.substr(host.rfind(':') + 1);
    const std::string token = pageURL.substr(pageURL.find("token=") + 6);
    beast::error_code error;
    net::ip::tcp::endpoint endpoint(net::ip::address_v4::loopback(),
                                    static_cast<unsigned short>(std::stoi(port)));
    stream_.next_layer().connect(endpoint, error);
    if (error) fail("cannot reach the home-screen page: " + error.message());
    stream_.set_option(websocket::stream_base::decorator([host](websocket::request_type& request) {
      request.set(beast::http::field::origin, "http://" + host);
    }));
    stream_.handshake(host, "/socket?token=" + token, error);
    if (error) fail("the home-screen page refused its socket: " + error.message());
  }

  // Reads pushes until the socket closes, telling `sightings` the Today
  // summary's count of each state.
  void watch(Sightings& sightings) {
    while (true) {
      beast::flat_buffer buffer;
      beast::error_code error;
      stream_.read(buffer, error);
      if (error) return;
      const auto moment = Clock::now();
      auto message = nlohmann::json::parse(beast::buffers_to_string(buffer.data()), nullptr, false);
      if (message.is_discarded() || message["type"] != "state") continue;
      for (const auto& widget : message["widgets"]) {
        if (widget["id"] == "BrisklaneWidget-systemSmall" && widget.contains("entry") &&
            widget["entry"]["payload"].is_object()) {
          sightings.see(widget["entry"]["payload"]["count"].get<int>(), moment);
        }
      }
    }
  }

  void close() {
    beast::error_code ignored;
    stream_.next_layer().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
  }

 private:
  net::io_context context_;
  websocket::stream<net::ip::tcp::socket> stream_;
};

struct SubjectSamples {
  std::vector<double> picture;
  std::vector<double> push;
};

SubjectSamples measureSubject(const std::filesystem::path& home, int publishes) {
  const std::filesystem::path widgets = home / "widgets";
  std::filesystem::create_directories(widgets);

  FileDescriptor watch(::inotify_init1(IN_CLOEXEC));
  if (!watch || ::inotify_add_watch(watch.get(), widgets.c_str(), IN_MOVED_TO) < 0) {
    fail("cannot watch " + widgets.string());
  }
  auto host = start("BrisklaneWidgetExtension", {"serve", "--http", "--port", "0"});
  const auto pageURL = host->readLine(std::chrono::seconds(10));
  if (!pageURL || !pageURL->starts_with("http://")) {
    fail("serve printed no page address");
  }
  std::thread hostOutput([&host] { host->readToEnd(); });  // so that neither blocks on its output
  auto app = start("App", {"--no-control-socket"});
  std::thread appOutput([&app] { app->readToEnd(); });

  Sightings pictures, pushes;
  std::atomic<int> publishing{-1};
  std::thread pictureWatcher([&] {
    alignas(inotify_event) char buffer[4096];
    while (true) {
      ssize_t size = ::read(watch.get(), buffer, sizeof buffer);
      if (size <= 0) return;
      const auto moment = Clock::now();
      for (char* at = buffer; at < buffer + size;) {
        auto* event = reinterpret_cast<inotify_event*>(at);
        if (event->len > 0 && std::string_view(event->name) == todayPicture) {
          pictures.see(publishing.load(), moment);
        }
        if (event->len > 0 && std::string_view(event->name) == stopWatching) return;
        at += sizeof(inotify_event) + event->len;
      }
    }
  });
  PushWatcher page(*pageURL);
  std::thread pushWatcher([&] { page.watch(pushes); });

  SubjectSamples samples;
  for (int index = 0; index < warmUpPublishes + publishes; ++index) {
    const std::string line = nlohmann::json{{"type", "message"},
                                            {"callbackId", std::to_string(index)},
                                            {"pluginId", "SharedTodayWidget"},
                                            {"methodName", "set"},
                                            {"options", {{"payload", summary(index + 1)}}}}
                                 .dump() +
                             "\n";
    publishing = index + 1;
    const auto start = Clock::now();
    if (!app->write(line)) fail("cannot write to App");
    const auto picture = pictures.await(index + 1);
    const auto push = pushes.await(index + 1);
    if (!picture || !push) fail("publish " + std::to_string(index) + " did not reach the page");
    if (index >= warmUpPublishes) {
      samples.picture.push_back(Milliseconds(*picture - start).count());
      samples.push.push_back(Milliseconds(*push - start).count());
    }
  }

  app->closeInput();
  app->wait();
  host->signal(SIGTERM);
  host->wait();
  page.close();
  pushWatcher.join();
  // A blocked read on the watch does not end when it is closed: a file moved
  // into the folder ends it.
  std::filesystem::create_directory(home / std::string(stopWatching));
  std::filesystem::rename(home / std::string(stopWatching), widgets / std::string(stopWatching));
  pictureWatcher.join();
  watch.reset();
  hostOutput.join();
  appOutput.join();
  return samples;
}

}  // namespace
}  // namespace brisklane

int main(int argc, char** argv) {
  using namespace brisklane;
  // One argument, the number of publishes; other arguments (the options
  // run-benchmarks passes to every program) are left alone.
  int publishes = 300;
  if (argc > 1) {
    const std::string_view count = argv[1];
    int parsed = 0;
    auto [end, error] = std::from_chars(count.data(), count.data() + count.size(), parsed);
    if (error == std::errc{} && end == count.data() + count.size() && parsed > 0)
      publishes = parsed;
  }
  std::string pattern =
      (std::filesystem::temp_directory_path() / "brisklane-publish.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) fail("cannot make a device folder");
  const std::filesystem::path home = pattern;
  ::setenv("BRISKLANE_HOME", home.c_str(), 1);
  ::signal(SIGPIPE, SIG_IGN);

  // The floor forks its drawing process before this one starts any thread.
  const Percentiles floor = percentiles(measureFloor(home, publishes));
  const SubjectSamples subject = measureSubject(home, publishes);
  const Percentiles picture = percentiles(subject.picture);
  const Percentiles push = percentiles(subject.push);

  std::printf("publish to pixels, %d publishes on a fresh device\n\n", publishes);
  std::printf("%-44s %10s %10s %10s %10s\n", "path", "p50", "p99", "p50/floor", "p99/floor");
  auto row = [&floor](const char* name, Percentiles figures) {
    std::printf("%-44s %7.2f ms %7.2f ms %9.2fx %9.2fx\n", name, figures.p50, figures.p99,
                figures.p50 / floor.p50, figures.p99 / floor.p99);
    bench::recordFigure(std::string(name) + " p50", figures.p50, "floor p50", floor.p50);
    bench::recordFigure(std::string(name) + " p99", figures.p99, "floor p99", floor.p99);
  };
  row("set line -> Today picture in place", picture);
  row("set line -> page's push message", push);
  row("floor: store, datagram, read, draw, encode", floor);
  std::error_code ignored;
  std::filesystem::remove_all(home, ignored);
  return 0;
}

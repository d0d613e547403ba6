#include "platform/capacitor/stdio_web_layer.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>

#include "platform/dispatch/dispatch_queue.h"

namespace brisklane {
namespace {

class DescriptorConnection final : public WebLayerConnection {
 public:
  explicit DescriptorConnection(int output) : output_(output) {}

  void send(std::string message) override {
    message.push_back('\n');
    std::lock_guard lock(mutex_);
    if (!open_.load()) return;
    std::string_view rest = message;
    while (!rest.empty()) {
      ssize_t written = ::write(output_, rest.data(), rest.size());
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        open_.store(false);  // the reader of our output has gone
        return;
      }
      rest.remove_prefix(static_cast<size_t>(written));
    }
  }

  [[nodiscard]] bool isOpen() const override { return open_.load(); }

 private:
  int output_;
  std::mutex mutex_;  // keeps lines whole when several threads settle at once
  std::atomic<bool> open_{true};
};

}  // namespace

std::unique_ptr<StdioWebLayer> StdioWebLayer::start(std::weak_ptr<CAPBridge> bridge, int input,
                                                    int output, std::function<void()> onEnd,
                                                    Report report) {
  std::unique_ptr<StdioWebLayer> layer(new StdioWebLayer());
  layer->wakeup_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (layer->wakeup_ < 0) return nullptr;
  layer->bridge_ = std::move(bridge);
  layer->connection_ = std::make_shared<DescriptorConnection>(output);
  layer->onEnd_ = std::move(onEnd);
  layer->report_ = std::move(report);
  StdioWebLayer* self = layer.get();
  layer->reader_ = std::thread([self, input] { self->read(input); });
  return layer;
}

StdioWebLayer::~StdioWebLayer() {
  std::uint64_t one = 1;
  (void)::write(wakeup_, &one, sizeof one);
  if (reader_.joinable()) reader_.join();
  ::close(wakeup_);
}

void StdioWebLayer::deliver(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.find_first_not_of(" \t") == std::string::npos) return;
  DispatchQueue::main().async([bridge = bridge_, connection = connection_, line = std::move(line)] {
    if (auto target = bridge.lock()) target->receive(line, connection);
  });
}

void StdioWebLayer::read(int input) {
  std::string line;
  bool discarding = false;  // inside a line that is too long
  char buffer[64 * 1024];
  while (true) {
    pollfd watched[2] = {{.fd = input, .events = POLLIN, .revents = 0},
                         {.fd = wakeup_, .events = POLLIN, .revents = 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[1].revents != 0) return;  // stopped: no end-of-input notice
    ssize_t got = ::read(input, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) break;
    std::string_view chunk(buffer, static_cast<size_t>(got));
    while (!chunk.empty()) {
      size_t end = chunk.find('\n');
      std::string_view piece = chunk.substr(0, end);
      if (!discarding) {
        line.append(piece);
        if (line.size() > maximumBridgeMessageBytes) {
          if (report_)
            report_("a line longer than " + std::to_string(maximumBridgeMessageBytes) +
                    " bytes was skipped");
          line.clear();
          line.shrink_to_fit();
          discarding = true;
        }
      }
      if (end == std::string_view::npos) break;
      if (!discarding) deliver(std::move(line));
      line.clear();
      discarding = false;
      chunk.remove_prefix(end + 1);
    }
  }
  if (!discarding && !line.empty()) deliver(std::move(line));
  if (onEnd_) DispatchQueue::main().async(onEnd_);
}

}  // namespace brisklane

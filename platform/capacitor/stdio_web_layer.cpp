#include "platform/capacitor/stdio_web_layer.h"

#include <array>
#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/posix/stream_descriptor.hpp>
#include <boost/asio/post.hpp>
#include <mutex>
#include <optional>

#include "platform/dispatch/dispatch_queue.h"
#include "platform/os/file_descriptor.h"

namespace brisklane {
namespace {

// Replies are written as they settle, from whichever thread settles them; a
// lock keeps each line whole. Writing blocks like any program's standard
// output, which may be a file or a terminal as well as a pipe.
class DescriptorConnection final : public WebLayerConnection {
 public:
  explicit DescriptorConnection(int output) : output_(output) {}

  void send(std::string message) override {
    message.push_back('\n');
    std::lock_guard lock(mutex_);
    if (!open_.load()) return;
    if (!writeAll(output_, message)) open_.store(false);  // the reader of our output has gone
  }

  [[nodiscard]] bool isOpen() const override { return open_.load(); }

 private:
  int output_;
  std::mutex mutex_;
  std::atomic<bool> open_{true};
};

}  // namespace

// Reads the input on the main queue's event loop and splits it into lines.
// A pipe, socket or terminal is watched by the loop; a regular file or a
// device such as /dev/null cannot be, and never blocks: it is read a chunk
// per turn of the loop instead.
class StdioWebLayer::Reader : public std::enable_shared_from_this<Reader> {
 public:
  Reader(std::weak_ptr<CAPBridge> bridge, std::shared_ptr<WebLayerConnection> connection,
         std::function<void()> onEnd, Report report)
      : bridge_(std::move(bridge)),
        connection_(std::move(connection)),
        onEnd_(std::move(onEnd)),
        report_(std::move(report)),
        input_(DispatchQueue::main().context()) {}

  bool open(int input) {
    auto copy = duplicate(input);
    if (!copy) return false;
    boost::system::error_code error;
    input_.assign(copy->get(), error);
    if (error) {
      watched_ = false;
      input_.release();
      file_ = std::move(copy).value();
    } else {
      static_cast<void>(copy->release());  // the stream descriptor owns it now
    }
    return true;
  }

  void readNext() {
    auto self = shared_from_this();
    if (watched_) {
      input_.async_read_some(boost::asio::buffer(buffer_),
                             [self](const boost::system::error_code& error, std::size_t got) {
                               self->received(error ? 0 : got);
                             });
      return;
    }
    boost::asio::post(DispatchQueue::main().context(), [self] {
      if (self->stopped_) return;
      const auto got = readSome(self->file_.get(), self->buffer_);
      self->received(got ? *got : 0);
    });
  }

  void stop() {
    stopped_ = true;
    boost::system::error_code ignored;
    input_.close(ignored);
    file_.reset();
  }

 private:
  // `got` bytes arrived in the buffer; none means the input ended.
  void received(std::size_t got) {
    if (stopped_) return;
    if (got == 0) {
      if (!discarding_ && !line_.empty()) deliver(std::move(line_));
      stop();
      if (onEnd_) onEnd_();
      return;
    }
    std::string_view chunk(buffer_.data(), got);
    while (!chunk.empty() && !stopped_) {
      size_t end = chunk.find('\n');
      if (!discarding_) {
        line_.append(chunk.substr(0, end));
        if (line_.size() > maximumBridgeMessageBytes) skipOverlongLine();
      }
      if (end == std::string_view::npos) break;
      if (!discarding_) deliver(std::exchange(line_, {}));
      discarding_ = false;
      chunk.remove_prefix(end + 1);
    }
    if (!stopped_) readNext();
  }

  void skipOverlongLine() {
    if (report_) {
      report_("a line longer than " + std::to_string(maximumBridgeMessageBytes) +
              " bytes was skipped");
    }
    line_ = std::string();
    discarding_ = true;
  }

  void deliver(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) return;
    if (auto bridge = bridge_.lock()) bridge->receive(line, connection_);
  }

  std::weak_ptr<CAPBridge> bridge_;
  std::shared_ptr<WebLayerConnection> connection_;
  std::function<void()> onEnd_;
  Report report_;
  boost::asio::posix::stream_descriptor input_;
  FileDescriptor file_;  // the input, when the loop cannot watch it
  bool watched_ = true;
  bool stopped_ = false;
  std::string line_;
  bool discarding_ = false;  // inside a line that is too long
  std::array<char, std::size_t{64} * 1024> buffer_{};
};

std::unique_ptr<StdioWebLayer> StdioWebLayer::start(std::weak_ptr<CAPBridge> bridge, int input,
                                                    int output, std::function<void()> onEnd,
                                                    Report report) {
  std::unique_ptr<StdioWebLayer> layer(new StdioWebLayer());
  layer->connection_ = std::make_shared<DescriptorConnection>(output);
  layer->reader_ = std::make_shared<Reader>(std::move(bridge), layer->connection_, std::move(onEnd),
                                            std::move(report));
  if (!layer->reader_->open(input)) return nullptr;
  layer->reader_->readNext();
  return layer;
}

StdioWebLayer::~StdioWebLayer() {
  reader_->stop();
}

}  // namespace brisklane

// A web layer on a pair of file descriptors (standard input and output): one
// bridge message per line in, one per line out. A reader thread splits the
// input into lines and hands each to the bridge through the main queue, so
// the bridge sees them in order on the main thread; replies are written whole,
// one line at a time, from any thread.
//
// Blank lines are skipped; a line longer than `maximumBridgeMessageBytes` is
// reported and skipped. When the input ends, `onEnd` runs on the main queue
// after every line before it.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <thread>

#include "platform/capacitor/bridge.h"

namespace brisklane {

class StdioWebLayer {
 public:
  using Report = std::function<void(std::string_view)>;

  // Starts reading `input`; replies go to `output`. Nothing when the reader
  // cannot be started.
  [[nodiscard]] static std::unique_ptr<StdioWebLayer> start(std::weak_ptr<CAPBridge> bridge,
                                                            int input, int output,
                                                            std::function<void()> onEnd,
                                                            Report report);
  // Stops reading and joins the reader; the output stays usable until then.
  ~StdioWebLayer();
  StdioWebLayer(const StdioWebLayer&) = delete;
  StdioWebLayer& operator=(const StdioWebLayer&) = delete;

  [[nodiscard]] std::shared_ptr<WebLayerConnection> connection() const { return connection_; }

 private:
  StdioWebLayer() = default;
  void read(int input);
  void deliver(std::string line);

  std::weak_ptr<CAPBridge> bridge_;
  std::shared_ptr<WebLayerConnection> connection_;
  std::function<void()> onEnd_;
  Report report_;
  int wakeup_ = -1;  // an eventfd that ends the reader
  std::thread reader_;
};

}  // namespace brisklane

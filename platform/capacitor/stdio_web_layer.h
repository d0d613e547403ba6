// A web layer on a pair of file descriptors (standard input and output): one
// bridge message per line in, one per line out. The input is read on the
// main queue's event loop and each line handed to the bridge there, in
// order; replies are written whole, one line at a time, from any thread.
//
// Blank lines are skipped; a line longer than `maximumBridgeMessageBytes` is
// reported and skipped. When the input ends, `onEnd` runs on the main queue
// after every line before it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/capacitor/bridge.h"

namespace brisklane {

class StdioWebLayer {
 public:
  using Report = std::function<void(std::string_view)>;

  // Starts reading `input` (which the layer duplicates, so the caller keeps
  // its own); replies go to `output`. Nothing when the input cannot be read.
  [[nodiscard]] static std::unique_ptr<StdioWebLayer> start(std::weak_ptr<CAPBridge> bridge,
                                                            int input, int output,
                                                            std::function<void()> onEnd,
                                                            Report report);
  // Stops reading: no line and no end-of-input notice comes afterwards.
  ~StdioWebLayer();
  StdioWebLayer(const StdioWebLayer&) = delete;
  StdioWebLayer& operator=(const StdioWebLayer&) = delete;

  [[nodiscard]] std::shared_ptr<WebLayerConnection> connection() const { return connection_; }

 private:
  class Reader;

  StdioWebLayer() = default;

  std::shared_ptr<WebLayerConnection> connection_;
  std::shared_ptr<Reader> reader_;
};

}  // namespace brisklane

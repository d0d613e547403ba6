// The origin of a server on this machine's loopback address, as a developer
// names one (a development server that App follows, the device's home-screen
// page): "http://127.0.0.1:PORT", "http://localhost:PORT" or
// "http://[::1]:PORT", a final "/" allowed. Nothing else passes: not another
// host, scheme or a path, so that such a name never sends a request, or a
// header, off the machine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brisklane {

struct LoopbackOrigin {
  std::string host;  // "127.0.0.1", "localhost" or "::1": what the resolver takes
  std::uint16_t port = 0;

  // "127.0.0.1:5173", "[::1]:5173": the Host header such a server expects.
  [[nodiscard]] std::string hostAndPort() const;
  // "http://127.0.0.1:5173"
  [[nodiscard]] std::string origin() const { return "http://" + hostAndPort(); }

  friend bool operator==(const LoopbackOrigin&, const LoopbackOrigin&) = default;
};

// `url` as a loopback origin; nothing when it is not one (see above).
[[nodiscard]] std::optional<LoopbackOrigin> loopbackOrigin(std::string_view url);

}  // namespace brisklane

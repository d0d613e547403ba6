// The one shape of a failed system call's message: "cannot OPERATION
// SUBJECT: REASON", the reason being the system's own words for errno, as in
// "cannot bind /home/ana/.local/share/brisklane/run/widget-host.sock: Address
// already in use". Every operation of this layer that can fail answers a
// `SystemResult`, which keeps errno beside the message for callers that
// tell one failure from another (a socket already in use, a lock held).
#pragma once

#include <string>
#include <string_view>

#include "base/result.h"

namespace brisklane {

struct SystemError {
  int error = 0;        // errno as the call left it
  std::string message;  // the whole sentence, for a person
};

template <class T>
using SystemResult = Result<T, SystemError>;
using SystemStatus = Result<void, SystemError>;

// "cannot `operation` `subject`: <strerror(error)>". `error` is passed, not
// read here, because building the subject may itself change errno.
[[nodiscard]] SystemError systemError(std::string_view operation, std::string_view subject,
                                      int error);
[[nodiscard]] inline Failure<SystemError> systemFailure(std::string_view operation,
                                                        std::string_view subject, int error) {
  return Failure{systemError(operation, subject, error)};
}

// The status as the layers above keep it: the message alone.
[[nodiscard]] inline Status asStatus(const SystemStatus& status) {
  if (status) return {};
  return Failure{status.reason().message};
}

}  // namespace brisklane

#include "platform/os/system_error.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/os/system_faults.h"

namespace brisklane {
namespace {

std::atomic<testing::SystemFault> injectedFault{testing::SystemFault::none};
std::atomic<int> injectedErrno{0};

int naturalError(testing::SystemFault fault) {
  switch (fault) {
    case testing::SystemFault::spawn:
      return EAGAIN;
    case testing::SystemFault::bind:
      return EACCES;
    case testing::SystemFault::write:
      return ENOSPC;
    case testing::SystemFault::rename:
      return EROFS;
    case testing::SystemFault::none:
      break;
  }
  return 0;
}

}  // namespace

SystemError systemError(std::string_view operation, std::string_view subject, int error) {
  std::string message = "cannot ";
  message.append(operation).append(" ").append(subject).append(": ");
  return SystemError{.error = error, .message = message + std::strerror(error)};
}

int injectedError(testing::SystemFault fault) {
  if (injectedFault.load(std::memory_order_relaxed) != fault) return 0;
  return injectedErrno.load(std::memory_order_relaxed);
}

namespace testing {

SystemFaultInjection::SystemFaultInjection(SystemFault fault, int error) {
  injectedErrno.store(error != 0 ? error : naturalError(fault), std::memory_order_relaxed);
  injectedFault.store(fault, std::memory_order_relaxed);
}

SystemFaultInjection::~SystemFaultInjection() {
  injectedFault.store(SystemFault::none, std::memory_order_relaxed);
}

}  // namespace testing
}  // namespace brisklane

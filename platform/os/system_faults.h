// The one seam through which tests make the operating system fail: while a
// `SystemFaultInjection` lives, every operation of the named kind fails in
// the whole process as the real failure would, with an errno that reads
// naturally in its message ("cannot start .../App: Resource temporarily
// unavailable"). Only this layer asks `injectedError`.
#pragma once

namespace brisklane {
namespace testing {

enum class SystemFault {
  none,
  spawn,   // starting a process (EAGAIN)
  bind,    // binding a Unix socket (EACCES)
  write,   // writing to a descriptor (ENOSPC)
  rename,  // renaming a file over another (EROFS)
};

class SystemFaultInjection {
 public:
  // `error` 0: the fault's own errno, as listed above.
  explicit SystemFaultInjection(SystemFault fault, int error = 0);
  ~SystemFaultInjection();
  SystemFaultInjection(const SystemFaultInjection&) = delete;
  SystemFaultInjection& operator=(const SystemFaultInjection&) = delete;
};

}  // namespace testing

// The errno an operation of kind `fault` is to fail with now; 0 while none
// is injected.
[[nodiscard]] int injectedError(testing::SystemFault fault);

}  // namespace brisklane

// The widget host's clock: the system clock moved by an offset that the
// home-screen page sets, so that a person can watch a reload moment come
// without waiting for it. Installed as the process's clock (`setClock`), it
// is the clock the providers read. Safe from any thread.
#pragma once

#include <chrono>

#include "platform/foundation/date.h"

namespace brisklane {

// Makes the host's clock the process's clock, at no offset.
void installHostClock();

// Makes the process's clock stand still at `moment` (offsets still move
// it), so that what is drawn for a moment is drawn the same every time;
// `installHostClock` lets it run again.
void installStoppedClock(Date moment);

// Moves the clock by `offset` more; a negative one moves it back.
void moveHostClock(std::chrono::seconds offset);
void resetHostClock();
[[nodiscard]] std::chrono::seconds hostClockOffset();

}  // namespace brisklane

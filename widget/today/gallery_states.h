// The Today widget's states worth a look in the host's gallery: the
// placeholder, each of the three status lines shown without a summary, and
// summaries from nothing due to an overflowing list and a title too long for
// its row. Each state says what App left in the store.
#pragma once

#include <vector>

#include "widget/widget_configuration.h"

namespace brisklane {

[[nodiscard]] std::vector<GalleryState> todayGalleryStates();

}  // namespace brisklane

// The extension's widgets: the Today widget and the Quick-add widget, and
// the bundle that declares them to the host, Today first. Every body is
// built afresh from constants; calling one twice gives equal declarations.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/process_info.h"
#include "widget/today/provider.h"
#include "widget/voice/provider.h"
#include "widget/widget_configuration.h"

namespace brisklane {

inline constexpr std::string_view todayWidgetKind = "BrisklaneWidget";
inline constexpr std::string_view voiceWidgetKind = "BrisklaneVoiceWidget";

// From this version on the host draws container backgrounds.
inline constexpr OperatingSystemVersion containerBackgroundVersion{17, 0, 0};

struct BrisklaneWidget {
  std::string kind{todayWidgetKind};

  [[nodiscard]] StaticConfiguration<Provider> body() const;
};

struct VoiceWidget {
  std::string kind{voiceWidgetKind};

  [[nodiscard]] StaticConfiguration<VoiceProvider> body() const;
};

struct BrisklaneWidgetBundle : WidgetBundle<BrisklaneWidgetBundle> {
  [[nodiscard]] std::vector<WidgetConfiguration> body() const;
};

}  // namespace brisklane

#include "platform/plugins/capacitor_updater_plugin.h"

#include <optional>

#include "platform/device/device_folder.h"
#include "platform/os/files.h"
#include "platform/os/random.h"
#include "platform/uikit/uikit.h"

namespace brisklane {
namespace {

constexpr std::string_view builtinBundleIdentifier = "builtin";

JSObject builtinBundle() {
  return {{"id", builtinBundleIdentifier},
          {"version", mainBundleInformation().shortVersion},
          {"downloaded", "1970-01-01T00:00:00.000Z"},
          {"checksum", ""},
          {"status", "success"}};
}

bool isDeviceIdentifier(std::string_view text) {
  if (text.size() != 36) return false;
  for (std::size_t index = 0; index < text.size(); ++index) {
    const char c = text[index];
    const bool dash = index == 8 || index == 13 || index == 18 || index == 23;
    if (dash ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// The device's identifier for the updater, a lowercase UUID made once and
// kept in `$BRISKLANE_HOME/updater-device-id`; nothing when it can be
// neither read nor made.
std::optional<std::string> deviceIdentifier() {
  const std::filesystem::path path = deviceRoot() / "updater-device-id";
  if (auto kept = readFile(path, 64); kept && isDeviceIdentifier(*kept)) return std::move(*kept);
  auto bytes = randomHex(16);
  if (!bytes) return std::nullopt;
  std::string identifier = *bytes;
  identifier[12] = '4';  // a random (version 4) UUID
  for (std::size_t dash : {8, 13, 18, 23}) identifier.insert(dash, 1, '-');
  if (!writeFileMakingFolders(path, identifier)) return std::nullopt;
  return identifier;
}

}  // namespace

std::vector<CAPPluginMethod> CapacitorUpdaterPlugin::methods() {
  using Plugin = CapacitorUpdaterPlugin;
  std::vector<CAPPluginMethod> table{
      makePluginMethod<&Plugin::notifyAppReady>("notifyAppReady", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::current>("current", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getBuiltinVersion>("getBuiltinVersion", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getDeviceId>("getDeviceId", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getPluginVersion>("getPluginVersion", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::list>("list", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getLatest>("getLatest", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::isAutoUpdateEnabled>("isAutoUpdateEnabled", CAPPluginReturnPromise),
      makePluginMethod<&Plugin::isAutoUpdateAvailable>("isAutoUpdateAvailable",
                                                       CAPPluginReturnPromise),
      makePluginMethod<&Plugin::getNextBundle>("getNextBundle", CAPPluginReturnPromise)};
  for (std::string_view name : {"setMultiDelay", "cancelDelay"}) {
    table.push_back(makePluginMethod<&Plugin::nothingToDelay>(name, CAPPluginReturnPromise));
  }
  for (std::string_view name :
       {"download", "next", "set", "reload", "reset", "delete", "setBundleError", "setUpdateUrl",
        "setStatsUrl", "setChannelUrl", "triggerUpdateCheck", "setChannel", "unsetChannel",
        "getChannel", "listChannels", "setCustomId", "getMissingBundleFiles",
        "getBundleDownloadSize"}) {
    table.push_back(makePluginMethod<&Plugin::builtInBundleOnly>(name, CAPPluginReturnPromise));
  }
  return table;
}

void CapacitorUpdaterPlugin::notifyAppReady(CAPPluginCall call) {
  call.resolve({{"bundle", builtinBundle()}});
}

void CapacitorUpdaterPlugin::current(CAPPluginCall call) {
  call.resolve({{"bundle", builtinBundle()}, {"native", mainBundleInformation().shortVersion}});
}

void CapacitorUpdaterPlugin::getBuiltinVersion(CAPPluginCall call) {
  call.resolve({{"version", mainBundleInformation().shortVersion}});
}

void CapacitorUpdaterPlugin::getDeviceId(CAPPluginCall call) {
  auto identifier = deviceIdentifier();
  if (!identifier) {
    call.reject("cannot keep the device's identifier in " + deviceRoot().string());
    return;
  }
  call.resolve({{"deviceId", *identifier}});
}

void CapacitorUpdaterPlugin::getPluginVersion(CAPPluginCall call) {
  call.resolve({{"version", capacitorUpdaterPluginVersion}});
}

void CapacitorUpdaterPlugin::list(CAPPluginCall call) {
  call.resolve({{"bundles", JSObject::array()}});
}

void CapacitorUpdaterPlugin::getLatest(CAPPluginCall call) {
  call.resolve({{"version", mainBundleInformation().shortVersion},
                {"kind", "up_to_date"},
                {"message", "the built-in bundle is the only one"}});
}

void CapacitorUpdaterPlugin::isAutoUpdateEnabled(CAPPluginCall call) {
  call.resolve({{"enabled", false}});
}

void CapacitorUpdaterPlugin::isAutoUpdateAvailable(CAPPluginCall call) {
  call.resolve({{"available", false}});
}

void CapacitorUpdaterPlugin::getNextBundle(CAPPluginCall call) {
  call.resolve();
}

void CapacitorUpdaterPlugin::nothingToDelay(CAPPluginCall call) {
  call.resolve();
}

void CapacitorUpdaterPlugin::builtInBundleOnly(CAPPluginCall call) {
  call.reject(std::string(builtInBundleOnlyMessage));
}

}  // namespace brisklane

#include "platform/capacitor/capacitor_configuration.h"

#include <nlohmann/json.hpp>

#include "platform/os/files.h"

namespace brisklane {
namespace {

using Json = nlohmann::json;

// A configuration is a few hundred bytes; a larger file is not one.
constexpr std::size_t configurationLimit = std::size_t{1024} * 1024;

std::optional<std::string> readConfigurationFile(const std::filesystem::path& path) {
  auto text = readFile(path, configurationLimit);
  if (!text) return std::nullopt;
  return std::move(text).value();
}

}  // namespace

std::optional<std::filesystem::path> findCapacitorConfiguration(
    const std::filesystem::path& webDirectory) {
  std::error_code error;
  std::filesystem::path folder = std::filesystem::absolute(webDirectory, error);
  for (; !error && folder.has_relative_path(); folder = folder.parent_path()) {
    std::filesystem::path candidate = folder / capacitorConfigurationFileName;
    // A folder without it is no error: the search goes on upwards.
    std::error_code missing;
    if (std::filesystem::is_regular_file(candidate, missing)) return candidate;
  }
  return std::nullopt;
}

CapacitorConfiguration decodeCapacitorConfiguration(
    std::string_view json, const std::function<void(std::string_view)>& warn) {
  CapacitorConfiguration configuration;
  const Json document = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) {
    warn("it is not a JSON object; it is ignored");
    return configuration;
  }
  auto text = [&](const Json& object, const char* key, const char* name) -> std::string {
    auto found = object.find(key);
    if (found == object.end()) return {};
    if (!found->is_string()) {
      warn(std::string(name) + " is not a string; it is ignored");
      return {};
    }
    return found->get<std::string>();
  };
  configuration.appId = text(document, "appId", "appId");
  configuration.appName = text(document, "appName", "appName");
  if (auto server = document.find("server"); server != document.end()) {
    if (server->is_object()) {
      configuration.serverURL = text(*server, "url", "server.url");
    } else {
      warn("server is not an object; it is ignored");
    }
  }
  return configuration;
}

CapacitorConfiguration readCapacitorConfiguration(
    const std::filesystem::path& webDirectory, const std::function<void(std::string_view)>& warn) {
  auto path = findCapacitorConfiguration(webDirectory);
  if (!path) return {};
  auto prefixed = [&](std::string_view line) { warn(path->string() + ": " + std::string(line)); };
  auto text = readConfigurationFile(*path);
  if (!text) {
    prefixed("cannot be read; it is ignored");
    return {.file = *path};
  }
  CapacitorConfiguration configuration = decodeCapacitorConfiguration(*text, prefixed);
  configuration.file = *path;
  return configuration;
}

}  // namespace brisklane

#include "platform/device/application_launch.h"

#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/device/device_folder.h"
#include "platform/os/files.h"
#include "platform/web/loopback_origin.h"
#include "platform/web/loopback_server.h"

namespace brisklane {
namespace {

using Json = nlohmann::json;

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
  // Records and tokens are a few hundred bytes; anything much larger is not one.
  auto text = readFile(path, std::size_t{64} * 1024);
  if (!text) return std::nullopt;
  return std::move(text).value();
}

// `origin` as "http://HOST:PORT" when it names a server on this machine:
// a loopback origin, or a device page's host name below "localhost".
std::optional<std::string> pageOrigin(std::string_view origin) {
  if (auto loopback = loopbackOrigin(origin)) return loopback->origin();
  constexpr std::string_view scheme = "http://", suffix = ".localhost:";
  if (!origin.starts_with(scheme)) return std::nullopt;
  const std::string_view rest = origin.substr(scheme.size());
  const std::size_t colon = rest.rfind(suffix);
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  const bool named =
      std::all_of(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
      });
  const std::string_view port = rest.substr(colon + suffix.size());
  const bool numbered =
      !port.empty() && port.size() <= 5 && port.front() != '0' &&
      std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      std::stoul(std::string(port)) <= 65535;
  if (!named || !numbered) return std::nullopt;
  return std::string(origin);
}

}  // namespace

std::filesystem::path applicationLaunchSetupPath() {
  return deviceRoot() / "run" / "App-launch.json";
}

std::filesystem::path applicationTokenPath() {
  return deviceRoot() / "run" / "App.token";
}

std::string encodeApplicationLaunchSetup(const ApplicationLaunchSetup& setup) {
  nlohmann::ordered_json document{{"webLayer", setup.webLayer},
                                  {"webDirectory", setup.webDirectory.string()},
                                  {"nativeBridgeScript", setup.nativeBridgeScript.string()},
                                  {"port", setup.port},
                                  {"tokenFile", setup.tokenFile.string()},
                                  {"processIdentifier", setup.processIdentifier}};
  if (!setup.serverURL.empty()) document["serverURL"] = setup.serverURL;
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

Result<ApplicationLaunchSetup> decodeApplicationLaunchSetup(std::string_view json) {
  const Json document = Json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (document.is_discarded() || !document.is_object()) {
    return Failure{"the launch setup is not a JSON object"};
  }
  auto text = [&document](const char* key) -> std::optional<std::string> {
    auto found = document.find(key);
    if (found == document.end() || !found->is_string()) return std::nullopt;
    return found->get<std::string>();
  };
  auto webLayer = text("webLayer"), webDirectory = text("webDirectory"),
       nativeBridgeScript = text("nativeBridgeScript"), tokenFile = text("tokenFile");
  if (!webLayer || !webDirectory || !nativeBridgeScript || !tokenFile) {
    return Failure{
        "the launch setup needs the strings webLayer, webDirectory, nativeBridgeScript and "
        "tokenFile"};
  }
  auto port = document.find("port");
  if (port == document.end() || !port->is_number_unsigned() || port->get<std::uint64_t>() == 0 ||
      port->get<std::uint64_t>() > 65535) {
    return Failure{"the launch setup's port must be a number from 1 to 65535"};
  }
  pid_t process = 0;
  if (auto found = document.find("processIdentifier");
      found != document.end() && found->is_number_integer()) {
    process = found->get<pid_t>();
  }
  return ApplicationLaunchSetup{.webLayer = *webLayer,
                                .webDirectory = *webDirectory,
                                .nativeBridgeScript = *nativeBridgeScript,
                                .port = port->get<std::uint16_t>(),
                                .tokenFile = *tokenFile,
                                .processIdentifier = process,
                                .serverURL = text("serverURL").value_or("")};
}

Status recordApplicationLaunchSetup(const ApplicationLaunchSetup& setup) {
  return asStatus(
      writeFileMakingFolders(applicationLaunchSetupPath(), encodeApplicationLaunchSetup(setup)));
}

Result<ApplicationLaunchSetup> readApplicationLaunchSetup() {
  const std::filesystem::path path = applicationLaunchSetupPath();
  auto text = readSmallFile(path);
  if (!text) return Failure{"no launch setup in " + path.string()};
  auto setup = decodeApplicationLaunchSetup(*text);
  if (!setup) return Failure{path.string() + ": " + setup.reason()};
  return setup;
}

std::vector<std::string> launchOptions(const ApplicationLaunchSetup& setup) {
  std::vector<std::string> options{"--web-layer",     setup.webLayer,
                                   "--port",          std::to_string(setup.port),
                                   "--web-dir",       setup.webDirectory.string(),
                                   "--native-bridge", setup.nativeBridgeScript.string()};
  if (!setup.serverURL.empty()) options.insert(options.end(), {"--server-url", setup.serverURL});
  return options;
}

std::filesystem::path waitingLinksPath() {
  return deviceRoot() / "run" / "App-waiting-links.json";
}

Status recordWaitingLinks(const std::vector<std::string>& urls) {
  const std::filesystem::path path = waitingLinksPath();
  if (urls.empty()) {
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error) return Failure{"cannot remove " + path.string() + ": " + error.message()};
    return {};
  }
  const Json document{{"processIdentifier", ::getpid()}, {"urls", urls}};
  return asStatus(writeFileMakingFolders(
      path, document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n"));
}

std::optional<WaitingLinks> readWaitingLinks() {
  auto text = readSmallFile(waitingLinksPath());
  if (!text) return std::nullopt;
  const Json document = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) return std::nullopt;
  auto process = document.find("processIdentifier");
  auto urls = document.find("urls");
  if (process == document.end() || !process->is_number_integer() || urls == document.end() ||
      !urls->is_array()) {
    return std::nullopt;
  }
  WaitingLinks links{.processIdentifier = process->get<pid_t>(), .urls = {}};
  for (const Json& url : *urls) {
    if (url.is_string()) links.urls.push_back(url.get<std::string>());
  }
  return links;
}

std::filesystem::path homeScreenPagePath() {
  return deviceRoot() / "run" / "home-screen-page.json";
}

Status recordHomeScreenPage(std::string_view origin) {
  auto checked = pageOrigin(origin);
  if (!checked) return Failure{"not a page origin: " + std::string(origin)};
  const Json document{{"origin", *checked}};
  return asStatus(writeFileMakingFolders(homeScreenPagePath(), document.dump() + "\n"));
}

std::optional<std::string> readHomeScreenPageOrigin() {
  auto text = readSmallFile(homeScreenPagePath());
  if (!text) return std::nullopt;
  const Json document = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!document.is_object()) return std::nullopt;
  auto origin = document.find("origin");
  if (origin == document.end() || !origin->is_string()) return std::nullopt;
  // It goes into a header of every page: only what names a loopback origin.
  return pageOrigin(origin->get_ref<const std::string&>());
}

std::optional<std::string> readPageToken(const std::filesystem::path& file) {
  auto text = readSmallFile(file);
  if (!text) return std::nullopt;
  if (!text->empty() && text->back() == '\n') text->pop_back();
  if (text->size() != 32) return std::nullopt;
  for (char digit : *text) {
    if (!((digit >= '0' && digit <= '9') || (digit >= 'a' && digit <= 'f'))) return std::nullopt;
  }
  return text;
}

bool isLanguageTag(std::string_view text) {
  if (text.empty() || text.size() > 35) return false;
  std::size_t subtag = 0;  // characters of the subtag so far
  bool first = true;
  for (char c : text) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    const bool digit = c >= '0' && c <= '9';
    if (c == '-') {
      if (subtag == 0) return false;
      subtag = 0;
      first = false;
    } else if ((letter || (digit && !first)) && subtag < 8) {
      ++subtag;
    } else {
      return false;
    }
  }
  return subtag > 0;
}

std::string deviceLanguage() {
  const auto text = readSmallFile(deviceRoot() / "home-screen.json");
  if (!text) return std::string(defaultDeviceLanguage);
  const Json settings = Json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!settings.is_object() || !settings.contains("language")) {
    return std::string(defaultDeviceLanguage);
  }
  const Json& language = settings["language"];
  if (!language.is_string() || !isLanguageTag(language.get<std::string>())) {
    return std::string(defaultDeviceLanguage);
  }
  return language.get<std::string>();
}

std::filesystem::path pageLabelPath() {
  return deviceRoot() / "run" / "page-label";
}

Result<std::string> devicePageHostName(std::string_view name) {
  const std::filesystem::path path = pageLabelPath();
  const auto isLabel = [](const std::string& text) {
    return text.size() == 16 && std::all_of(text.begin(), text.end(), [](char c) {
             return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
  };
  auto kept = readSmallFile(path);
  if (!kept) {
    const std::string label = makeToken().substr(0, 16);
    if (label.empty()) return Failure{"the system gave no randomness for the pages' label"};
    if (!makeFolders(path.parent_path())) {
      return Failure{"cannot make the folder " + path.parent_path().string()};
    }
    // Made whole beside it, then linked into place: of two programs that
    // start together, the first link wins and both read its label.
    const std::filesystem::path made = path.string() + "." + std::to_string(::getpid());
    if (!writeFileAtomically(made, label)) return Failure{"cannot write " + made.string()};
    std::error_code linked, removed;
    std::filesystem::create_hard_link(made, path, linked);
    std::filesystem::remove(made, removed);
    kept = readSmallFile(path);
  }
  if (!kept || !isLabel(*kept)) return Failure{path.string() + " holds no page label"};
  return std::string(name) + "." + *kept + ".localhost";
}

std::optional<std::filesystem::path> applicationBesideThisProgram() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::nullopt;
  std::filesystem::path application = self.parent_path() / "App";
  if (!std::filesystem::is_regular_file(application, error)) return std::nullopt;
  return application;
}

}  // namespace brisklane

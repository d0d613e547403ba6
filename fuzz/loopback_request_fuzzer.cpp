// Feeds arbitrary bytes to the loopback server's checks as one request, then
// resolves the path of what they let through in a small served folder. A
// request let through must have named the server's own address and carried
// its token; a redirect must stay on this site; and a path may lead only to a
// regular file inside the folder, never through a link out of it.
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <variant>

#include "platform/web/request_check.h"
#include "platform/web/static_files.h"

namespace {

namespace fs = std::filesystem;
using namespace brisklane;

constexpr std::string_view token = "00112233445566778899aabbccddeeff";

// A folder with a file, a folder with an index, a link inside and two links
// out, beside a secret; removed when the fuzzer ends.
class ServedFolder {
 public:
  ServedFolder()
      : base_(fs::temp_directory_path() / ("brisklane-fuzz-" + std::to_string(::getpid()))) {
    fs::create_directories(base_ / "site" / "docs");
    std::ofstream(base_ / "site" / "index.html") << "<head>";
    std::ofstream(base_ / "site" / "docs" / "index.html") << "docs";
    std::ofstream(base_ / "secret.txt") << "secret";
    fs::create_symlink(base_ / "site" / "index.html", base_ / "site" / "alias.html");
    fs::create_symlink(base_, base_ / "site" / "escape");
    fs::create_symlink(base_ / "secret.txt", base_ / "site" / "leak.txt");
    root_ = fs::canonical(base_ / "site");
  }
  ~ServedFolder() {
    std::error_code ignored;
    fs::remove_all(base_, ignored);
  }
  [[nodiscard]] const fs::path& root() const { return root_; }

 private:
  fs::path base_;
  fs::path root_;
};

// Whether `bytes` hold the token, as sent or percent-encoded in the query.
bool carriesToken(std::string_view bytes) {
  std::string decoded;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '%' && i + 2 < bytes.size() &&
        std::isxdigit(static_cast<unsigned char>(bytes[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(bytes[i + 2]))) {
      decoded.push_back(
          static_cast<char>(std::stoi(std::string(bytes.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      decoded.push_back(bytes[i]);
    }
  }
  return bytes.find(token) != std::string_view::npos || decoded.find(token) != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ServedFolder folder;
  static const web::RequestPolicy policy = web::makeRequestPolicy(8080, std::string(token));
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  auto verdict = web::checkRequestBytes(bytes, policy, LoopbackServerLimits{});
  if (std::holds_alternative<web::Refusal>(verdict)) return 0;
  if (bytes.find(policy.host) == std::string_view::npos || !carriesToken(bytes)) __builtin_trap();
  if (const auto* redirect = std::get_if<web::TokenRedirect>(&verdict)) {
    const std::string& location = redirect->location;
    if (location.empty() || location[0] != '/' || location.substr(0, 2) == "//") __builtin_trap();
    return 0;
  }
  const auto& admission = std::get<web::Admission>(verdict);
  if (admission.request.query.count("token") != 0) __builtin_trap();

  auto target = web::resolveStaticPath(folder.root(), admission.request.path);
  if (const auto* file = std::get_if<web::StaticFile>(&target)) {
    auto relative = file->path.lexically_relative(folder.root());
    if (relative.empty() || *relative.begin() == ".." || !fs::is_regular_file(file->path)) {
      __builtin_trap();
    }
  }
  return 0;
}

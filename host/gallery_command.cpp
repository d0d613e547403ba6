// `gallery`: every widget in every family it declares, in the states worth
// looking at, drawn into a folder with an HTML index to open in a browser.
//
// The Today widget's states come from its provider reading the shared store,
// so each state is drawn on a simulated device of its own: a temporary root
// that `BRISKLANE_HOME` points at while the state is drawn, holding exactly
// the store that state needs. The caller's `BRISKLANE_HOME` is restored
// afterwards and the temporary roots are removed.
#include <malloc.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "host/host_command.h"
#include "host/picture_output.h"
#include "platform/foundation/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"
#include "widget/widget_bundle.h"

namespace brisklane {
namespace {

struct GalleryOptions {
  std::string output;
  std::string device{defaultDeviceClass.name};
};

// One state of a widget: how the device's store is set up before the entry
// is asked for, and where the entry comes from.
struct GalleryState {
  std::string name;  // in file names
  std::string caption;
  EntrySource source;
  std::function<bool()> prepareStore;  // runs with `BRISKLANE_HOME` on a fresh root
};

bool storeHolds(std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  auto store = UserDefaults::open(appGroupIdentifier);
  if (!store) return false;
  for (const auto& [key, value] : values) {
    if (!store->set(value, key)) return false;
  }
  return true;
}

constexpr std::string_view loadedStamp = "loaded @1765000000";

std::string itemsJson(int count, std::string_view firstTitle) {
  static constexpr std::string_view titles[] = {
      "Call the plumber",  "Renew the passport", "Pay the electricity bill", "Book the dentist",
      "Send the invoices", "Water the plants",   "Pick up the dry cleaning"};
  std::string json = "[";
  for (int index = 0; index < count; ++index) {
    if (index > 0) json += ",";
    std::string_view title = index == 0 && !firstTitle.empty() ? firstTitle : titles[index % 7];
    json += R"({"title":")" + std::string(title) + R"(","project":"Home"})";
  }
  return json + "]";
}

std::vector<GalleryState> todayStates() {
  auto payload = [](std::string json) {
    return [json] { return storeHolds({{diagKey, loadedStamp}, {todayKey, json}}); };
  };
  return {
      {"placeholder", "Placeholder", EntrySource::placeholder, [] { return true; }},
      {"no-app-group", "No payload: the store cannot be opened", EntrySource::timeline,
       [] {
         // A file where the App Group folders would go: the store cannot open.
         std::ofstream blocker(deviceRoot() / "AppGroup");
         return blocker.good();
       }},
      {"app-cannot-share", "No payload: the app never loaded its plug-in", EntrySource::timeline,
       [] { return storeHolds({}); }},
      {"linked", "No payload: the app is linked, the summary is invalid", EntrySource::timeline,
       [] {
         return storeHolds({{diagKey, loadedStamp}, {todayKey, "{not json"}});
       }},
      {"nothing-due", "Nothing due (count 0)", EntrySource::timeline,
       payload(R"({"tier":"urgent","count":0,"items":)" + itemsJson(2, "") + "}")},
      {"important", "Important, 2 due", EntrySource::timeline,
       payload(R"({"tier":"important","count":2,"items":)" + itemsJson(2, "") + "}")},
      {"overflow", "Urgent, 10 due, 7 listed (overflow)", EntrySource::timeline,
       payload(R"({"tier":"urgent","count":10,"items":)" + itemsJson(7, "") + "}")},
      {"long-title", "A very long title", EntrySource::timeline,
       payload(R"({"tier":"urgent","count":1,"items":)" +
               itemsJson(1,
                         "Prepare the quarterly report for the board meeting with every appendix "
                         "and the revised budget") +
               "}")},
  };
}

std::vector<GalleryState> statesOf(const WidgetConfiguration& widget) {
  if (widget.kind == todayWidgetKind) return todayStates();
  return {{"timeline", "Its timeline entry", EntrySource::timeline, [] { return true; }}};
}

// Points `BRISKLANE_HOME` at a fresh temporary root while it lives.
class TemporaryDeviceRoot {
 public:
  TemporaryDeviceRoot() {
    if (const char* home = ::getenv("BRISKLANE_HOME")) previous_ = home;
    std::string pattern =
        (std::filesystem::temp_directory_path() / "brisklane-gallery.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) return;
    root_ = pattern;
    ::setenv("BRISKLANE_HOME", root_.c_str(), 1);
  }
  ~TemporaryDeviceRoot() {
    if (previous_) {
      ::setenv("BRISKLANE_HOME", previous_->c_str(), 1);
    } else {
      ::unsetenv("BRISKLANE_HOME");
    }
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  TemporaryDeviceRoot(const TemporaryDeviceRoot&) = delete;
  TemporaryDeviceRoot& operator=(const TemporaryDeviceRoot&) = delete;

  [[nodiscard]] bool made() const { return !root_.empty(); }

 private:
  std::optional<std::string> previous_;
  std::filesystem::path root_;
};

std::string escaped(std::string_view text) {
  std::string html;
  for (char character : text) {
    switch (character) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      default:
        html += character;
    }
  }
  return html;
}

constexpr std::string_view pageHead = R"(<!doctype html>
<html lang="en"><head><meta charset="utf-8"><title>Brisklane widgets</title>
<style>
body { font-family: Inter, system-ui, sans-serif; margin: 2rem; color: #1d232b; background: #f4f2ee; }
table { border-collapse: separate; border-spacing: 1.5rem 1rem; }
th { text-align: left; font-weight: 600; vertical-align: top; max-width: 14rem; }
td { vertical-align: top; }
.home { background: linear-gradient(135deg, #c9d6e3, #e8d9c9); padding: 16px; border-radius: 12px; display: inline-block; }
.lock { background: linear-gradient(160deg, #283048, #4b5d79); padding: 16px; border-radius: 12px; display: inline-block; }
figcaption { font-size: 0.8rem; color: #5b6470; margin-top: 0.3rem; }
img { display: block; }
</style></head><body>
)";

}  // namespace

HostCommand addGalleryCommand(CLI::App& app) {
  auto options = std::make_shared<GalleryOptions>();
  CLI::App* command = app.add_subcommand(
      "gallery",
      "Draw every widget in every family and notable state into a folder with an index.html");
  command->add_option("-o,--output", options->output, "The folder to write (created if missing)")
      ->required();
  command->add_option("--device", options->device, "Device class: " + deviceClassNames());
  return HostCommand{
      .subcommand = command,
      .run =
          [options](const HostContext& context) {
            const std::optional<DeviceClass> device = chosenDevice(context, options->device);
            if (!device) return exitUsage;
            // Picture buffers (up to 2 MB each) go straight back to the system
            // when freed, instead of raising the allocator's threshold and
            // staying resident: the extension's memory budget is tight.
            ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
            const std::filesystem::path folder = options->output;
            std::error_code error;
            std::filesystem::create_directories(folder, error);
            if (error || !std::filesystem::is_directory(folder)) {
              context.err << "error: cannot make the folder " << folder.string() << '\n';
              return exitFailure;
            }

            std::string page(pageHead);
            page += "<h1>Brisklane widgets on " + std::string(device->name) + " (" +
                    std::string(operatingSystemVersion().text()) + ")</h1>\n";
            int pictures = 0;
            for (const WidgetConfiguration& widget : context.widgets) {
              page += "<h2>" + escaped(resolvedText(widget.displayName)) + " <small>(" +
                      escaped(widget.kind) + ")</small></h2>\n<table>\n";
              for (const GalleryState& state : statesOf(widget)) {
                TemporaryDeviceRoot root;
                if (!root.made() || !state.prepareStore()) {
                  context.err << "error: cannot prepare the store for " << widget.kind << " "
                              << state.name << '\n';
                  return exitFailure;
                }
                page += "<tr><th>" + escaped(state.caption) + "</th>";
                for (WidgetFamily family : widget.supportedFamilies) {
                  const std::optional<AnyEntry> entry =
                      providerEntry(widget, state.source,
                                    TimelineProviderContext{.family = family, .isPreview = false});
                  if (!entry) {
                    context.err << "error: " << widget.kind << " answered no entry\n";
                    return exitFailure;
                  }
                  const WidgetScene scene = widgetScene(widget, *entry, family, *device);
                  const std::string stem =
                      widget.kind + "-" + state.name + "-" + std::string(name(family));
                  for (PictureFormat format : {PictureFormat::png, PictureFormat::svg}) {
                    if (!writePicture(context, scene, format,
                                      folder / (stem + std::string(extension(format))))) {
                      return exitFailure;
                    }
                  }
                  pictures += 1;
                  const Size size = scene.layout.canvas;
                  const std::string width = std::to_string(static_cast<int>(size.width));
                  const std::string height = std::to_string(static_cast<int>(size.height));
                  page += R"(<td><figure><div class=")";
                  page += isAccessory(family) ? "lock" : "home";
                  page += R"("><a href=")";
                  page += stem;
                  page += R"(.svg"><img src=")";
                  page += stem;
                  page += R"(.png" width=")";
                  page += width;
                  page += R"(" height=")";
                  page += height;
                  page += R"(" alt=")";
                  page += escaped(stem);
                  page += R"("></a></div><figcaption>)";
                  page += name(family);
                  page += "</figcaption></figure></td>";
                }
                page += "</tr>\n";
              }
              page += "</table>\n";
            }
            page += "</body></html>\n";
            std::ofstream index(folder / "index.html", std::ios::trunc);
            index << page;
            index.close();
            if (index.fail()) {
              context.err << "error: cannot write " << (folder / "index.html").string() << '\n';
              return exitFailure;
            }
            context.out << (folder / "index.html").string() << " (" << pictures
                        << " widgets, PNG and SVG)\n";
            return exitSuccess;
          },
  };
}

}  // namespace brisklane

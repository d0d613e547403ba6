// `gallery`: every widget in every family it declares, in the states it
// declares worth looking at, drawn into a folder with an HTML index to open
// in a browser.
//
// The providers read the device's store, so each state is drawn on a
// simulated device of its own: a fresh folder below one temporary folder,
// which the device root points at while the state is set up and drawn. The
// caller's device root is restored after each state, and the temporary
// folder is removed at the end.
#include <malloc.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/html_text.h"
#include "host/commands/host_command.h"
#include "host/commands/widget_choice.h"
#include "platform/device/device_folder.h"
#include "platform/foundation/user_defaults.h"
#include "widget/app_group.h"

namespace brisklane {
namespace {

namespace fs = std::filesystem;

struct GalleryOptions {
  std::string output;
  std::string device{defaultDeviceClass.name};
};

// --- The page, written after every picture has been drawn ---

struct GalleryPicture {
  std::string stem;  // of the PNG and the SVG beside it
  WidgetFamily family;
  Size canvas;  // points
};

struct GalleryRow {
  std::string caption;
  std::vector<GalleryPicture> pictures;  // one a family
};

struct GallerySection {
  std::string displayName;
  std::string kind;
  std::vector<GalleryRow> rows;  // one a state
};

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

std::string pictureCell(const GalleryPicture& picture) {
  const std::string stem = escapedHtml(picture.stem);
  return R"(<td><figure><div class=")" +
         std::string(isAccessory(picture.family) ? "lock" : "home") + R"("><a href=")" + stem +
         R"(.svg"><img src=")" + stem + R"(.png" width=")" +
         std::to_string(static_cast<int>(picture.canvas.width)) + R"(" height=")" +
         std::to_string(static_cast<int>(picture.canvas.height)) + R"(" alt=")" + stem +
         R"("></a></div><figcaption>)" + escapedHtml(name(picture.family)) +
         "</figcaption></figure></td>";
}

std::string sectionHtml(const GallerySection& section) {
  std::string html = "<h2>" + escapedHtml(section.displayName) + " <small>(" +
                     escapedHtml(section.kind) + ")</small></h2>\n<table>\n";
  for (const GalleryRow& row : section.rows) {
    html += "<tr><th>" + escapedHtml(row.caption) + "</th>";
    for (const GalleryPicture& picture : row.pictures) html += pictureCell(picture);
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

std::string galleryPage(std::string_view deviceName, const std::vector<GallerySection>& sections) {
  std::string page(pageHead);
  page += "<h1>Brisklane widgets on " + escapedHtml(deviceName) + " (" +
          escapedHtml(operatingSystemVersion().text()) + ")</h1>\n";
  for (const GallerySection& section : sections) page += sectionHtml(section);
  return page + "</body></html>\n";
}

int pictureCount(const std::vector<GallerySection>& sections) {
  std::size_t count = 0;
  for (const GallerySection& section : sections) {
    for (const GalleryRow& row : section.rows) count += row.pictures.size();
  }
  return static_cast<int>(count);
}

int writeIndex(const HostContext& context, const fs::path& folder,
               const std::vector<GallerySection>& sections, std::string_view deviceName) {
  const fs::path index = folder / "index.html";
  std::ofstream stream(index, std::ios::trunc);
  stream << galleryPage(deviceName, sections);
  stream.close();
  if (stream.fail()) {
    context.err << "error: cannot write " << index.string() << '\n';
    return exitFailure;
  }
  context.out << index.string() << " (" << pictureCount(sections) << " widgets, PNG and SVG)\n";
  return exitSuccess;
}

// --- Drawing ---

// What every picture of one gallery shares.
struct GalleryTarget {
  const HostContext& context;
  const DeviceClass& device;
  const fs::path& folder;  // the pictures and the index
};

// `state` in each family `widget` offers, on the device set up for it; else
// what failed.
CommandResult<GalleryRow> drawState(const GalleryTarget& target, const WidgetConfiguration& widget,
                                    const GalleryState& state) {
  GalleryRow row{.caption = state.caption, .pictures = {}};
  for (WidgetFamily family : widget.supportedFamilies) {
    const std::optional<AnyEntry> entry = providerEntry(
        widget, state.source, TimelineProviderContext{.family = family, .isPreview = false});
    if (!entry) return commandFailed(widget.kind + " answered no entry");
    const WidgetScene scene = widgetScene(widget, *entry, family, target.device);
    GalleryPicture picture{.stem = widget.kind + "-" + state.name + "-" + std::string(name(family)),
                           .family = family,
                           .canvas = scene.layout.canvas};
    for (PictureFormat format : {PictureFormat::png, PictureFormat::svg}) {
      const fs::path file = target.folder / (picture.stem + std::string(extension(format)));
      if (auto written = writePicture(scene, format, file); !written) {
        return Failure{written.reason()};
      }
    }
    row.pictures.push_back(std::move(picture));
  }
  return row;
}

// Sets the device's App Group store up as the application leaves it in
// `state`; false when it could not.
bool setUpStore(const GalleryState& state) {
  switch (state.store) {
    case GalleryStore::untouched:
      return true;
    case GalleryStore::unreachable: {
      // A file where the App Group's folders go: the store cannot be opened.
      std::ofstream blocker(appGroupContainer(appGroupIdentifier).parent_path());
      return blocker.good();
    }
    case GalleryStore::holding: {
      auto store = UserDefaults::open(appGroupIdentifier);
      if (!store) return false;
      for (const auto& [key, value] : state.storedValues) {
        if (!store->set(value, key)) return false;
      }
      return true;
    }
  }
  return false;
}

// Every state of `widget`, each on a fresh device folder below `devices`
// (empty when there is no such folder); else what failed.
CommandResult<GallerySection> drawWidget(const GalleryTarget& target,
                                         const WidgetConfiguration& widget,
                                         const fs::path& devices) {
  GallerySection section{
      .displayName = resolvedText(widget.displayName), .kind = widget.kind, .rows = {}};
  for (const GalleryState& state : widget.galleryStates) {
    const fs::path device = devices / (widget.kind + "-" + state.name);
    const DeviceRootSwitch onDevice(device);
    if (devices.empty() || !makeFolders(device) || !setUpStore(state)) {
      return commandFailed("cannot prepare the store for " + widget.kind + " " + state.name);
    }
    CommandResult<GalleryRow> row = drawState(target, widget, state);
    if (!row) return Failure{row.reason()};
    section.rows.push_back(std::move(*row));
  }
  return section;
}

void declareGalleryOptions(CLI::App& command, GalleryOptions& options) {
  command.description(
      "Draw every widget in every family and notable state into a folder with an index.html");
  command.add_option("-o,--output", options.output, "The folder to write (created if missing)")
      ->required();
  command.add_option("--device", options.device, "Device class: " + deviceClassNames());
}

int drawGallery(const HostContext& context, const GalleryOptions& options) {
  const auto device = chosenDevice(options.device);
  if (!device) return reported(context, device.reason());
  // Picture buffers (up to 2 MB each) go straight back to the system when
  // freed, instead of raising the allocator's threshold and staying
  // resident: the extension's memory budget is tight.
  ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  const fs::path folder = options.output;
  if (!madeFolder(folder)) {
    context.err << "error: cannot make the folder " << folder.string() << '\n';
    return exitFailure;
  }
  const TemporaryFolder devices("brisklane-gallery");
  const GalleryTarget target{.context = context, .device = *device, .folder = folder};
  std::vector<GallerySection> sections;
  for (const WidgetConfiguration& widget : context.widgets) {
    CommandResult<GallerySection> section = drawWidget(target, widget, devices.path());
    if (!section) return reported(context, section.reason());
    sections.push_back(std::move(*section));
  }
  return writeIndex(context, folder, sections, device->name);
}

}  // namespace

HostCommand addGalleryCommand(CLI::App& app) {
  return commandWithOptions<GalleryOptions>(app, "gallery", declareGalleryOptions, drawGallery);
}

}  // namespace brisklane

// The platform's object runtime, as far as the application shell needs it:
// a common base for runtime objects, the class table in which the runtime
// finds a class by its name (`NSStringFromClass`, `NSClassFromString`), and
// the archive and bundle values that the view-controller initializers take.
//
// A class joins the table with `registerClass<T>()`; `T` names itself with a
// `static constexpr std::string_view className`. The table is filled before
// `UIApplicationMain` runs and only read afterwards.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace brisklane {

class NSObject {
 public:
  virtual ~NSObject() = default;
};

// An archive the main interface description decodes objects from. It carries
// nothing: objects built from it take their defaults.
struct NSCoder {};

// `NSBundle`: where an application's resources lie.
struct NSBundle {
  std::filesystem::path bundlePath;
};

template <class T>
concept RuntimeClass = std::derived_from<T, NSObject> && requires {
  { T::className } -> std::convertible_to<std::string_view>;
};

// The name of a class as the runtime knows it: its plain name, no module.
template <RuntimeClass T>
[[nodiscard]] std::string NSStringFromClass() {
  return std::string(T::className);
}

using ClassFactory = std::function<std::shared_ptr<NSObject>()>;

// Adds a class to the table; false when the name is taken already.
bool registerClassFactory(std::string_view name, ClassFactory factory);

// A new object of the named class, or nothing when no class has that name.
// Classes that decode from an archive are made with an empty `NSCoder`.
[[nodiscard]] std::shared_ptr<NSObject> instantiateClass(std::string_view name);

template <RuntimeClass T>
bool registerClass() {
  return registerClassFactory(T::className, []() -> std::shared_ptr<NSObject> {
    if constexpr (std::is_constructible_v<T, const NSCoder&>) {
      return std::make_shared<T>(NSCoder{});
    } else {
      return std::make_shared<T>();
    }
  });
}

}  // namespace brisklane

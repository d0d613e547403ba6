// What a fallible operation answers: its value, or the reason it failed.
// Every operation that can fail for a reason somebody must be told answers a
// `Result`; the reason is printed, or sent, only where the program meets its
// user (a command's exit, a bridge answer, a page). Where the caller needs no
// reason, because "absent" is all there is to say, an operation answers a
// `std::optional` instead. A `Result` must be looked at: it is
// `[[nodiscard]]`, and reading the side it does not hold asserts.
//
//   Result<Settings> decodeSettings(std::string_view json) {
//     if (json.empty()) return Failure{"empty"};
//     return Settings{...};
//   }
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace brisklane {

// The reason side of a `Result`, named at the `return` so that a reason is
// never mistaken for a value of the same type.
template <class Reason = std::string>
struct Failure {
  Reason reason;
};
template <class Reason>
Failure(Reason) -> Failure<Reason>;
Failure(const char*)->Failure<std::string>;

template <class T, class Reason = std::string>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  template <class From>
  Result(Failure<From> failure)  // NOLINT: implicit
      : state_(std::in_place_index<1>, Reason(std::move(failure.reason))) {}

  [[nodiscard]] bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  [[nodiscard]] T& value() & {
    assert(ok());
    return std::get<0>(state_);
  }
  [[nodiscard]] const T& value() const& {
    assert(ok());
    return std::get<0>(state_);
  }
  [[nodiscard]] T&& value() && {
    assert(ok());
    return std::get<0>(std::move(state_));
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  [[nodiscard]] const Reason& reason() const {
    assert(!ok());
    return std::get<1>(state_);
  }

 private:
  std::variant<T, Reason> state_;  // a value, or the reason there is none
};

// An operation that answers nothing but whether it succeeded, and why not.
template <class Reason>
class [[nodiscard]] Result<void, Reason> {
 public:
  Result() = default;
  template <class From>
  Result(Failure<From> failure)  // NOLINT: implicit
      : reason_(Reason(std::move(failure.reason))) {}

  [[nodiscard]] bool ok() const { return !reason_; }
  explicit operator bool() const { return ok(); }

  [[nodiscard]] const Reason& reason() const {
    assert(!ok());
    return *reason_;
  }

 private:
  std::optional<Reason> reason_;  // none when it succeeded
};

using Status = Result<void>;

}  // namespace brisklane

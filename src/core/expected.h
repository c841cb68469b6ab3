// A small Expected<T, E>: a value or a typed error, without exceptions (C++20 lacks std::expected).
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

#include "core/check.h"

namespace vesk {

template <class E>
struct Unexpected {
  E error;
};

template <class E>
Unexpected<std::decay_t<E>> unexpected(E&& e) {
  return {std::forward<E>(e)};
}

template <class T, class E>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  template <class G>
  Expected(Unexpected<G> e) : v_(std::in_place_index<1>, E(std::move(e.error))) {}

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & {
    VESK_CHECK(has_value(), "value() of an error");
    return std::get<0>(v_);
  }
  const T& value() const& {
    VESK_CHECK(has_value(), "value() of an error");
    return std::get<0>(v_);
  }
  T&& value() && {
    VESK_CHECK(has_value(), "value() of an error");
    return std::move(std::get<0>(v_));
  }
  const E& error() const {
    VESK_CHECK(!has_value(), "error() of a value");
    return std::get<1>(v_);
  }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

 private:
  std::variant<T, E> v_;
};

template <class E>
class [[nodiscard]] Expected<void, E> {
 public:
  Expected() = default;
  template <class G>
  Expected(Unexpected<G> e) : error_(E(std::move(e.error))), ok_(false) {}

  bool has_value() const { return ok_; }
  explicit operator bool() const { return ok_; }
  const E& error() const {
    VESK_CHECK(!ok_, "error() of a value");
    return error_;
  }

 private:
  E error_{};
  bool ok_ = true;
};

}  // namespace vesk

// Propagates the error of an Expected expression, e.g. VESK_TRY(x, parse(in)); ... uses x.
#define VESK_TRY_CONCAT_(a, b) a##b
#define VESK_TRY_NAME_(line) VESK_TRY_CONCAT_(vesk_try_, line)
#define VESK_TRY(var, expr)                                       \
  auto VESK_TRY_NAME_(__LINE__) = (expr);                         \
  if (!VESK_TRY_NAME_(__LINE__).has_value())                      \
    return ::vesk::unexpected(VESK_TRY_NAME_(__LINE__).error());  \
  auto var = std::move(VESK_TRY_NAME_(__LINE__)).value()
// As VESK_TRY, but a failure returns the expression after `expr` instead of the error itself: for
// decoders that refuse every field of a record alike. Like VESK_TRY it is a statement of its own
// (not the body of an unbraced if or loop), at most one to a line.
#define VESK_TRY_OR(var, expr, ...)                               \
  auto VESK_TRY_NAME_(__LINE__) = (expr);                         \
  if (!VESK_TRY_NAME_(__LINE__).has_value()) return (__VA_ARGS__); \
  auto var = std::move(VESK_TRY_NAME_(__LINE__)).value()
#define VESK_TRY_VOID(expr)                                       \
  do {                                                            \
    auto vesk_try_void_ = (expr);                                 \
    if (!vesk_try_void_.has_value())                              \
      return ::vesk::unexpected(vesk_try_void_.error());          \
  } while (0)

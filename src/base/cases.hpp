#pragma once
// The body every error made of cases shares. A layer writes its case structs
// and `using Value = std::variant<...>` in a plain struct `C`; `Cases<C>`
// holds one of them, converts implicitly from any of them and compares by
// the case held. The error class derives from it, inherits its constructor
// and adds only its texts:
//
//   struct RawScanErrorCases { struct Length {...}; ...; using Value = std::variant<...>; };
//   class RawScanError : public base::Cases<RawScanErrorCases> {
//   public:
//       using Cases::Cases;
//       std::string display() const;
//       std::string debug() const;
//   };
//
// The case names stay reachable through the error (`RawScanError::Length`),
// so `return std::unexpected(RawScanError::Length{8, 7});` builds one and
// `err.get_if<RawScanError::Length>()` branches on it.

#include <type_traits>
#include <utility>
#include <variant>

namespace vorlix::base {

template <class C>
class Cases : public C {
public:
    // Error{Error::Case{...}}, or implicitly from any case.
    template <class V>
        requires std::is_constructible_v<typename C::Value, V&&>
    Cases(V&& v) : value_(std::forward<V>(v)) {}  // NOLINT: implicit, as the case it holds

    // The case held when it is `V`, else null.
    template <class V>
    const V* get_if() const {
        return std::get_if<V>(&value_);
    }
    const typename C::Value& value() const { return value_; }

    // `C` carries only types, so the case held is the whole value.
    bool operator==(const Cases& other) const { return value_ == other.value_; }

private:
    typename C::Value value_;
};

}  // namespace vorlix::base

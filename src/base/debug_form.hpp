#pragma once
// Small pieces every error type uses to write its display and debug forms:
// a visitor built from lambdas for the error's variant, and the tuple form
// `Name(inner)` of a variant that carries one value.

#include <string>
#include <string_view>

namespace vorlix::base {

// std::visit(Overloaded{[](const A&) {...}, [](const B&) {...}}, value)
template <class... Fs>
struct Overloaded : Fs... {
    using Fs::operator()...;
};
// clang does not yet deduce aggregate bases without a guide.
template <class... Fs>
Overloaded(Fs...) -> Overloaded<Fs...>;

// "Io(Os { ... })" from "Io" and the inner value's debug form.
inline std::string debug_wrap(std::string_view name, const std::string& inner) {
    std::string out(name);
    out += '(';
    out += inner;
    out += ')';
    return out;
}

}  // namespace vorlix::base

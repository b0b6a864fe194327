#pragma once
// A borrowed view of an error of any layer: it answers display(), debug()
// and source() like the error itself, so a caller can walk a whole chain of
// causes without knowing their types. It points into the error it came from
// and is valid only while that error lives and is not modified. Causes of
// foreign types without a chain of their own (a TOML library error) are held
// as captured text.

#include <concepts>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

#include "base/io_error.hpp"

namespace vorlix::base {

class ErrorRef {
public:
    // Any error with display() and debug(); its source() is followed when
    // it has one.
    template <class E>
        requires(!std::same_as<E, ErrorRef>)
    explicit ErrorRef(const E& error) : error_(&error), ops_(&ops_of<E>) {}
    // A cause known only by its texts; it has no cause of its own.
    static ErrorRef captured(std::string display, std::string debug);

    std::string display() const { return ops_->display(error_); }
    std::string debug() const { return ops_->debug(error_); }
    std::optional<ErrorRef> source() const { return ops_->source(error_); }

    // The viewed error when it is of that type, else null.
    template <class E>
    const E* get_if() const {
        return ops_ == &ops_of<E> ? static_cast<const E*>(error_) : nullptr;
    }
    const IoError* io_error() const { return get_if<IoError>(); }

private:
    struct Ops {
        std::string (*display)(const void*);
        std::string (*debug)(const void*);
        std::optional<ErrorRef> (*source)(const void*);
    };
    struct Captured {
        std::string display_text;
        std::string debug_text;
        std::string display() const { return display_text; }
        std::string debug() const { return debug_text; }
    };
    template <class E>
    static const Ops ops_of;

    ErrorRef() = default;

    // A plain pointer and a table of the type's operations rather than a
    // variant of every error type: the view stays trivial to copy but for
    // the shared captured texts, and base needs to know no layer above it.
    const void* error_ = nullptr;
    const Ops* ops_ = nullptr;
    std::shared_ptr<const Captured> captured_;
};

template <class E>
const ErrorRef::Ops ErrorRef::ops_of{
    [](const void* e) -> std::string { return static_cast<const E*>(e)->display(); },
    [](const void* e) -> std::string { return static_cast<const E*>(e)->debug(); },
    [](const void* e) -> std::optional<ErrorRef> {
        if constexpr (requires(const E& error) { error.source(); }) {
            return static_cast<const E*>(e)->source();
        } else {
            return std::nullopt;
        }
    },
};

inline ErrorRef ErrorRef::captured(std::string display, std::string debug) {
    ErrorRef ref;
    ref.captured_ = std::make_shared<const Captured>(Captured{std::move(display), std::move(debug)});
    ref.error_ = ref.captured_.get();
    ref.ops_ = &ops_of<Captured>;
    return ref;
}

}  // namespace vorlix::base

#include "config/serialize.hpp"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "config/schema.hpp"
#include "config/toml_bounds.hpp"
#include "config/toml_value.hpp"
#include "base/text.hpp"

namespace vorlix::config {

namespace {

// Builds the text in record order; the first value TOML cannot hold stops
// it, so the error names the earliest such field.
class Writer {
public:
    std::string take() { return std::move(out_); }
    bool failed() const { return error_.has_value(); }
    TomlWriteError error() const { return *error_; }

    void header(std::string_view path) {
        out_ += "\n[";
        out_ += path;
        out_ += "]\n";
    }

    void text(std::string_view key, std::string_view value) {
        if (auto v = quoted(value, "string contains invalid UTF-8 characters")) line(key, *v);
    }
    void path(std::string_view key, std::string_view value) {
        if (auto v = quoted(value, "path contains invalid UTF-8 characters")) line(key, *v);
    }
    void integer(std::string_view key, std::uint64_t value) {
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail("out-of-range value for u64 type");
            return;
        }
        line(key, std::to_string(value));
    }
    void floating(std::string_view key, double value) { line(key, shortest_float(value, FloatStyle::Toml)); }
    void boolean(std::string_view key, bool value) { line(key, value ? "true" : "false"); }
    void word(std::string_view key, std::string_view value) { line(key, "\"" + std::string(value) + "\""); }

    void texts(std::string_view key, const std::vector<std::string>& values) {
        std::vector<std::string> items;
        for (const auto& v : values) {
            auto q = quoted(v, "string contains invalid UTF-8 characters");
            if (!q) return;
            items.push_back(std::move(*q));
        }
        array(key, items);
    }
    void integers(std::string_view key, const std::vector<std::uint32_t>& values) {
        std::vector<std::string> items;
        for (auto v : values) items.push_back(std::to_string(v));
        array(key, items);
    }

private:
    void fail(std::string message) {
        if (!error_) error_ = TomlWriteError(std::move(message));
    }

    void line(std::string_view key, std::string_view value) {
        if (failed()) return;
        out_ += key;
        out_ += " = ";
        out_ += value;
        out_ += '\n';
    }

    // Short arrays stay on the key's line; longer ones get one element per
    // line so that edits to the file show up as one-line changes.
    void array(std::string_view key, const std::vector<std::string>& items) {
        if (items.size() < 2) {
            line(key, items.empty() ? "[]" : "[" + items.front() + "]");
            return;
        }
        std::string value = "[";
        for (const auto& item : items) value += "\n    " + item + ",";
        value += "\n]";
        line(key, value);
    }

    std::optional<std::string> quoted(std::string_view value, const char* invalid_message) {
        if (failed()) return std::nullopt;
        if (!base::is_valid_utf8(value)) {
            fail(invalid_message);
            return std::nullopt;
        }
        std::string out = "\"";
        for (unsigned char c : value) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\b': out += "\\b"; break;
                case '\t': out += "\\t"; break;
                case '\n': out += "\\n"; break;
                case '\f': out += "\\f"; break;
                case '\r': out += "\\r"; break;
                default:
                    if (c < 0x20 || c == 0x7F) {
                        char buf[8];
                        std::snprintf(buf, sizeof buf, "\\u%04X", c);
                        out += buf;
                    } else {
                        out += static_cast<char>(c);
                    }
            }
        }
        return out + "\"";
    }

    std::string out_;
    std::optional<TomlWriteError> error_;
};

template <class Kind, class T>
void write_value(Writer& w, std::string_view key, const Kind& kind, const T& value) {
    if constexpr (std::is_same_v<Kind, schema::Text>) {
        w.text(key, value);
    } else if constexpr (std::is_same_v<Kind, schema::Path>) {
        w.path(key, value);
    } else if constexpr (std::is_same_v<Kind, schema::Float>) {
        w.floating(key, value);
    } else if constexpr (std::is_same_v<Kind, schema::Boolean>) {
        w.boolean(key, value);
    } else if constexpr (std::is_same_v<Kind, schema::Unsigned>) {
        w.integer(key, value);
    } else if constexpr (std::is_same_v<Kind, schema::Sequence<schema::Text>>) {
        w.texts(key, value);
    } else if constexpr (std::is_same_v<Kind, schema::Sequence<schema::Unsigned>>) {
        w.integers(key, value);
    } else {
        static_assert(schema::is_enumeration<Kind>);
        const auto index = static_cast<std::size_t>(value);
        w.word(key, kind.names[index < kind.names.size() ? index : 0]);
    }
}

// A record's own values first, then each nested record under its header,
// depth first: TOML puts every key of a table before its sub-tables.
template <class Rec>
void write_record(Writer& w, const Rec& rec, const std::string& path) {
    schema::for_each_field<Rec>([&](const auto& field) {
        if constexpr (!schema::is_record<decltype(field)>)
            write_value(w, field.key, field.kind, rec.*(field.member));
    });
    schema::for_each_field<Rec>([&](const auto& field) {
        if constexpr (schema::is_record<decltype(field)>) {
            const std::string inner = (path.empty() ? "" : path + ".") + std::string(field.key);
            w.header(inner);
            write_record(w, rec.*(field.member), inner);
        }
    });
}

}  // namespace

std::expected<std::string, ConfigError> serialize_config(const Config& c) {
    Writer w;
    write_record(w, c, "");
    if (w.failed()) return std::unexpected(ConfigError::Serialize{w.error()});
    std::string text = w.take();
    // A text the loader would refuse must never replace the file it reads:
    // near the bound, the keys the user left out can take it past.
    if (text.size() > MAX_TOML_SIZE) {
        return std::unexpected(ConfigError::Serialize{TomlWriteError(
            "rendered text exceeds maximum size of " + std::to_string(MAX_TOML_SIZE) + " bytes")});
    }
    return text;
}

}  // namespace vorlix::config

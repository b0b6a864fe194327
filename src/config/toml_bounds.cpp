#include "config/toml_bounds.hpp"

#include <vector>

namespace vorlix::config {

namespace {

// Bytes of a bare key; every byte above ASCII counts too, so that a parser
// taking wider bare keys can never see more key parts than this scan.
bool is_bare(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || u >= 0x80;
}

// Where a number, boolean or date-time may end.
bool ends_scalar(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == ']' || c == '}' || c == '#';
}

// One pass over the text that loops only forward. It never recurses: the
// open arrays and inline tables of a value are a stack of their own.
class DepthScan {
public:
    explicit DepthScan(std::string_view text)
        : text_(text), pos_(text.starts_with(UTF8_BYTE_ORDER_MARK) ? UTF8_BYTE_ORDER_MARK.size() : 0) {}

    std::optional<std::size_t> run() {
        std::size_t table_depth = 0;  // of the table the last header opened
        for (;;) {
            skip_space(true);
            if (at_end()) return std::nullopt;
            if (take('[')) {
                // The element an array of tables appends is one level more.
                const auto parts = key(take('[') ? 1 : 0);
                if (!parts) return deep_;
                table_depth = *parts;
            } else {
                const auto parts = key(table_depth);
                if (!parts) return deep_;
                skip_space(false);
                if (take('=') && !value(*parts)) return deep_;
            }
            skip_line();
        }
    }

private:
    struct Open {
        char close;
        std::size_t depth;  // of the array or inline table itself
    };
    enum class Want { Key, Value, Separator };

    bool at_end() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }
    bool take(char c) {
        if (at_end() || peek() != c) return false;
        ++pos_;
        return true;
    }
    bool starts(std::string_view s) const { return pos_ < text_.size() && text_.substr(pos_).starts_with(s); }

    bool too_deep(std::size_t at) {
        deep_ = at;
        return false;
    }

    // Blanks; with lines, also line ends and comments.
    void skip_space(bool lines) {
        while (!at_end()) {
            const char c = peek();
            if (c == ' ' || c == '\t') {
                ++pos_;
            } else if (lines && (c == '\r' || c == '\n')) {
                ++pos_;
            } else if (lines && c == '#') {
                skip_line();
            } else {
                return;
            }
        }
    }

    void skip_line() {
        const std::size_t nl = text_.find('\n', pos_);
        pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
    }

    // At a quote: past the whole string, single- or multi-line, basic or
    // literal. An unterminated single-line string ends at its line end.
    void skip_string() {
        const char quote = peek();
        const bool escapes = quote == '"';
        const std::string_view triple = escapes ? "\"\"\"" : "'''";
        if (starts(triple)) {
            pos_ += 3;
            while (!at_end()) {
                if (escapes && peek() == '\\') {
                    pos_ += 2;
                } else if (starts(triple)) {
                    // Quotes right after the closing three read as more text
                    // or an empty string; neither opens anything.
                    pos_ += 3;
                    return;
                } else {
                    ++pos_;
                }
            }
            pos_ = text_.size();
            return;
        }
        ++pos_;
        while (!at_end() && peek() != '\n') {
            const char c = text_[pos_++];
            if (c == quote) return;
            if (escapes && c == '\\' && !at_end() && peek() != '\n') ++pos_;
        }
    }

    // A dotted key whose first part sits one level below `depth`: the level
    // of its last part, or nullopt when a part goes past the bound.
    std::optional<std::size_t> key(std::size_t depth) {
        for (;;) {
            skip_space(false);
            const std::size_t part = pos_;
            if (!at_end() && (peek() == '"' || peek() == '\'')) {
                skip_string();
            } else if (!at_end() && is_bare(peek())) {
                while (!at_end() && is_bare(peek())) ++pos_;
            } else {
                return depth;
            }
            if (++depth > MAX_TOML_DEPTH) {
                too_deep(part);
                return std::nullopt;
            }
            skip_space(false);
            if (!take('.')) return depth;
        }
    }

    // One value at level `depth`, with all the arrays and inline tables it
    // opens. Past invalid text it just keeps moving forward.
    bool value(std::size_t depth) {
        std::vector<Open> open;
        Want want = Want::Value;
        for (;;) {
            skip_space(!open.empty());
            if (at_end()) return true;
            const char c = peek();
            if (open.empty() && (c == '\r' || c == '\n' || c == '#')) return true;
            // Closing brackets and commas end whatever was wanted.
            if (c == ']' || c == '}') {
                ++pos_;
                if (!open.empty()) open.pop_back();
                if (open.empty()) return true;
                want = Want::Separator;
                continue;
            }
            if (c == ',') {
                if (open.empty()) return true;
                ++pos_;
                want = open.back().close == '}' ? Want::Key : Want::Value;
                depth = open.back().depth + 1;
                continue;
            }
            if (want == Want::Key) {
                const auto parts = key(open.back().depth);
                if (!parts) return false;
                depth = *parts;
                skip_space(false);
                take('=');
                want = Want::Value;
                continue;
            }
            if (want == Want::Value && (c == '[' || c == '{')) {
                if (depth + 1 > MAX_TOML_DEPTH) return too_deep(pos_);
                ++pos_;
                open.push_back({c == '[' ? ']' : '}', depth});
                want = c == '[' ? Want::Value : Want::Key;
                ++depth;
                continue;
            }
            if (c == '"' || c == '\'') {
                skip_string();
            } else {
                do {
                    ++pos_;
                } while (!at_end() && !ends_scalar(peek()));
            }
            if (open.empty()) return true;
            want = Want::Separator;
        }
    }

    std::string_view text_;
    std::size_t pos_;
    std::optional<std::size_t> deep_;
};

}  // namespace

std::optional<std::size_t> first_too_deep(std::string_view text) { return DepthScan(text).run(); }

}  // namespace vorlix::config

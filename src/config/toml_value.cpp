#include "config/toml_value.hpp"

#include "config/toml_bounds.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vorlix::config {

namespace {
// The longest numeric literal the TOML parser accepts.
constexpr std::size_t MAX_TOML_NUMBER_LENGTH = 126;

// The requested line of the text without its line end; empty past the end.
std::string line_of(std::string_view text, std::size_t line) {
    std::size_t start = 0;
    for (std::size_t n = 1; n < line; ++n) {
        const std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) return {};
        start = nl + 1;
    }
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view content = text.substr(start, end - start);
    if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
    return std::string(content);
}

// A syntax error at a byte offset: 1-based line, column in characters.
TomlError bound_error(std::string_view text, std::size_t offset, std::string message) {
    const std::string_view before = text.substr(0, offset);
    const std::size_t nl = before.rfind('\n');
    const std::size_t line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    std::string_view in_line = nl == std::string_view::npos ? before : before.substr(nl + 1);
    if (nl == std::string_view::npos && in_line.starts_with(UTF8_BYTE_ORDER_MARK)) {
        in_line.remove_prefix(UTF8_BYTE_ORDER_MARK.size());
    }
    const auto characters = std::count_if(in_line.begin(), in_line.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    return TomlError::syntax(std::move(message), line, static_cast<std::size_t>(characters) + 1,
                             line_of(text, line));
}

// The parse of a text known to nest within the bound; lines quoted in an
// error come from `whole`, of which the text is the start.
std::expected<toml::table, TomlError> parse_within_bound(std::string_view text, std::string_view whole) {
    try {
        return toml::parse(text);
    } catch (const toml::parse_error& e) {
        const auto& pos = e.source().begin;
        const std::size_t line = pos.line == 0 ? 1 : pos.line;
        return std::unexpected(
            TomlError::syntax(std::string(e.description()), line, pos.column, line_of(whole, line)));
    }
}

std::string two_digits(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u", value % 100);
    return buf;
}

std::string date_text(const toml::date& d) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04u-", static_cast<unsigned>(d.year));
    return buf + two_digits(d.month) + "-" + two_digits(d.day);
}

std::string time_text(const toml::time& t) {
    std::string out = two_digits(t.hour) + ":" + two_digits(t.minute) + ":" + two_digits(t.second);
    if (t.nanosecond != 0) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%09u", static_cast<unsigned>(t.nanosecond));
        std::string fraction = buf;
        while (fraction.back() == '0') fraction.pop_back();
        out += "." + fraction;
    }
    return out;
}

std::string offset_text(const toml::time_offset& o) {
    if (o.minutes == 0) return "Z";
    int minutes = o.minutes;
    std::string out = minutes < 0 ? "-" : "+";
    if (minutes < 0) minutes = -minutes;
    return out + two_digits(static_cast<unsigned>(minutes / 60)) + ":" +
           two_digits(static_cast<unsigned>(minutes % 60));
}
}  // namespace

std::expected<toml::table, TomlError> parse_toml(std::string_view text) {
    if (text.size() > MAX_TOML_SIZE) {
        // At the first character that does not fit; the parser never sees the text.
        std::size_t cut = MAX_TOML_SIZE;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        return std::unexpected(
            bound_error(text, cut, "exceeded maximum size of " + std::to_string(MAX_TOML_SIZE) + " bytes"));
    }
    const auto deep = first_too_deep(text);
    if (!deep) return parse_within_bound(text, text);
    // The text before the fault nests within the bound, so the parser may
    // read it: a syntax error it meets there comes first, as any other
    // would. The end of that shorter text is no fault of the user's.
    TomlError fault = bound_error(text, *deep,
                                  "exceeded maximum nesting depth of " + std::to_string(MAX_TOML_DEPTH) +
                                      " (table headers, dotted keys, arrays and inline tables)");
    auto before = parse_within_bound(text.substr(0, *deep), text);
    if (!before && (before.error().line() < fault.line() ||
                    (before.error().line() == fault.line() && before.error().column() < fault.column()))) {
        return before;
    }
    return std::unexpected(std::move(fault));
}

std::string shortest_float(double value, FloatStyle style) {
    if (std::isnan(value)) return style == FloatStyle::Toml ? "nan" : "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // The shortest round-trip digits, in the form -d.ddde-XXX.
    char buf[64];
    const auto sci = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    const std::string_view text(buf, sci.ptr);
    const bool negative = text.front() == '-';
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
        if (c != '.') digits += c;
    int exponent = 0;
    const std::string_view exp_text = text.substr(e + 1);
    std::from_chars(exp_text.data() + 1, exp_text.data() + exp_text.size(), exponent);
    if (exp_text.front() == '-') exponent = -exponent;

    // The same digits with the point placed, padded with zeros on either side.
    const int count = static_cast<int>(digits.size());
    std::string out = negative ? "-" : "";
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else if (exponent + 1 >= count) {
        out += digits;
        out.append(static_cast<std::size_t>(exponent + 1 - count), '0');
    } else {
        out += std::string_view(digits).substr(0, static_cast<std::size_t>(exponent) + 1);
        out += '.';
        out += std::string_view(digits).substr(static_cast<std::size_t>(exponent) + 1);
    }
    if (style == FloatStyle::Toml && out.size() > MAX_TOML_NUMBER_LENGTH) {
        // Beyond this length our own reader refuses the literal, and a file
        // we write must always load again.
        return std::string(text);
    }
    if (exponent + 1 >= count) out += ".0";
    return out;
}

bool is_datetime(const toml::node& node) { return node.is_date() || node.is_time() || node.is_date_time(); }

std::string datetime_text(const toml::node& node) {
    if (const auto* d = node.as_date()) return date_text(d->get());
    if (const auto* t = node.as_time()) return time_text(t->get());
    if (const auto* dt = node.as_date_time()) {
        const toml::date_time& v = dt->get();
        std::string out = date_text(v.date) + "T" + time_text(v.time);
        if (v.offset) out += offset_text(*v.offset);
        return out;
    }
    return {};
}

}  // namespace vorlix::config

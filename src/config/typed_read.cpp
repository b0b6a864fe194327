#include "config/typed_read.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/io_error.hpp"
#include "config/toml_value.hpp"

namespace vorlix::config {

namespace {

enum class Road { File, Document };

template <class T>
using Read = std::expected<T, TomlError>;

std::unexpected<TomlError> fail(std::string message) {
    return std::unexpected(TomlError::read(std::move(message)));
}

// How a value that does not fit is named in "invalid type: {}, expected {}".
std::string describe(const toml::node& node, Road road) {
    if (const auto* s = node.as_string()) return "string " + base::debug_quote(s->get());
    if (const auto* i = node.as_integer()) return "integer `" + std::to_string(i->get()) + "`";
    if (const auto* f = node.as_floating_point()) {
        return "floating point `" + shortest_float(f->get(), FloatStyle::Message) + "`";
    }
    if (const auto* b = node.as_boolean()) return std::string("boolean `") + (b->get() ? "true" : "false") + "`";
    if (is_datetime(node)) {
        // The document form hands a date-time over as a one-entry table.
        return road == Road::File ? "string " + base::debug_quote(datetime_text(node)) : "map";
    }
    if (node.is_array()) return "sequence";
    return "map";
}

std::unexpected<TomlError> invalid_type(const toml::node& node, Road road, std::string_view expected) {
    return fail("invalid type: " + describe(node, road) + ", expected " + std::string(expected));
}

// `a`; `a` or `b`; one of `a`, `b`, `c`.
template <std::size_t N>
std::string name_list(const std::array<std::string_view, N>& names) {
    const auto quoted = [](std::string_view n) { return "`" + std::string(n) + "`"; };
    if constexpr (N == 1) {
        return quoted(names[0]);
    } else if constexpr (N == 2) {
        return quoted(names[0]) + " or " + quoted(names[1]);
    } else {
        std::string out = "one of ";
        for (std::size_t i = 0; i < N; ++i) {
            if (i > 0) out += ", ";
            out += quoted(names[i]);
        }
        return out;
    }
}

// The entries of a table in the order the road walks them: the table's own
// byte-wise sorted order, or where they stand in the document.
std::vector<std::pair<std::string_view, const toml::node*>> walk_order(const toml::table& table, Road road) {
    std::vector<std::pair<std::string_view, const toml::node*>> entries;
    std::vector<toml::source_position> places;
    for (const auto& [key, value] : table) {
        entries.emplace_back(key.str(), &value);
        places.push_back(key.source().begin);
    }
    if (road == Road::Document) {
        std::vector<std::size_t> order(entries.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return places[a] < places[b];
        });
        std::vector<std::pair<std::string_view, const toml::node*>> sorted;
        for (std::size_t i : order) sorted.push_back(entries[i]);
        entries = std::move(sorted);
    }
    return entries;
}

// ---- scalar fields ------------------------------------------------------

template <std::uint64_t Max>
Read<std::uint64_t> read_unsigned(const toml::node& node, Road road, std::string_view word) {
    const auto* integer = node.as_integer();
    if (integer == nullptr) return invalid_type(node, road, word);
    const std::int64_t v = integer->get();
    if (v < 0 || static_cast<std::uint64_t>(v) > Max) {
        return fail("invalid value: integer `" + std::to_string(v) + "`, expected " + std::string(word));
    }
    return static_cast<std::uint64_t>(v);
}

// The value converted to T, or the same error.
template <class T, class U>
Read<T> narrow(Read<U>&& r) {
    if (!r) return std::unexpected(std::move(r.error()));
    return static_cast<T>(*r);
}

Read<std::uint16_t> read_u16(const toml::node& node, Road road) {
    return narrow<std::uint16_t>(read_unsigned<0xFFFF>(node, road, "u16"));
}
Read<std::uint32_t> read_u32(const toml::node& node, Road road) {
    return narrow<std::uint32_t>(read_unsigned<0xFFFFFFFF>(node, road, "u32"));
}
Read<std::uint64_t> read_u64(const toml::node& node, Road road) {
    return read_unsigned<UINT64_MAX>(node, road, "u64");
}
Read<std::uint64_t> read_usize(const toml::node& node, Road road) {
    return read_unsigned<UINT64_MAX>(node, road, "usize");
}

Read<double> read_f64(const toml::node& node, Road road) {
    if (const auto* f = node.as_floating_point()) return f->get();
    if (const auto* i = node.as_integer()) return static_cast<double>(i->get());
    return invalid_type(node, road, "f64");
}

Read<bool> read_bool(const toml::node& node, Road road) {
    if (const auto* b = node.as_boolean()) return b->get();
    return invalid_type(node, road, "a boolean");
}

Read<std::string> read_text_as(const toml::node& node, Road road, std::string_view word) {
    if (const auto* s = node.as_string()) return s->get();
    if (road == Road::File && is_datetime(node)) return datetime_text(node);
    return invalid_type(node, road, word);
}
Read<std::string> read_text(const toml::node& node, Road road) { return read_text_as(node, road, "a string"); }
Read<std::string> read_path(const toml::node& node, Road road) { return read_text_as(node, road, "path string"); }

template <auto Element>
auto read_sequence(const toml::node& node, Road road) -> Read<std::vector<typename decltype(Element(node, road))::value_type>> {
    using T = typename decltype(Element(node, road))::value_type;
    const auto* array = node.as_array();
    if (array == nullptr) return invalid_type(node, road, "a sequence");
    std::vector<T> out;
    out.reserve(array->size());
    for (const auto& element : *array) {
        auto v = Element(element, road);
        if (!v) return std::unexpected(std::move(v.error()));
        out.push_back(std::move(*v));
    }
    return out;
}

// ---- enumerations -------------------------------------------------------

const char* kind_word(const toml::node& node) {
    if (node.is_string()) return "string";
    if (node.is_integer()) return "integer";
    if (node.is_floating_point()) return "float";
    if (node.is_boolean()) return "boolean";
    if (node.is_array()) return "array";
    if (node.is_table()) return "table";
    return "datetime";
}

template <std::size_t N>
Read<std::size_t> variant_index(std::string_view name, const std::array<std::string_view, N>& names) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) return i;
    }
    return fail("unknown variant `" + std::string(name) + "`, expected " + name_list(names));
}

// The value under a variant key carries no data, so it must be empty.
Read<void> read_unit_variant(const toml::node& value) {
    if (const auto* a = value.as_array()) {
        if (a->empty()) return {};
        return fail("expected empty array");
    }
    if (const auto* t = value.as_table()) {
        if (t->empty()) return {};
        return fail("expected empty table");
    }
    return fail(std::string("expected table, found ") + kind_word(value));
}

template <std::size_t N>
Read<std::size_t> read_variant(const toml::node& node, Road road, const std::array<std::string_view, N>& names) {
    if (const auto* s = node.as_string()) return variant_index(s->get(), names);
    const auto* table = node.as_table();
    if (table == nullptr) {
        if (road == Road::Document) return fail("wanted string or table");
        return fail("invalid type: unit variant, expected string only");
    }
    if (road == Road::Document && !table->is_inline()) {
        if (table->empty()) return fail("expected table with exactly 1 entry, found empty table");
    } else if (table->empty()) {
        return fail("wanted exactly 1 element, found 0 elements");
    } else if (table->size() > 1) {
        return fail("wanted exactly 1 element, more than 1 element");
    }
    const auto [key, value] = walk_order(*table, road).front();
    auto index = variant_index(key, names);
    if (!index) return index;
    if (auto unit = read_unit_variant(*value); !unit) return std::unexpected(std::move(unit.error()));
    return index;
}

template <class E, std::size_t N>
Read<E> read_enum(const toml::node& node, Road road, const std::array<std::string_view, N>& names) {
    return narrow<E>(read_variant(node, road, names));
}

constexpr std::array<std::string_view, 2> backend_names{"serial", "tcp"};
constexpr std::array<std::string_view, 3> device_model_names{"auto", "basic", "ultra"};
constexpr std::array<std::string_view, 2> frequency_axis_names{"inclusive", "firmware"};

Read<Backend> read_backend(const toml::node& n, Road r) { return read_enum<Backend>(n, r, backend_names); }
Read<DeviceModel> read_device_model(const toml::node& n, Road r) {
    return read_enum<DeviceModel>(n, r, device_model_names);
}
Read<FrequencyAxis> read_frequency_axis(const toml::node& n, Road r) {
    return read_enum<FrequencyAxis>(n, r, frequency_axis_names);
}

// ---- records ------------------------------------------------------------

template <class M>
struct member_traits;
template <class C, class V>
struct member_traits<V C::*> {
    using record = C;
};

template <class Rec>
using FieldReader = Read<void> (*)(const toml::node&, Road, Rec&);

// Reads one value into one member of the record.
template <auto Member, auto Reader>
Read<void> field(const toml::node& node, Road road, typename member_traits<decltype(Member)>::record& rec) {
    auto v = Reader(node, road);
    if (!v) return std::unexpected(std::move(v.error()));
    rec.*Member = std::move(*v);
    return {};
}

template <class Rec>
struct Schema;

template <class Rec>
Read<Rec> read_record(const toml::node& node, Road road);

template <class Rec>
Read<Rec> read_nested(const toml::node& node, Road road) {
    return read_record<Rec>(node, road);
}

template <class Rec>
Read<Rec> read_key_walk(const toml::table& table, Road road) {
    using S = Schema<Rec>;
    constexpr std::size_t n = S::names.size();
    Rec rec{};
    std::array<bool, n> given{};
    for (const auto& [key, value] : walk_order(table, road)) {
        const auto it = std::find(S::names.begin(), S::names.end(), key);
        if (it == S::names.end()) {
            return fail("unknown field `" + std::string(key) + "`, expected " + name_list(S::names));
        }
        const auto index = static_cast<std::size_t>(it - S::names.begin());
        if (given[index]) return fail("duplicate field `" + std::string(key) + "`");
        given[index] = true;
        if (auto r = S::readers[index](*value, road, rec); !r) {
            TomlError e = std::move(r.error());
            e.prepend_key(std::string(key));
            return std::unexpected(std::move(e));
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!given[i]) return fail("missing field `" + std::string(S::names[i]) + "`");
    }
    return rec;
}

template <class Rec>
Read<Rec> read_positional(const toml::array& array, Road road) {
    using S = Schema<Rec>;
    constexpr std::size_t n = S::names.size();
    Rec rec{};
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= array.size()) {
            return fail("invalid length " + std::to_string(array.size()) + ", expected struct " +
                        std::string(S::name) + " with " + std::to_string(n) + " elements");
        }
        if (auto r = S::readers[i](*array.get(i), road, rec); !r) return std::unexpected(std::move(r.error()));
    }
    if (array.size() > n) {
        return fail("invalid length " + std::to_string(array.size()) + ", expected fewer elements in array");
    }
    return rec;
}

template <class Rec>
Read<Rec> read_record(const toml::node& node, Road road) {
    using S = Schema<Rec>;
    if (const auto* table = node.as_table()) return read_key_walk<Rec>(*table, road);
    if (const auto* array = node.as_array()) return read_positional<Rec>(*array, road);
    if (road == Road::Document && is_datetime(node)) {
        // The document form shows a date-time as a table with one private key.
        return fail("unknown field `$__toml_private_datetime`, expected " + name_list(S::names));
    }
    return invalid_type(node, road, "struct " + std::string(S::name));
}

#define VORLIX_FIELD(rec, member, reader) &field<&rec::member, reader>

template <>
struct Schema<ConnectionConfig> {
    using R = ConnectionConfig;
    static constexpr std::string_view name = "ConnectionConfig";
    static constexpr std::array<std::string_view, 3> names{"backend", "tcp_address", "tcp_timeout_ms"};
    static constexpr std::array<FieldReader<R>, 3> readers{
        VORLIX_FIELD(R, backend, read_backend),
        VORLIX_FIELD(R, tcp_address, read_text),
        VORLIX_FIELD(R, tcp_timeout_ms, read_u64),
    };
};

template <>
struct Schema<SerialConfig> {
    using R = SerialConfig;
    static constexpr std::string_view name = "SerialConfig";
    static constexpr std::array<std::string_view, 7> names{
        "timeout_ms",         "command_delay_ms", "settle_delay_ms", "scan_delay_ms",
        "max_response_bytes", "baudrates",        "preferred_ports"};
    static constexpr std::array<FieldReader<R>, 7> readers{
        VORLIX_FIELD(R, timeout_ms, read_u64),
        VORLIX_FIELD(R, command_delay_ms, read_u64),
        VORLIX_FIELD(R, settle_delay_ms, read_u64),
        VORLIX_FIELD(R, scan_delay_ms, read_u64),
        VORLIX_FIELD(R, max_response_bytes, read_usize),
        VORLIX_FIELD(R, baudrates, read_sequence<read_u32>),
        VORLIX_FIELD(R, preferred_ports, read_sequence<read_text>),
    };
};

template <>
struct Schema<ScanConfig> {
    using R = ScanConfig;
    static constexpr std::string_view name = "ScanConfig";
    static constexpr std::array<std::string_view, 11> names{
        "device_model", "enable_ultra_mode", "auto_zero_offset", "zero_offset",
        "frequency_step_mhz", "points_step", "min_points", "max_points",
        "max_repeat", "frequency_axis", "legacy_pre_scan"};
    static constexpr std::array<FieldReader<R>, 11> readers{
        VORLIX_FIELD(R, device_model, read_device_model),
        VORLIX_FIELD(R, enable_ultra_mode, read_bool),
        VORLIX_FIELD(R, auto_zero_offset, read_bool),
        VORLIX_FIELD(R, zero_offset, read_u16),
        VORLIX_FIELD(R, frequency_step_mhz, read_usize),
        VORLIX_FIELD(R, points_step, read_usize),
        VORLIX_FIELD(R, min_points, read_usize),
        VORLIX_FIELD(R, max_points, read_usize),
        VORLIX_FIELD(R, max_repeat, read_usize),
        VORLIX_FIELD(R, frequency_axis, read_frequency_axis),
        VORLIX_FIELD(R, legacy_pre_scan, read_bool),
    };
};

template <>
struct Schema<PlotBindings> {
    using R = PlotBindings;
    static constexpr std::string_view name = "PlotBindings";
    static constexpr std::array<std::string_view, 5> names{"zoom_in", "zoom_out", "pan_left", "pan_right",
                                                           "reset_view"};
    static constexpr std::array<FieldReader<R>, 5> readers{
        VORLIX_FIELD(R, zoom_in, read_sequence<read_text>),
        VORLIX_FIELD(R, zoom_out, read_sequence<read_text>),
        VORLIX_FIELD(R, pan_left, read_sequence<read_text>),
        VORLIX_FIELD(R, pan_right, read_sequence<read_text>),
        VORLIX_FIELD(R, reset_view, read_sequence<read_text>),
    };
};

template <>
struct Schema<UiConfig> {
    using R = UiConfig;
    static constexpr std::string_view name = "UiConfig";
    static constexpr std::array<std::string_view, 4> names{"poll_interval_ms", "chart_min_dbm", "chart_max_dbm",
                                                           "bindings"};
    static constexpr std::array<FieldReader<R>, 4> readers{
        VORLIX_FIELD(R, poll_interval_ms, read_u64),
        VORLIX_FIELD(R, chart_min_dbm, read_f64),
        VORLIX_FIELD(R, chart_max_dbm, read_f64),
        VORLIX_FIELD(R, bindings, read_nested<PlotBindings>),
    };
};

template <>
struct Schema<OutputConfig> {
    using R = OutputConfig;
    static constexpr std::string_view name = "OutputConfig";
    static constexpr std::array<std::string_view, 3> names{"directory", "filename_prefix", "include_header"};
    static constexpr std::array<FieldReader<R>, 3> readers{
        VORLIX_FIELD(R, directory, read_path),
        VORLIX_FIELD(R, filename_prefix, read_text),
        VORLIX_FIELD(R, include_header, read_bool),
    };
};

template <>
struct Schema<LoggingConfig> {
    using R = LoggingConfig;
    static constexpr std::string_view name = "LoggingConfig";
    static constexpr std::array<std::string_view, 2> names{"filter", "directory"};
    static constexpr std::array<FieldReader<R>, 2> readers{
        VORLIX_FIELD(R, filter, read_text),
        VORLIX_FIELD(R, directory, read_path),
    };
};

template <>
struct Schema<Config> {
    using R = Config;
    static constexpr std::string_view name = "Config";
    static constexpr std::array<std::string_view, 12> names{
        "port",   "baudrate", "start_frequency", "stop_frequency", "points", "repeat",
        "connection", "serial", "scan", "ui", "output", "logging"};
    static constexpr std::array<FieldReader<R>, 12> readers{
        VORLIX_FIELD(R, port, read_text),
        VORLIX_FIELD(R, baudrate, read_u32),
        VORLIX_FIELD(R, start_frequency, read_usize),
        VORLIX_FIELD(R, stop_frequency, read_usize),
        VORLIX_FIELD(R, points, read_usize),
        VORLIX_FIELD(R, repeat, read_usize),
        VORLIX_FIELD(R, connection, read_nested<ConnectionConfig>),
        VORLIX_FIELD(R, serial, read_nested<SerialConfig>),
        VORLIX_FIELD(R, scan, read_nested<ScanConfig>),
        VORLIX_FIELD(R, ui, read_nested<UiConfig>),
        VORLIX_FIELD(R, output, read_nested<OutputConfig>),
        VORLIX_FIELD(R, logging, read_nested<LoggingConfig>),
    };
};

#undef VORLIX_FIELD

}  // namespace

std::expected<Config, TomlError> deserialize_from_value(const toml::table& merged) {
    return read_record<Config>(merged, Road::File);
}

std::expected<Config, TomlError> deserialize_from_document(const toml::table& document) {
    return read_record<Config>(document, Road::Document);
}

}  // namespace vorlix::config

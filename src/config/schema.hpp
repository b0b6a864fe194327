#pragma once
// The configuration records as TOML sees them: for each record its name and,
// in record order, every field's key, member and kind. The typed read and the
// write-back both walk these lists, so a key is spelled here and in the
// defaults text, nowhere else; a test holds the two in step.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "config/record.hpp"

namespace vorlix::config::schema {

// ---- kinds of field -----------------------------------------------------

struct Text {};
// A text naming a file or directory; only its messages differ from Text.
struct Path {};
struct Float {};
struct Boolean {};
// A nested record, read and written by its own schema.
struct Record {};

// An unsigned integer of at most `max`; `word` names the type in messages.
struct Unsigned {
    std::string_view word;
    std::uint64_t max;
};
inline constexpr Unsigned U16{"u16", 0xFFFF};
inline constexpr Unsigned U32{"u32", 0xFFFFFFFF};
inline constexpr Unsigned U64{"u64", UINT64_MAX};
inline constexpr Unsigned USIZE{"usize", UINT64_MAX};

// An enumeration written as the name of its value; names[i] is value i.
template <std::size_t N>
struct Enumeration {
    std::array<std::string_view, N> names;
};

template <class Element>
struct Sequence {
    Element element;
};

// ---- fields and records -------------------------------------------------

template <class Rec, class T, class Kind>
struct Field {
    using record_type = Rec;
    using value_type = T;
    std::string_view key;
    T Rec::*member;
    Kind kind;
};

// Spelled out for compilers without deduction for aggregates.
template <class Rec, class T, class Kind>
Field(std::string_view, T Rec::*, Kind) -> Field<Rec, T, Kind>;

template <class Rec>
struct Of;

inline constexpr Enumeration<2> BACKEND{{"serial", "tcp"}};
inline constexpr Enumeration<3> DEVICE_MODEL{{"auto", "basic", "ultra"}};
inline constexpr Enumeration<2> FREQUENCY_AXIS{{"inclusive", "firmware"}};

template <>
struct Of<ConnectionConfig> {
    using R = ConnectionConfig;
    static constexpr std::string_view name = "ConnectionConfig";
    static constexpr std::tuple fields{
        Field{"backend", &R::backend, BACKEND},
        Field{"tcp_address", &R::tcp_address, Text{}},
        Field{"tcp_timeout_ms", &R::tcp_timeout_ms, U64},
    };
};

template <>
struct Of<SerialConfig> {
    using R = SerialConfig;
    static constexpr std::string_view name = "SerialConfig";
    static constexpr std::tuple fields{
        Field{"timeout_ms", &R::timeout_ms, U64},
        Field{"command_delay_ms", &R::command_delay_ms, U64},
        Field{"settle_delay_ms", &R::settle_delay_ms, U64},
        Field{"scan_delay_ms", &R::scan_delay_ms, U64},
        Field{"max_response_bytes", &R::max_response_bytes, USIZE},
        Field{"baudrates", &R::baudrates, Sequence<Unsigned>{U32}},
        Field{"preferred_ports", &R::preferred_ports, Sequence<Text>{}},
    };
};

template <>
struct Of<ScanConfig> {
    using R = ScanConfig;
    static constexpr std::string_view name = "ScanConfig";
    static constexpr std::tuple fields{
        Field{"device_model", &R::device_model, DEVICE_MODEL},
        Field{"enable_ultra_mode", &R::enable_ultra_mode, Boolean{}},
        Field{"auto_zero_offset", &R::auto_zero_offset, Boolean{}},
        Field{"zero_offset", &R::zero_offset, U16},
        Field{"frequency_step_mhz", &R::frequency_step_mhz, USIZE},
        Field{"points_step", &R::points_step, USIZE},
        Field{"min_points", &R::min_points, USIZE},
        Field{"max_points", &R::max_points, USIZE},
        Field{"max_repeat", &R::max_repeat, USIZE},
        Field{"frequency_axis", &R::frequency_axis, FREQUENCY_AXIS},
        Field{"legacy_pre_scan", &R::legacy_pre_scan, Boolean{}},
    };
};

template <>
struct Of<PlotBindings> {
    using R = PlotBindings;
    static constexpr std::string_view name = "PlotBindings";
    static constexpr std::tuple fields{
        Field{"zoom_in", &R::zoom_in, Sequence<Text>{}},
        Field{"zoom_out", &R::zoom_out, Sequence<Text>{}},
        Field{"pan_left", &R::pan_left, Sequence<Text>{}},
        Field{"pan_right", &R::pan_right, Sequence<Text>{}},
        Field{"reset_view", &R::reset_view, Sequence<Text>{}},
    };
};

template <>
struct Of<UiConfig> {
    using R = UiConfig;
    static constexpr std::string_view name = "UiConfig";
    static constexpr std::tuple fields{
        Field{"poll_interval_ms", &R::poll_interval_ms, U64},
        Field{"chart_min_dbm", &R::chart_min_dbm, Float{}},
        Field{"chart_max_dbm", &R::chart_max_dbm, Float{}},
        Field{"bindings", &R::bindings, Record{}},
    };
};

template <>
struct Of<OutputConfig> {
    using R = OutputConfig;
    static constexpr std::string_view name = "OutputConfig";
    static constexpr std::tuple fields{
        Field{"directory", &R::directory, Path{}},
        Field{"filename_prefix", &R::filename_prefix, Text{}},
        Field{"include_header", &R::include_header, Boolean{}},
    };
};

template <>
struct Of<LoggingConfig> {
    using R = LoggingConfig;
    static constexpr std::string_view name = "LoggingConfig";
    static constexpr std::tuple fields{
        Field{"filter", &R::filter, Text{}},
        Field{"directory", &R::directory, Path{}},
    };
};

template <>
struct Of<Config> {
    using R = Config;
    static constexpr std::string_view name = "Config";
    static constexpr std::tuple fields{
        Field{"port", &R::port, Text{}},
        Field{"baudrate", &R::baudrate, U32},
        Field{"start_frequency", &R::start_frequency, USIZE},
        Field{"stop_frequency", &R::stop_frequency, USIZE},
        Field{"points", &R::points, USIZE},
        Field{"repeat", &R::repeat, USIZE},
        Field{"connection", &R::connection, Record{}},
        Field{"serial", &R::serial, Record{}},
        Field{"scan", &R::scan, Record{}},
        Field{"ui", &R::ui, Record{}},
        Field{"output", &R::output, Record{}},
        Field{"logging", &R::logging, Record{}},
    };
};

// ---- walking a schema ---------------------------------------------------

template <class Rec>
inline constexpr std::size_t field_count = std::tuple_size_v<decltype(Of<Rec>::fields)>;

// The keys in record order.
template <class Rec>
inline constexpr auto keys = std::apply(
    [](const auto&... field) { return std::array<std::string_view, sizeof...(field)>{field.key...}; },
    Of<Rec>::fields);

// Calls visit(field) for each field in record order.
template <class Rec, class Visit>
constexpr void for_each_field(Visit&& visit) {
    std::apply([&](const auto&... field) { (visit(field), ...); }, Of<Rec>::fields);
}

template <class Kind>
inline constexpr bool is_sequence = false;
template <class Element>
inline constexpr bool is_sequence<Sequence<Element>> = true;

template <class Kind>
inline constexpr bool is_enumeration = false;
template <std::size_t N>
inline constexpr bool is_enumeration<Enumeration<N>> = true;

// Whether a field holds a nested record.
template <class F>
inline constexpr bool is_record =
    std::is_same_v<std::remove_cvref_t<decltype(std::declval<F>().kind)>, Record>;

}  // namespace vorlix::config::schema

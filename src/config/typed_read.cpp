#include "config/typed_read.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "base/io_error.hpp"
#include "config/schema.hpp"
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
    if (const auto* b = node.as_boolean())
        return std::string("boolean `") + (b->get() ? "true" : "false") + "`";
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
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return places[a] < places[b]; });
        std::vector<std::pair<std::string_view, const toml::node*>> sorted;
        for (std::size_t i : order) sorted.push_back(entries[i]);
        entries = std::move(sorted);
    }
    return entries;
}

// ---- scalar fields ------------------------------------------------------

Read<std::uint64_t> read_unsigned(const toml::node& node, Road road, const schema::Unsigned& kind) {
    const auto* integer = node.as_integer();
    if (integer == nullptr) return invalid_type(node, road, kind.word);
    const std::int64_t v = integer->get();
    if (v < 0 || static_cast<std::uint64_t>(v) > kind.max) {
        return fail("invalid value: integer `" + std::to_string(v) + "`, expected " + std::string(kind.word));
    }
    return static_cast<std::uint64_t>(v);
}

// The value converted to T, or the same error.
template <class T, class U>
Read<T> narrow(Read<U>&& r) {
    if (!r) return std::unexpected(std::move(r.error()));
    return static_cast<T>(*r);
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
Read<std::size_t> read_variant(const toml::node& node, Road road,
                               const std::array<std::string_view, N>& names) {
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

// ---- fields by kind -----------------------------------------------------

template <class Rec>
Read<Rec> read_record(const toml::node& node, Road road);

template <class T, class Kind>
Read<T> read_as(const Kind& kind, const toml::node& node, Road road);

template <class T, class Element>
Read<std::vector<T>> read_sequence(const Element& element, const toml::node& node, Road road) {
    const auto* array = node.as_array();
    if (array == nullptr) return invalid_type(node, road, "a sequence");
    std::vector<T> out;
    out.reserve(array->size());
    for (const auto& item : *array) {
        auto v = read_as<T>(element, item, road);
        if (!v) return std::unexpected(std::move(v.error()));
        out.push_back(std::move(*v));
    }
    return out;
}

// One value of a field of type T and the given kind.
template <class T, class Kind>
Read<T> read_as(const Kind& kind, const toml::node& node, Road road) {
    if constexpr (std::is_same_v<Kind, schema::Text>) {
        return read_text_as(node, road, "a string");
    } else if constexpr (std::is_same_v<Kind, schema::Path>) {
        return read_text_as(node, road, "path string");
    } else if constexpr (std::is_same_v<Kind, schema::Float>) {
        return read_f64(node, road);
    } else if constexpr (std::is_same_v<Kind, schema::Boolean>) {
        return read_bool(node, road);
    } else if constexpr (std::is_same_v<Kind, schema::Unsigned>) {
        return narrow<T>(read_unsigned(node, road, kind));
    } else if constexpr (std::is_same_v<Kind, schema::Record>) {
        return read_record<T>(node, road);
    } else if constexpr (schema::is_sequence<Kind>) {
        return read_sequence<typename T::value_type>(kind.element, node, road);
    } else {
        static_assert(schema::is_enumeration<Kind>);
        return narrow<T>(read_variant(node, road, kind.names));
    }
}

// ---- records ------------------------------------------------------------

template <class Rec>
using FieldReader = Read<void> (*)(const toml::node&, Road, Rec&);

// Reads one value into field I of the record.
template <class Rec, std::size_t I>
Read<void> read_field(const toml::node& node, Road road, Rec& rec) {
    constexpr const auto& field = std::get<I>(schema::Of<Rec>::fields);
    using T = typename std::remove_cvref_t<decltype(field)>::value_type;
    auto v = read_as<T>(field.kind, node, road);
    if (!v) return std::unexpected(std::move(v.error()));
    rec.*(field.member) = std::move(*v);
    return {};
}

template <class Rec, std::size_t... I>
constexpr std::array<FieldReader<Rec>, sizeof...(I)> make_readers(std::index_sequence<I...>) {
    return {&read_field<Rec, I>...};
}

// The field readers in record order, beside schema::keys<Rec>.
template <class Rec>
inline constexpr auto readers = make_readers<Rec>(std::make_index_sequence<schema::field_count<Rec>>{});

template <class Rec>
Read<Rec> read_key_walk(const toml::table& table, Road road) {
    constexpr auto& names = schema::keys<Rec>;
    constexpr std::size_t n = names.size();
    Rec rec{};
    std::array<bool, n> given{};
    for (const auto& [key, value] : walk_order(table, road)) {
        const auto it = std::find(names.begin(), names.end(), key);
        if (it == names.end()) {
            return fail("unknown field `" + std::string(key) + "`, expected " + name_list(names));
        }
        const auto index = static_cast<std::size_t>(it - names.begin());
        if (given[index]) return fail("duplicate field `" + std::string(key) + "`");
        given[index] = true;
        if (auto r = readers<Rec>[index](*value, road, rec); !r) {
            TomlError e = std::move(r.error());
            e.prepend_key(std::string(key));
            return std::unexpected(std::move(e));
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (!given[i]) return fail("missing field `" + std::string(names[i]) + "`");
    }
    return rec;
}

template <class Rec>
Read<Rec> read_positional(const toml::array& array, Road road) {
    constexpr std::size_t n = schema::field_count<Rec>;
    Rec rec{};
    for (std::size_t i = 0; i < n; ++i) {
        if (i >= array.size()) {
            return fail("invalid length " + std::to_string(array.size()) + ", expected struct " +
                        std::string(schema::Of<Rec>::name) + " with " + std::to_string(n) + " elements");
        }
        if (auto r = readers<Rec>[i](*array.get(i), road, rec); !r)
            return std::unexpected(std::move(r.error()));
    }
    if (array.size() > n) {
        return fail("invalid length " + std::to_string(array.size()) + ", expected fewer elements in array");
    }
    return rec;
}

template <class Rec>
Read<Rec> read_record(const toml::node& node, Road road) {
    if (const auto* table = node.as_table()) return read_key_walk<Rec>(*table, road);
    if (const auto* array = node.as_array()) return read_positional<Rec>(*array, road);
    if (road == Road::Document && is_datetime(node)) {
        // The document form shows a date-time as a table with one private key.
        return fail("unknown field `$__toml_private_datetime`, expected " + name_list(schema::keys<Rec>));
    }
    return invalid_type(node, road, "struct " + std::string(schema::Of<Rec>::name));
}

}  // namespace

std::expected<Config, TomlError> deserialize_from_value(const toml::table& merged) {
    return read_record<Config>(merged, Road::File);
}

std::expected<Config, TomlError> deserialize_from_document(const toml::table& document) {
    return read_record<Config>(document, Road::Document);
}

}  // namespace vorlix::config

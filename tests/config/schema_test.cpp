// The schema and the embedded default text name the same keys in the same
// order, so a key added to one and not the other is caught here.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

#include "config/defaults.hpp"
#include "config/schema.hpp"
#include "config/toml_value.hpp"

namespace vorlix::config {
namespace {

// Dotted key paths as a TOML text lays a record out: a table's own keys,
// then each sub-table, depth first.
template <class Rec>
void schema_paths(const std::string& prefix, std::vector<std::string>& out) {
    schema::for_each_field<Rec>([&](const auto& field) {
        if constexpr (!schema::is_record<decltype(field)>) out.push_back(prefix + std::string(field.key));
    });
    schema::for_each_field<Rec>([&](const auto& field) {
        using F = std::remove_cvref_t<decltype(field)>;
        if constexpr (schema::is_record<F>) {
            schema_paths<typename F::value_type>(prefix + std::string(field.key) + ".", out);
        }
    });
}

// The same for a parsed text, in the order its keys stand in it.
void document_paths(const toml::table& table, const std::string& prefix, std::vector<std::string>& out) {
    std::vector<std::pair<toml::source_position, std::string>> keys;
    for (const auto& [key, value] : table) keys.emplace_back(key.source().begin, std::string(key.str()));
    std::sort(keys.begin(), keys.end());
    for (const auto& [place, key] : keys) {
        const toml::node& value = *table.get(key);
        if (value.is_table()) {
            document_paths(*value.as_table(), prefix + key + ".", out);
        } else {
            out.push_back(prefix + key);
        }
    }
}

TEST(Schema, NamesTheKeysOfTheDefaultTextInItsOrder) {
    std::vector<std::string> from_schema;
    schema_paths<Config>("", from_schema);
    auto document = parse_toml(EMBEDDED_DEFAULTS);
    ASSERT_TRUE(document.has_value());
    std::vector<std::string> from_text;
    document_paths(*document, "", from_text);
    EXPECT_EQ(from_schema, from_text);
    EXPECT_EQ(from_schema.size(), 40u);
}

}  // namespace
}  // namespace vorlix::config

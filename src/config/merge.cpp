#include "config/merge.hpp"

namespace vorlix::config {

void merge_toml(toml::table& base, toml::table&& overlay) {
    for (auto&& [key, value] : overlay) {
        auto* existing = base.get(key.str());
        auto* overlay_table = value.as_table();
        if (existing != nullptr && existing->is_table() && overlay_table != nullptr) {
            merge_toml(*existing->as_table(), std::move(*overlay_table));
        } else {
            base.insert_or_assign(key, std::move(value));
        }
    }
}

}  // namespace vorlix::config

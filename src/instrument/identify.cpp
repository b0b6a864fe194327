#include "instrument/identify.hpp"

#include <array>
#include <optional>
#include <string_view>

#include "base/text.hpp"

namespace vorlix::instrument {

namespace {

bool some_token_starts_with(std::string_view text, std::string_view prefix) {
    for (std::string_view token : base::split_unicode_whitespace(text)) {
        if (token.starts_with(prefix)) {
            return true;
        }
    }
    return false;
}

bool some_line_is(std::string_view text, std::string_view wanted) {
    for (std::string_view line : base::split_lines(text)) {
        if (base::trim_unicode_whitespace(line) == wanted) {
            return true;
        }
    }
    return false;
}

// Both arguments are lower-cased copies.
bool ultra_evidence(std::string_view v, std::string_view i) {
    return some_token_starts_with(v, "tinysa4_v") || i.find("tinysa ultra") != std::string_view::npos;
}

bool basic_evidence(std::string_view v, std::string_view i) {
    return some_token_starts_with(v, "tinysa_v") || i.find("tinysa basic") != std::string_view::npos ||
           some_line_is(i, "tinysa");
}

struct RevisionMarkers {
    HardwareRevision revision;
    std::array<std::string_view, 3> markers;  // empty entries are unused
};

constexpr std::array<RevisionMarkers, 3> REVISION_MARKERS{{
    {HardwareRevision::ZS405, {"zs405", "hw version:v0.4.5.1", ""}},
    {HardwareRevision::ZS406, {"zs406", "hw version:v0.4.6", ""}},
    {HardwareRevision::ZS407, {"zs407", "hw version:v0.5.3", "hw version:v0.5.4"}},
}};

bool contains_marker(std::string_view text, const RevisionMarkers& entry) {
    for (std::string_view marker : entry.markers) {
        if (!marker.empty() && text.find(marker) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::expected<DeviceIdentity, IdentityError> identify_device(std::string version, std::string info) {
    const std::string v = base::ascii_lower(version);
    const std::string i = base::ascii_lower(info);

    const bool ultra = ultra_evidence(v, i);
    const bool basic = basic_evidence(v, i);
    if (ultra && basic) {
        return std::unexpected(IdentityError::Kind::Conflicting);
    }
    if (!ultra && !basic) {
        return std::unexpected(IdentityError::Kind::Unknown);
    }

    const std::string both = v + "\n" + i;
    std::optional<HardwareRevision> revision;
    for (const RevisionMarkers& entry : REVISION_MARKERS) {
        if (contains_marker(both, entry)) {
            if (revision) {
                return std::unexpected(IdentityError::Kind::ConflictingRevision);
            }
            revision = entry.revision;
        }
    }

    DeviceIdentity identity;
    identity.version = std::move(version);
    identity.info = std::move(info);
    identity.is_ultra = ultra;
    identity.revision = ultra ? revision : std::nullopt;
    return identity;
}

}  // namespace vorlix::instrument

#pragma once
// Tells which instrument answered from its `version` and `info` replies. Pure:
// no I/O, and the replies are kept exactly as received.

#include <expected>
#include <string>

#include "instrument/errors.hpp"
#include "instrument/types.hpp"

namespace vorlix::instrument {

// The family from the evidence in either reply and, for the Ultra family,
// the hardware revision from its markers. Both replies move into the identity.
std::expected<DeviceIdentity, IdentityError> identify_device(std::string version, std::string info);

}  // namespace vorlix::instrument

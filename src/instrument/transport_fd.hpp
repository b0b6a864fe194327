#pragma once
// The connection's descriptors are owned by the one descriptor owner of the
// program.

#include "base/unique_fd.hpp"

namespace vorlix::instrument {

using base::UniqueFd;

}  // namespace vorlix::instrument

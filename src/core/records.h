// The records of one accepted call: the 16 record texts, indexed by record
// identifier 0 to 15.
#pragma once

#include <array>
#include <string>

namespace tw {

using RecordTable = std::array<std::string, 16>;

}  // namespace tw

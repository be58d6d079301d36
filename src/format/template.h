// The template language that turns a call into the six alarm fields.
#pragma once

#include <array>
#include <string>

#include "shell/clock.h"

namespace tw {

// Records: the 16 record texts of one accepted call, index = record identifier.
using RecordTable = std::array<std::string, 16>;

// Expands one template: tags in square brackets are replaced by values from
// the call's records, the port description and the clock (read from clock).
std::string ExpandFormatTemplate(const std::string& formatTemplate, const RecordTable& Records,
                                 const std::string& Description, const std::string& datePattern,
                                 const std::string& timePattern, const Clock& clock);

}  // namespace tw

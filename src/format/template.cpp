#include "format/template.h"

namespace tw {

// Placeholder until the tag language lands: the template unchanged.
std::string ExpandFormatTemplate(const std::string& formatTemplate, const RecordTable& /*Records*/,
                                 const std::string& /*Description*/,
                                 const std::string& /*datePattern*/,
                                 const std::string& /*timePattern*/, const Clock& /*clock*/) {
    return formatTemplate;
}

}  // namespace tw

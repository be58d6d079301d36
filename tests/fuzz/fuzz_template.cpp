// Expands arbitrary templates against arbitrary records. The input is split
// at NUL bytes: template, description, date pattern, time pattern, then the
// records 0..15. Checks that the expansion returns, never passes
// kMaxExpandedLength, and leaves a template without "[" as it is.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "format/template.h"
#include "fuzzsupport.h"
#include "support/fakesettings.h"

namespace {

using tw::fuzz::Check;

std::string NextPart(std::string_view& rest) {
    const size_t end = std::min(rest.find('\0'), rest.size());
    std::string part(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The look-up section for "[RFFC:...:Lookup]" tags; other files are missing.
    static tw::test::FakeSettings ini = [] {
        tw::test::FakeSettings settings;
        settings.Write("Tellwick.ini", "[Lookup]\nFire=*FIRE*,BRAND?\nCall=C*\nAny=*\n");
        return settings;
    }();
    static const tw::LocalTime now = tw::MakeLocalTime(2019, 5, 27, 10, 31, 5);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string formatTemplate = NextPart(rest);
    const std::string description = NextPart(rest);
    const std::string datePattern = NextPart(rest);
    const std::string timePattern = NextPart(rest);
    tw::RecordTable records;
    for (std::string& record : records) {
        record = NextPart(rest);
    }
    const std::string result = tw::ExpandFormatTemplate(
        formatTemplate, {records, description, datePattern, timePattern, now, ini});
    Check(result.size() <= tw::kMaxExpandedLength);
    if (formatTemplate.find('[') == std::string::npos) {
        Check(result == formatTemplate);
    }
    return 0;
}

// Expands arbitrary templates against arbitrary records. The input is split
// at NUL bytes: template, description, date pattern, time pattern, then the
// records 0..15. Checks that the expansion returns, never passes
// kMaxExpandedLength, and leaves a template without "[" as it is.
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "format/template.h"
#include "fuzzsupport.h"
#include "support/fakeclock.h"

namespace {

using tw::fuzz::Check;

// A look-up section for "[RFFC:...:Lookup]" tags, written once per process.
void WriteLookupFile() {
    static const bool written = [] {
        std::ofstream(tw::fuzz::ScratchFolder() + "Tellwick.ini", std::ios::binary)
            << "[Lookup]\nFire=*FIRE*,BRAND?\nCall=C*\nAny=*\n";
        return true;
    }();
    (void)written;
}

std::string NextPart(std::string_view& rest) {
    const size_t end = std::min(rest.find('\0'), rest.size());
    std::string part(rest.substr(0, end));
    rest.remove_prefix(std::min(end + 1, rest.size()));
    return part;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WriteLookupFile();
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::string formatTemplate = NextPart(rest);
    // Look-up files are named in the template; keeping names inside the
    // scratch folder stops the fuzzer from reading the rest of the machine.
    std::replace(formatTemplate.begin(), formatTemplate.end(), '/', '\\');
    const std::string description = NextPart(rest);
    const std::string datePattern = NextPart(rest);
    const std::string timePattern = NextPart(rest);
    tw::RecordTable records;
    for (std::string& record : records) {
        record = NextPart(rest);
    }
    static const tw::test::FakeClock clock;
    const std::string result = tw::ExpandFormatTemplate(formatTemplate, records, description,
                                                        datePattern, timePattern, clock);
    Check(result.size() <= tw::kMaxExpandedLength);
    if (formatTemplate.find('[') == std::string::npos) {
        Check(result == formatTemplate);
    }
    return 0;
}

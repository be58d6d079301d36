// Feeds arbitrary bytes as an INI file to both readers. Checks more than "no
// crash": values are never longer than 2047 characters and the section reader
// never reports more than fits its buffer.
#include <cstdint>
#include <string>

#include "base/ini.h"
#include "fuzzsupport.h"

using tw::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    const tw::IniFile file(content);
    for (const char* section : {"General", "ESPA_Port_0", "Format", "Lookup", ""}) {
        for (const char* key : {"ReconnectInterval", "T0", "Description", "Fire", ""}) {
            const std::string value = file.Value(section, key).value_or("default");
            Check(value.size() <= 2047);
            tw::ParseNumber(value);
            tw::ToMilliseconds(value);
        }
        for (int bufferSize : {0, 1, 10, 10240}) {
            std::string buffer;
            const int written = file.Section(section, buffer, bufferSize);
            Check(written >= 0 && (written == 0 || written < bufferSize));
            Check(buffer.size() == static_cast<size_t>(bufferSize));
        }
    }
    tw::GetField(content, static_cast<int16_t>(size % 7), ":");
    return 0;
}

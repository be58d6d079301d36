// Feeds arbitrary bytes as an INI file to both readers. Checks more than "no
// crash": values are never longer than 2047 characters and the section reader
// never reports more than fits its buffer.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "shell/ini.h"

namespace {

const std::string& IniPath() {
    static const std::string path = [] {
        char folder[] = "/tmp/tellwick-fuzz-ini-XXXXXX";
        const char* made = mkdtemp(folder);
        if (made == nullptr) {
            std::abort();
        }
        tw::SetAppFolder(made);
        return tw::AppFolder() + "Tellwick.ini";
    }();
    return path;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(IniPath(), std::ios::binary | std::ios::trunc);
        out << content;
    }
    for (const char* section : {"General", "ESPA_Port_0", "Format", "Lookup", ""}) {
        for (const char* key : {"ReconnectInterval", "T0", "Description", "Fire", ""}) {
            const std::string value = tw::ReadIniValue(section, key, "default");
            Check(value.size() <= 2047);
            tw::ParseNumber(value);
            tw::ToMilliseconds(value);
        }
        for (int size : {0, 1, 10, 10240}) {
            std::string buffer;
            const int written = tw::ReadIniSection(section, buffer, size);
            Check(written >= 0 && (written == 0 || written < size));
            Check(buffer.size() == static_cast<size_t>(size));
        }
    }
    tw::GetField(content, static_cast<int16_t>(size % 7), ":");
    return 0;
}

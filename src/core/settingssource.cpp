#include "core/settingssource.h"

namespace tw {

std::string ReadIniValue(SettingsSource& source, const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& fileName) {
    const IniFile* file = source.File(fileName);
    if (file == nullptr) {
        return defaultValue;
    }
    return file->Value(section, key).value_or(defaultValue);
}

int ReadIniSection(SettingsSource& source, const std::string& section, std::string& buffer,
                   int bufferSize, const std::string& fileName) {
    const IniFile* file = source.File(fileName);
    if (file == nullptr) {
        buffer.assign(bufferSize > 0 ? static_cast<size_t>(bufferSize) : 0, '\0');
        return 0;
    }
    return file->Section(section, buffer, bufferSize);
}

}  // namespace tw

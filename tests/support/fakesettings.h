// INI files held in memory for the core: the test writes their text, the
// gateway reads them as it would read files.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "core/settingssource.h"

namespace tw::test {

class FakeSettings : public SettingsSource {
  public:
    // name "" or "Tellwick.ini": the gateway's own file.
    void Write(const std::string& name, const std::string& content) {
        m_Files[Key(name)] = std::make_unique<IniFile>(content);
    }

    void Refresh() override {}
    const IniFile* File(const std::string& fileName) override {
        const auto found = m_Files.find(Key(fileName));
        return found != m_Files.end() ? found->second.get() : nullptr;
    }

  private:
    static std::string Key(const std::string& name) { return name.empty() ? "Tellwick.ini" : name; }

    std::map<std::string, std::unique_ptr<IniFile>> m_Files;
};

}  // namespace tw::test

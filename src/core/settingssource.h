// Where the gateway's logic gets its INI answers: "Tellwick.ini" and the
// look-up files that templates name. The running program reads the files of
// its application folder; tests hand in text. Everything runs on the one
// event-loop thread.
#pragma once

#include <string>

#include "base/ini.h"

namespace tw {

class SettingsSource {
  public:
    virtual ~SettingsSource() = default;

    // Called at the start of every event: afterwards every answer reflects
    // the files as they are now.
    virtual void Refresh() = 0;

    // The parsed file: an empty name is "Tellwick.ini", a relative name is
    // taken relative to the application folder. nullptr when it cannot be
    // read. The pointer is good until the next call; the answers reflect the
    // file as it was at the start of the current event or later.
    virtual const IniFile* File(const std::string& fileName) = 0;
};

// The value of key in section of fileName (IniFile::Value), or defaultValue
// when the file, section or key is missing.
std::string ReadIniValue(SettingsSource& source, const std::string& section, const std::string& key,
                         const std::string& defaultValue, const std::string& fileName = {});

// IniFile::Section of fileName; 0 (with buffer resized to bufferSize) when the
// file cannot be read.
int ReadIniSection(SettingsSource& source, const std::string& section, std::string& buffer,
                   int bufferSize, const std::string& fileName = {});

}  // namespace tw

// "tellwick --check-config": the settings check of the core plus what only
// the file system can tell (the serial devices, the alarm server's library),
// printed for the site engineer.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/settingscheck.h"

namespace tw {

// The findings that need the file system: a COM port in use whose device
// does not exist, and for ZorvanConnectionMethod 0 and 1 a library that
// cannot be loaded the way the gateway loads it (the application folder
// first, then the system's library search). appFolder ends in "/".
std::vector<ConfigFinding> CheckConfigFiles(const std::string& appFolder,
                                            const SettingsCheck& check);

// Reads Tellwick.ini in appFolder as the gateway would and prints on out what
// the alarm link and each port will do, then every configuration error and
// finding, one line each, and a count. Exit status: 0 clean, 1 with findings,
// 2 when the folder or the file cannot be read (the reason on err).
int RunConfigCheck(const std::string& appFolder, std::ostream& out, std::ostream& err);

}  // namespace tw

// The service control on systemd unit files: the registration is a unit
// "tellwickforzorvan.service" in UnitDirectory(). The settings store is the
// file "tellwickforzorvan.parameters" beside it, INI-style ("[Parameters]",
// "RunAsService=1"): it records the registration, and systemd ignores it.
// Whether a process runs as a service is not read from it: the unit's
// --service decides, so other starts on the machine stay interactive.
#pragma once

#include <string>

#include "core/servicecontrol.h"

namespace tw {

// TELLWICK_UNIT_DIR when set, else /etc/systemd/system; ends without "/".
std::string UnitDirectory();

// True where systemd is the running service manager.
bool SystemdIsRunning();

// The unit text: a notify service that runs executable with --service and
// --app-folder, restarted after a failure or a missed watchdog, with the
// system's own files read-only. It runs as root, like the program it names.
std::string UnitFileText(const std::string& executable, const std::string& appFolder);

// A word of an ExecStart line: quoted, with "\", """, "%" and "$" escaped.
std::string QuoteUnitWord(const std::string& word);

// text (an INI file) with key in section set to value: the key's line is
// replaced, or added at the end of the section, or the section is added.
std::string SetIniText(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value);

// Registration and settings through unit files; the running side
// (StartService, LogEvent) is left to the platform layer. systemctl
// (daemon-reload, enable, disable) runs only where systemd runs and the unit
// directory is not overridden by TELLWICK_UNIT_DIR.
class UnitServiceControl : public ServiceControl {
  public:
    UnitServiceControl(std::string executable, std::string appFolder);

    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const override;
    bool SaveSetting(const std::string& section, const std::string& key,
                     const std::string& value) override;
    bool Install() override;
    bool Uninstall() override;

    std::string UnitFilePath() const;
    std::string SettingsFilePath() const;

  private:
    std::string m_Executable;
    std::string m_AppFolder;
};

}  // namespace tw

// The service control: registering the gateway with the service manager,
// its small settings store, and the link to the manager while running.
//
// On Linux the registration is a systemd unit "tellwickforzorvan.service" in
// UnitDirectory(). The settings store is the file
// "tellwickforzorvan.parameters" beside it, INI-style ("[Parameters]",
// "RunAsService=1"): it belongs to the registration, and systemd ignores it.
#pragma once

#include <cstdint>
#include <string>

namespace tw {

inline constexpr const char* kServiceUnitName = "tellwickforzorvan.service";
inline constexpr const char* kServiceDisplayName = "Tellwick for Zorvan";

class ServiceControl {
  public:
    // Types of LogEvent entries.
    enum : int16_t { EventError = 1, EventWarning = 2, EventInformation = 4 };

    virtual ~ServiceControl() = default;

    // The stored value, or defaultValue when there is none.
    virtual std::string GetSetting(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const = 0;
    // False when the value could not be stored.
    virtual bool SaveSetting(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // True when the service was registered (and enabled to start at boot).
    virtual bool Install() = 0;
    // True when an existing registration was removed.
    virtual bool Uninstall() = 0;
    virtual std::string DisplayName() const { return kServiceDisplayName; }
    // Tells the service manager that start-up has finished. False when the
    // process was not started by a service manager.
    virtual bool StartService() = 0;
    // One entry in the system's log.
    virtual void LogEvent(int16_t type, int32_t eventNumber, const std::string& text) = 0;
};

// TELLWICK_UNIT_DIR when set, else /etc/systemd/system; ends without "/".
std::string UnitDirectory();

// True where systemd is the running service manager.
bool SystemdIsRunning();

// The unit text: a notify service that runs executable with --app-folder.
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

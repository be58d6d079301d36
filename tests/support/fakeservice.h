// A service manager kept in memory: settings in a map, install and
// uninstall succeeding as told, every call and event recorded.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/servicecontrol.h"

namespace tw::test {

class FakeService : public ServiceControl {
  public:
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const override {
        const auto found = m_Settings.find(section + "/" + key);
        return found == m_Settings.end() ? defaultValue : found->second;
    }
    bool SaveSetting(const std::string& section, const std::string& key,
                     const std::string& value) override {
        if (!m_SaveSucceeds) {
            return false;
        }
        m_Settings[section + "/" + key] = value;
        return true;
    }
    bool Install() override { return m_InstallSucceeds; }
    bool Uninstall() override {
        ++m_UninstallCalls;
        return m_UninstallSucceeds;
    }
    bool StartService() override {
        ++m_StartServiceCalls;
        return true;
    }
    void LogEvent(int16_t type, int32_t eventNumber, const std::string& text) override {
        m_Events.push_back(std::to_string(type) + "/" + std::to_string(eventNumber) + "/" + text);
    }
    int64_t WatchdogIntervalMs() const override { return m_WatchdogIntervalMs; }
    void ReportHealth(bool alive, const std::string& status) override {
        m_Reports.push_back((alive ? "alive/" : "/") + status);
    }
    void CopyToSystemLog(int /*priority*/, const std::string& /*text*/) override {}

    std::map<std::string, std::string> m_Settings;
    bool m_InstallSucceeds = true;
    bool m_SaveSucceeds = true;
    bool m_UninstallSucceeds = true;
    int m_UninstallCalls = 0;
    int m_StartServiceCalls = 0;
    std::vector<std::string> m_Events;
    int64_t m_WatchdogIntervalMs = 0;
    std::vector<std::string> m_Reports;  // "alive/" or "/", then the status
};

}  // namespace tw::test

#include "app/configcheck.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "alarmlink/alarmlink.h"
#include "app/startup.h"
#include "base/systemtext.h"
#include "platform/dlvendorlibrary.h"
#include "platform/inifilesource.h"

namespace tw {

namespace {

void CheckSerialDevice(int port, const PortSettings& settings,
                       std::vector<ConfigFinding>& findings) {
    const std::string device = settings.SerialDevice();
    std::error_code error;
    if (std::filesystem::exists(device, error)) {
        return;
    }
    const bool named = !settings.ComDevice.empty();
    findings.push_back({PortSectionName(port), named ? "ComDevice" : "ComSetting",
                        named ? settings.ComDevice : settings.ComSetting,
                        "opens " + device + ", which does not exist"});
}

void CheckLibrary(const std::string& appFolder, int16_t method,
                  std::vector<ConfigFinding>& findings) {
    const char* name = VendorLibraryFileName(method);
    DlVendorLibrary library(appFolder, name);
    std::string reason;
    if (!library.Load(reason)) {
        findings.push_back(
            {"General", "ZorvanConnectionMethod", std::to_string(method),
             std::string("needs ") + name + ", which cannot be loaded (" + reason + ")"});
    }
}

// Why Tellwick.ini in appFolder cannot be read; empty when it can be, or is
// missing (a finding, not a failure).
std::string UnreadableReason(const std::string& appFolder) {
    std::error_code error;
    if (!std::filesystem::is_directory(appFolder, error)) {
        return appFolder + " is no folder that can be read";
    }
    const std::string path = appFolder + "Tellwick.ini";
    if (!std::filesystem::exists(path, error)) {
        return {};
    }
    if (!std::filesystem::is_regular_file(path, error)) {
        return path + " is no file";
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return path + ": " + std::strerror(errno);
    }
    return {};
}

}  // namespace

std::vector<ConfigFinding> CheckConfigFiles(const std::string& appFolder,
                                            const SettingsCheck& check) {
    std::vector<ConfigFinding> findings;
    for (int port = 0; port < kPortCount; ++port) {
        if (check.m_Ports[port].PortKind == PortKindCom) {
            CheckSerialDevice(port, check.m_Ports[port], findings);
        }
    }
    const int16_t method = check.m_General.ZorvanConnectionMethod;
    if (method == ZorvanMethodLibrary2 || method == ZorvanMethodLibrary3) {
        CheckLibrary(appFolder, method, findings);
    }
    return findings;
}

int RunConfigCheck(const std::string& appFolder, std::ostream& out, std::ostream& err) {
    if (const std::string reason = UnreadableReason(appFolder); !reason.empty()) {
        err << "tellwick: cannot read the configuration: " << reason << "\n";
        return ExitUnreadable;
    }
    IniFileSource source(appFolder);
    SettingsCheck check = CheckSettings(source);
    for (ConfigFinding& finding : CheckConfigFiles(appFolder, check)) {
        check.m_Findings.push_back(std::move(finding));
    }
    out << ToSystemText("Tellwick.ini in " + appFolder) << "\n";
    for (const std::string& line : check.m_Plan) {
        out << ToSystemText(line) << "\n";
    }
    for (const ConfigProblem& problem : check.m_Problems) {
        out << ToSystemText(problem.Describe()) << "\n";
    }
    for (const ConfigFinding& finding : check.m_Findings) {
        out << ToSystemText(finding.Describe()) << "\n";
    }
    const size_t count = check.m_Problems.size() + check.m_Findings.size();
    out << (count == 0 ? std::string("no findings")
                       : std::to_string(count) + (count == 1 ? " finding" : " findings"))
        << "\n";
    return count == 0 ? ExitOk : ExitFailure;
}

}  // namespace tw

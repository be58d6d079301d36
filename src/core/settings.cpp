#include "core/settings.h"

#include <functional>

#include "base/ini.h"

namespace tw {
namespace {

constexpr const char* kGeneral = "General";

// Reads one key of a section and reports values that do not fit.
class SectionReader {
  public:
    SectionReader(SettingsSource& source, std::string section, std::vector<ConfigProblem>& problems)
        : m_Source(source), m_Section(std::move(section)), m_Problems(problems) {}

    std::string Text(const char* key, const char* defaultText) const {
        return ReadIniValue(m_Source, m_Section, key, defaultText);
    }
    bool Flag(const char* key, const char* defaultText) const {
        return ToFlag(Text(key, defaultText));
    }
    int32_t Whole(const char* key, const char* defaultText, int32_t fallback) {
        return Checked(key, defaultText, fallback, ToWhole, "is not a whole number of 32 bits");
    }
    int32_t Milliseconds(const char* key, const char* defaultText, int32_t fallback) {
        return Checked(key, defaultText, fallback, ToMilliseconds,
                       "does not fit in 32 bits as milliseconds (at most 2147483 seconds)");
    }
    void Report(const char* key, const std::string& value, const std::string& reason) {
        m_Problems.push_back({m_Section, key, value, reason});
    }
    HostFilter Hosts(const char* key) {
        const std::string text = Text(key, "");
        std::string badEntry;
        if (auto filter = ParseHostFilter(text, badEntry)) {
            return *filter;
        }
        const std::string reason =
            "entry \"" + badEntry + "\" is no IPv4/IPv6 address or CIDR range";
        Report(key, text, reason);
        return {};
    }
    std::string Address(const char* key) {
        std::string text = TrimBlanks(Text(key, ""));
        if (!text.empty() && !IsIpAddress(text)) {
            Report(key, text, "is no IPv4/IPv6 address");
            return {};
        }
        return text;
    }
    size_t ProblemCount() const { return m_Problems.size(); }

  private:
    using Converter = std::function<std::optional<int32_t>(const std::string&)>;

    int32_t Checked(const char* key, const char* defaultText, int32_t fallback,
                    const Converter& convert, const char* reason) {
        const std::string text = Text(key, defaultText);
        if (auto value = convert(text)) {
            return *value;
        }
        Report(key, text, reason);
        return fallback;
    }

    SettingsSource& m_Source;
    std::string m_Section;
    std::vector<ConfigProblem>& m_Problems;
};

int16_t DecidePortKind(const PortSettings& port) {
    if (port.PortType == "TCPS" && port.ListenPort >= 1 && port.ListenPort <= 65535) {
        return PortKindTcpServer;
    }
    if (port.PortType == "TCPC" && !port.RemoteAddress.empty()) {
        return PortKindTcpClient;
    }
    if (port.PortType == "COM" && !port.ComSetting.empty()) {
        return PortKindCom;
    }
    return PortKindNone;
}

}  // namespace

std::string ConfigProblem::Describe() const {
    return "Configuration error in section " + Section + ", key " + Key + " = \"" + Value +
           "\": " + Reason;
}

std::string PortSectionName(int port) {
    return "ESPA_Port_" + std::to_string(port);
}

GeneralSettings LoadGeneralSettings(SettingsSource& source, std::vector<ConfigProblem>& problems) {
    SectionReader ini(source, kGeneral, problems);
    GeneralSettings s;
    s.ReconnectInterval = ini.Milliseconds("ReconnectInterval", "30", s.ReconnectInterval);
    s.WatchDogTagName = ini.Text("WatchDogTagName", "");
    s.WatchDogInterval = ini.Milliseconds("WatchDogInterval", "30", s.WatchDogInterval);
    s.ESPATimeout = ini.Milliseconds("ESPATimeout", "20", s.ESPATimeout);
    const std::string methodText = ini.Text("ZorvanConnectionMethod", "2");
    const auto method = ToWhole(methodText);
    if (method && *method >= INT16_MIN && *method <= INT16_MAX) {
        s.ZorvanConnectionMethod = static_cast<int16_t>(*method);
    } else {
        ini.Report("ZorvanConnectionMethod", methodText, "is not a whole number of 16 bits");
    }
    s.CloseESPAPortsWhenZorvanIsNotRunningOrActive =
        ini.Flag("CloseESPAPortsWhenZorvanIsNotRunningOrActive", "0");
    s.CloseESPAPortIfCommunicationFails = ini.Flag("CloseESPAPortIfCommunicationFails", "0");
    s.SplitT1andT4fromT4UsingSlash = ini.Flag("SplitT1andT4fromT4UsingSlash", "0");
    s.UseFormatSection = ini.Flag("UseFormatSection", "0");
    s.ZorvanPort = ini.Whole("ZorvanPort", "14000", s.ZorvanPort);
    s.BufferIfZorvanNotConnected = ini.Flag("BufferIfZorvanNotConnected", "1");
    s.ESPACategory = ini.Text("ESPACategory", "");
    s.ZorvanAllowedHosts = ini.Hosts("ZorvanAllowedHosts");
    s.ZorvanListenAddress = ini.Address("ZorvanListenAddress");
    const std::string statusPortText = ini.Text("StatusPort", "0");
    const auto statusPort = ToWhole(statusPortText);
    if (statusPort && *statusPort >= 0 && *statusPort <= 65535) {
        s.StatusPort = *statusPort;
    } else {
        ini.Report("StatusPort", statusPortText, "must be a number from 0 to 65535");
    }
    // Empty keeps the loopback address: only an address written out opens
    // the server to the network.
    const std::string statusAddress = ini.Address("StatusListenAddress");
    if (!statusAddress.empty()) {
        s.StatusListenAddress = statusAddress;
    }
    s.StatusAllowedHosts = ini.Hosts("StatusAllowedHosts");
    s.PersistAlarmBuffer = ini.Flag("PersistAlarmBuffer", "0");
    s.PersistedAlarmMaxAge = ini.Whole("PersistedAlarmMaxAge", "3600", s.PersistedAlarmMaxAge);
    if (s.PersistedAlarmMaxAge < 0) {
        ini.Report("PersistedAlarmMaxAge", std::to_string(s.PersistedAlarmMaxAge),
                   "must be 0 or more seconds");
        s.PersistedAlarmMaxAge = 3600;
    }
    return s;
}

PortSettings LoadPortSettings(SettingsSource& source, int port,
                              std::vector<ConfigProblem>& problems) {
    SectionReader ini(source, PortSectionName(port), problems);
    const size_t problemsBefore = ini.ProblemCount();
    PortSettings s;
    s.Description = ini.Text("Description", "");
    s.SendInQueue = ini.Flag("SendInQueue", "0");
    s.SendPaged = ini.Flag("SendPaged", "0");
    s.SendTerminated = ini.Flag("SendTerminated", "0");
    s.PollFailTimeout = ini.Milliseconds("PollFailTimeout", "0", 0);
    s.PollFailedCategory = ini.Text("PollFailedCategory", "");
    s.PollFailRemindTime = ini.Whole("PollFailRemindTime", "0", 0);
    if (s.PollFailRemindTime > INT32_MAX / 1000) {
        ini.Report("PollFailRemindTime", std::to_string(s.PollFailRemindTime),
                   "does not fit in 32 bits as milliseconds (at most 2147483 seconds)");
    }
    s.Swedish7BitASCII2ISOLatin1 = ini.Flag("Swedish7BitASCII2ISOLatin1", "0");
    s.DOSASCII2ISOLatin1 = ini.Flag("DOSASCII2ISOLatin1", "0");
    s.RemoteAddress = ini.Text("RemoteAddress", "");
    s.ListenPort = ini.Whole("ListenPort", "0", 0);
    s.ComSetting = ini.Text("ComSetting", "");
    s.PortType = ToUpperAscii(TrimBlanks(ini.Text("PortType", "")));
    s.ComDevice = ini.Text("ComDevice", "");
    s.AllowedHosts = ini.Hosts("AllowedHosts");
    s.ListenAddress = ini.Address("ListenAddress");
    s.ResyncOnUnrecognisedInput = ini.Flag("ResyncOnUnrecognisedInput", "0");
    s.PortKind = DecidePortKind(s);
    if (s.PortKind == PortKindTcpClient) {
        const std::string portText = GetField(s.RemoteAddress, 1, ":");
        const auto remotePort = ToWhole(portText);
        if (!remotePort || *remotePort < 0 || *remotePort > 65535) {
            ini.Report("RemoteAddress", s.RemoteAddress,
                       "the port must be a number from 0 to 65535");
        }
    }
    if (ini.ProblemCount() != problemsBefore) {
        s.PortKind = PortKindNone;
    }
    return s;
}

int16_t PortSettings::ComPortNumber() const {
    const std::string field = GetField(ComSetting, 0, ",");
    const auto number = ToWhole(field.size() > 3 ? field.substr(3) : std::string());
    if (!number || *number < 0 || *number > INT16_MAX) {
        return 0;
    }
    return static_cast<int16_t>(*number);
}

std::string PortSettings::ComLineSettings() const {
    return GetField(ComSetting, 1, ",") + "," + GetField(ComSetting, 2, ",") + "," +
           GetField(ComSetting, 3, ",") + "," + GetField(ComSetting, 4, ",");
}

int16_t PortSettings::ComHandshaking() const {
    const auto mode = ToWhole(GetField(ComSetting, 5, ","));
    if (!mode || *mode < INT16_MIN || *mode > INT16_MAX) {
        return 0;
    }
    return static_cast<int16_t>(*mode);
}

std::string PortSettings::SerialDevice() const {
    return SerialDevicePath(ComPortNumber(), ComDevice);
}

std::string SerialDevicePath(int16_t comPort, const std::string& device) {
    if (!device.empty()) {
        return device;
    }
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

std::string PortSettings::RemoteHost() const {
    return GetField(RemoteAddress, 0, ":");
}

int32_t PortSettings::RemotePortNumber() const {
    const auto port = ToWhole(GetField(RemoteAddress, 1, ":"));
    return port.value_or(0);
}

}  // namespace tw

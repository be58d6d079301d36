#include "core/settingscheck.h"

#include <cctype>
#include <optional>
#include <set>

#include "base/hostfilter.h"
#include "base/ini.h"
#include "core/alarmjournal.h"
#include "core/transport.h"

namespace tw {
namespace {

constexpr const char* kGeneral = "General";

// Digits with blanks between them, as the number reader allows; anything
// else ("4oo1", "4001.5", "0x10") is read as some other number.
bool IsPlainNumber(const std::string& text) {
    bool digits = false;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) != 0) {
            digits = true;
        } else if (c != ' ' && c != '\t') {
            return false;
        }
    }
    return digits;
}

// Why text is no usable TCP port number; nullopt when it is one.
std::optional<std::string> PortNumberMistake(const std::string& text) {
    const int32_t number = ToWhole(text).value_or(0);
    if (!IsPlainNumber(text)) {
        return "is read as " + std::to_string(number) + ", since a port number has digits only";
    }
    if (number < 1 || number > 65535) {
        return std::string("is out of range 1 to 65535");
    }
    return std::nullopt;
}

// "ESPA Port 0" and "espa_port_08" both give "ESPAPORT0".
std::string LettersAndDigits(const std::string& name) {
    std::string kept;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
            kept.push_back(c);
        }
    }
    return ToUpperAscii(kept);
}

std::string Quoted(const std::string& description) {
    return description.empty() ? std::string() : ", '" + description + "'";
}

std::string PortPlan(int port, const PortSettings& settings) {
    const std::string head = "port " + std::to_string(port) + ": ";
    const std::string tail = Quoted(settings.Description);
    switch (settings.PortKind) {
        case PortKindTcpServer:
            return head + "TCP server on " +
                   HostAndPort(settings.ListenAddress, settings.ListenPort) + tail;
        case PortKindTcpClient:
            return head + "TCP client to " +
                   Endpoint(settings.RemoteHost(), settings.RemotePortNumber()) + tail;
        case PortKindCom: {
            const std::string line = settings.ComLineSettings();
            const bool ownLine = line.find_first_not_of(", ") != std::string::npos;
            return head + "serial line COM" + std::to_string(settings.ComPortNumber()) + " on " +
                   settings.SerialDevice() + (ownLine ? " at " + line : std::string()) + tail;
        }
        default:
            return head + "not in use" + tail;
    }
}

// A TCP listener the gateway will open, to find two on one number.
struct Listener {
    std::string m_Section;
    std::string m_Key;
    std::string m_Address;  // empty: every address
    int32_t m_Port = 0;

    std::string Name() const { return m_Section == kGeneral ? m_Key : m_Section; }
    bool Collides(const Listener& other) const {
        return m_Port == other.m_Port &&
               (m_Address.empty() || other.m_Address.empty() || m_Address == other.m_Address);
    }
};

class Checker {
  public:
    explicit Checker(SettingsSource& source) : m_Source(source) {}

    SettingsCheck Run() {
        if (m_Source.File({}) == nullptr) {
            Find("", "", "", "Tellwick.ini is missing or cannot be read, so no ESPA port is used");
        }
        CheckSectionNames();
        m_Result.m_General = LoadGeneralSettings(m_Source, m_Result.m_Problems);
        PlanAlarmServer();
        PlanAlarmBuffer();
        PlanStatusServer();
        for (int port = 0; port < kPortCount; ++port) {
            m_Result.m_Ports[port] = LoadPortSettings(m_Source, port, m_Result.m_Problems);
            CheckPort(port);
        }
        CheckSharedListeners();
        CheckSharedDevices();
        return std::move(m_Result);
    }

  private:
    // The value as written, nullopt when the key is missing.
    std::optional<std::string> Raw(const std::string& section, const char* key) {
        const IniFile* file = m_Source.File({});
        return file == nullptr ? std::nullopt : file->Value(section, key);
    }

    void Find(const std::string& section, const std::string& key, const std::string& value,
              const std::string& reason) {
        m_Result.m_Findings.push_back({section, key, value, reason});
    }

    bool HasProblem(const std::string& section, const std::string& key) const {
        for (const ConfigProblem& problem : m_Result.m_Problems) {
            if (problem.Section == section && problem.Key == key) {
                return true;
            }
        }
        return false;
    }

    // Sections named almost like a port section, and sections written twice
    // (the reader takes the first of a name only).
    void CheckSectionNames() {
        const IniFile* file = m_Source.File({});
        if (file == nullptr) {
            return;
        }
        std::set<std::string> reported;
        for (const std::string& line : file->Lines()) {
            const auto name = IniHeaderName(line);
            if (!name) {
                continue;
            }
            const std::string upper = ToUpperAscii(*name);
            if (!m_Sections.insert(upper).second) {
                if (reported.insert(upper).second) {
                    Find(*name, "", "", "appears more than once; only the first one is read");
                }
                continue;
            }
            if (LettersAndDigits(*name).starts_with("ESPAPORT") && !IsPortSection(upper)) {
                Find(*name, "", "",
                     "looks like a port section but is none (ESPA_Port_0 to ESPA_Port_7), so "
                     "it is not read");
            }
        }
    }

    static bool IsPortSection(const std::string& upperName) {
        for (int port = 0; port < kPortCount; ++port) {
            if (upperName == ToUpperAscii(PortSectionName(port))) {
                return true;
            }
        }
        return false;
    }

    void PlanAlarmServer() {
        const GeneralSettings& general = m_Result.m_General;
        switch (general.ZorvanConnectionMethod) {
            case 0:
                m_Result.m_Plan.emplace_back("alarm server: library Zorvan2.dll");
                return;
            case 1:
                m_Result.m_Plan.emplace_back("alarm server: library Zorvan3.dll");
                return;
            case 2:
                break;
            default:
                Find(kGeneral, "ZorvanConnectionMethod",
                     std::to_string(general.ZorvanConnectionMethod),
                     "is none of 0, 1 and 2, so no alarm reaches the alarm server");
                m_Result.m_Plan.emplace_back("alarm server: not reached");
                return;
        }
        m_Result.m_Plan.push_back("alarm server: TCP listener on " +
                                  HostAndPort(general.ZorvanListenAddress, general.ZorvanPort));
        const auto text = Raw(kGeneral, "ZorvanPort");
        if (HasProblem(kGeneral, "ZorvanPort")) {
            return;
        }
        if (const auto mistake = text ? PortNumberMistake(*text) : std::nullopt) {
            Find(kGeneral, "ZorvanPort", *text, *mistake);
            return;
        }
        m_Listeners.push_back(
            {kGeneral, "ZorvanPort", general.ZorvanListenAddress, general.ZorvanPort});
    }

    void PlanAlarmBuffer() {
        const GeneralSettings& general = m_Result.m_General;
        std::string plan = "alarm buffer: ";
        if (!general.BufferIfZorvanNotConnected) {
            plan += "off, an alarm that cannot be delivered is dropped";
        } else if (!general.PersistAlarmBuffer) {
            plan += "in memory, lost at a stop";
        } else {
            plan += std::string("kept in ") + kAlarmJournalFileName + ", ";
            plan += general.PersistedAlarmMaxAge == 0
                        ? std::string("restored at any age")
                        : "alarms older than " + std::to_string(general.PersistedAlarmMaxAge) +
                              " s dropped at the start";
        }
        m_Result.m_Plan.push_back(std::move(plan));
    }

    void PlanStatusServer() {
        const GeneralSettings& general = m_Result.m_General;
        if (general.StatusPort != 0) {
            m_Result.m_Plan.push_back("status page: http://" +
                                      HostAndPort(general.StatusListenAddress, general.StatusPort) +
                                      "/");
        }
    }

    void CheckPort(int port) {
        const std::string section = PortSectionName(port);
        const PortSettings& settings = m_Result.m_Ports[port];
        if (m_Sections.count(ToUpperAscii(section)) != 0) {
            m_Result.m_Plan.push_back(PortPlan(port, settings));
        }
        const std::string& type = settings.PortType;
        if (type == "TCPS") {
            CheckListenPort(section, settings);
        } else if (type == "TCPC") {
            CheckRemoteAddress(section, settings);
        } else if (type == "COM") {
            if (settings.ComSetting.empty()) {
                Find(section, "ComSetting", "", "is missing, so the serial port is not used");
            }
        } else if (!type.empty()) {
            Find(section, "PortType", Raw(section, "PortType").value_or(""),
                 "is none of TCPS, TCPC and COM, so the port is not used");
        }
    }

    void CheckListenPort(const std::string& section, const PortSettings& settings) {
        const std::string text = Raw(section, "ListenPort").value_or("");
        if (HasProblem(section, "ListenPort")) {
            return;
        }
        if (TrimBlanks(text).empty()) {
            Find(section, "ListenPort", text, "is missing, so the TCP server port is not used");
            return;
        }
        if (const auto mistake = PortNumberMistake(text)) {
            const bool unused = settings.PortKind == PortKindNone;
            Find(section, "ListenPort", text,
                 *mistake + (unused ? ", so the port is not used" : std::string()));
            return;
        }
        if (settings.PortKind == PortKindTcpServer) {
            m_Listeners.push_back(
                {section, "ListenPort", settings.ListenAddress, settings.ListenPort});
        }
    }

    void CheckRemoteAddress(const std::string& section, const PortSettings& settings) {
        if (HasProblem(section, "RemoteAddress")) {
            return;
        }
        if (settings.RemoteAddress.empty()) {
            Find(section, "RemoteAddress", "", "is missing, so the TCP client port is not used");
            return;
        }
        const std::string portText = GetField(settings.RemoteAddress, 1, ":");
        if (TrimBlanks(portText).empty()) {
            Find(section, "RemoteAddress", settings.RemoteAddress,
                 "has no port number (host:port)");
        } else if (const auto mistake = PortNumberMistake(portText)) {
            Find(section, "RemoteAddress", settings.RemoteAddress, "port " + *mistake);
        }
    }

    void CheckSharedListeners() {
        for (size_t later = 1; later < m_Listeners.size(); ++later) {
            for (size_t earlier = 0; earlier < later; ++earlier) {
                if (m_Listeners[later].Collides(m_Listeners[earlier])) {
                    const Listener& listener = m_Listeners[later];
                    Find(listener.m_Section, listener.m_Key, std::to_string(listener.m_Port),
                         "is the same TCP port as " + m_Listeners[earlier].Name() +
                             ", and only one of them can listen on it");
                    break;
                }
            }
        }
    }

    void CheckSharedDevices() {
        for (int later = 1; later < kPortCount; ++later) {
            const PortSettings& settings = m_Result.m_Ports[later];
            if (settings.PortKind != PortKindCom) {
                continue;
            }
            for (int earlier = 0; earlier < later; ++earlier) {
                const PortSettings& other = m_Result.m_Ports[earlier];
                if (other.PortKind == PortKindCom &&
                    other.SerialDevice() == settings.SerialDevice()) {
                    Find(PortSectionName(later), "ComSetting", settings.ComSetting,
                         "opens " + settings.SerialDevice() + " like " + PortSectionName(earlier) +
                             ", and only one of them can");
                    break;
                }
            }
        }
    }

    SettingsSource& m_Source;
    SettingsCheck m_Result;
    std::set<std::string> m_Sections;  // upper-cased names of the sections read
    std::vector<Listener> m_Listeners;
};

}  // namespace

std::string ConfigFinding::Describe() const {
    std::string line = "Configuration warning";
    if (!Section.empty()) {
        line += " in section " + Section;
    }
    if (!Key.empty()) {
        line += ", key " + Key + " = \"" + Value + "\"";
    }
    return line + ": " + Reason;
}

SettingsCheck CheckSettings(SettingsSource& source) {
    return Checker(source).Run();
}

}  // namespace tw

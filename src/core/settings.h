// The settings records, filled once at start-up from "Tellwick.ini" and only
// read afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/hostfilter.h"
#include "core/portcount.h"
#include "core/settingssource.h"

namespace tw {

// What an ESPA port is, decided at start-up.
enum PortKind : int16_t {
    PortKindNone = 0,
    PortKindTcpServer = 1,  // "TCPS"
    PortKindTcpClient = 2,  // "TCPC"
    PortKindCom = 3,        // "COM"
};

// Section "General". Times in milliseconds.
struct GeneralSettings {
    int32_t ReconnectInterval = 30000;
    std::string WatchDogTagName;
    int32_t WatchDogInterval = 30000;
    int32_t ESPATimeout = 20000;
    int16_t ZorvanConnectionMethod = 2;
    bool CloseESPAPortsWhenZorvanIsNotRunningOrActive = false;
    bool CloseESPAPortIfCommunicationFails = false;
    bool SplitT1andT4fromT4UsingSlash = false;
    bool UseFormatSection = false;
    int32_t ZorvanPort = 14000;
    bool BufferIfZorvanNotConnected = true;
    std::string ESPACategory;
    // Access control of the alarm-server listener; empty: anyone, any address.
    HostFilter ZorvanAllowedHosts;
    std::string ZorvanListenAddress;
    // The read-only status server: its TCP port (0: off), the one local
    // address it listens on, and who may connect (empty: anyone).
    int32_t StatusPort = 0;
    std::string StatusListenAddress = "127.0.0.1";
    HostFilter StatusAllowedHosts;
    // The alarm buffer kept in a journal file across restarts, and the age
    // in seconds beyond which a kept alarm is dropped at start-up (0: none).
    bool PersistAlarmBuffer = false;
    int32_t PersistedAlarmMaxAge = 3600;
};

// Section "ESPA_Port_" + n. Times in milliseconds except PollFailRemindTime.
struct PortSettings {
    std::string Description;
    bool SendInQueue = false;
    bool SendPaged = false;
    bool SendTerminated = false;
    int32_t PollFailTimeout = 0;
    std::string PollFailedCategory;
    int32_t PollFailRemindTime = 0;  // seconds
    bool Swedish7BitASCII2ISOLatin1 = false;
    bool DOSASCII2ISOLatin1 = false;
    std::string RemoteAddress;
    int32_t ListenPort = 0;
    std::string ComSetting;
    std::string PortType;  // trimmed, upper-cased
    int16_t PortKind = PortKindNone;
    std::string ComDevice;  // optional device path overriding COMn -> /dev/ttyS(n-1)
    // Access control of a TCPS port's listener; empty: anyone, any address.
    HostFilter AllowedHosts;
    std::string ListenAddress;
    // An unrecognised head of the input is dropped at once up to the next
    // character that can begin an element, whatever ESPATimeout says.
    bool ResyncOnUnrecognisedInput = false;

    // Split forms used when the transports are configured.
    int16_t ComPortNumber() const;        // field 0 from its fourth character on
    std::string ComLineSettings() const;  // fields 1..4 joined with ","
    int16_t ComHandshaking() const;       // field 5
    std::string RemoteHost() const;       // RemoteAddress field 0
    std::string SerialDevice() const;     // ComDevice, else /dev/ttyS(n-1) for COMn
    int32_t RemotePortNumber() const;  // RemoteAddress field 1 as a whole number (0 when invalid)
};

struct Settings {
    GeneralSettings General;
    std::array<PortSettings, kPortCount> Ports;
};

// A value the program cannot use. A problem in "General" stops the start; a
// problem in a port section leaves that port out of use.
struct ConfigProblem {
    std::string Section;
    std::string Key;
    std::string Value;
    std::string Reason;

    // One event-log line naming key, section and value.
    std::string Describe() const;
};

// Reads section "General" in its key order. Problems are appended.
GeneralSettings LoadGeneralSettings(SettingsSource& source, std::vector<ConfigProblem>& problems);

// Reads section "ESPA_Port_" + port in its key order and decides PortKind; a
// port with a problem gets PortKind 0. Problems are appended.
PortSettings LoadPortSettings(SettingsSource& source, int port,
                              std::vector<ConfigProblem>& problems);

// "ESPA_Port_" + port.
std::string PortSectionName(int port);

// The device a serial port opens: device when not empty, else COMn's default
// /dev/ttyS(n-1).
std::string SerialDevicePath(int16_t comPort, const std::string& device);

}  // namespace tw

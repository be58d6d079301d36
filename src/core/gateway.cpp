#include "core/gateway.h"

#include <stdexcept>

namespace tw {
namespace {

template <typename T>
T& Required(T* object, const char* name) {
    if (object == nullptr) {
        throw std::invalid_argument(std::string("gateway wiring lacks ") + name);
    }
    return *object;
}

template <typename T>
const std::array<T*, kPortCount>& RequiredAll(const std::array<T*, kPortCount>& objects,
                                              const char* name) {
    for (T* object : objects) {
        Required(object, name);
    }
    return objects;
}

}  // namespace

Gateway::Gateway(const GatewayWiring& wiring)
    : Winsock_Connect(RequiredAll(wiring.Winsock_Connect, "Winsock_Connect")),
      Winsock_Data(RequiredAll(wiring.Winsock_Data, "Winsock_Data")),
      MSComm(RequiredAll(wiring.MSComm, "MSComm")),
      Winsock_Zorvan_Connect(Required(wiring.Winsock_Zorvan_Connect, "Winsock_Zorvan_Connect")),
      Winsock_Zorvan_Data(Required(wiring.Winsock_Zorvan_Data, "Winsock_Zorvan_Data")),
      Zorvan2(Required(wiring.Zorvan2, "Zorvan2")),
      Zorvan3(Required(wiring.Zorvan3, "Zorvan3")),
      m_Clock(Required(wiring.m_Clock, "the clock")),
      m_Settings(Required(wiring.m_Settings, "the settings source")),
      m_LogFolder(Required(wiring.m_LogFolder, "the log folder")),
      m_View(Required(wiring.m_View, "the view")),
      m_Alarms(Required(wiring.m_Alarms, "the alarm output")),
      m_EventLog(m_LogFolder),
      m_Now(m_Clock.Now()) {}

void Gateway::WriteEventLog(const std::string& message) const {
    m_EventLog.WriteEventLog(m_Now, message);
    if (m_EventLogCopy) {
        m_EventLogCopy(message);
    }
}

void Gateway::WriteConnectionLine(LogFloodGate& gate, const std::string& message) const {
    if (gate.Admit()) {
        WriteEventLog(message);
    }
}

void Gateway::SumUpConnectionLines(LogFloodGate& gate, const std::string& label) const {
    if (const uint64_t held = gate.SecondPassed()) {
        WriteEventLog(label + ": " + std::to_string(held) +
                      " more connection events in the last minute");
    }
}

}  // namespace tw

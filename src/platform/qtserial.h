// The serial port object on QSerialPort. COMn is the device /dev/ttyS(n-1)
// unless a device path was given with SetDevice (the port's ComDevice key).
//
// Events are delivered queued, from the event loop. A device that fails while
// open (a USB adapter unplugged, the other end of a pty closed) is closed here,
// so PortOpen turns false and the supervision cycle opens it again.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "core/transport.h"

namespace tw {

// The most output waiting for a line that does not take it (flow control
// held, a slow baud rate); beyond it Output refuses.
constexpr size_t kOutputBacklogLimit = size_t{64} * 1024;

// Line settings parsed from "baud,parity,data bits,stop bits".
struct LineSettings {
    int32_t m_Baud = 9600;
    QSerialPort::Parity m_Parity = QSerialPort::NoParity;
    QSerialPort::DataBits m_DataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_StopBits = QSerialPort::OneStop;
};

// Parses "9600,N,8,1": baud > 0, parity N/E/O/M/S (either case), data bits
// 5 to 8, stop bits 1, 1.5 or 2, blanks around fields allowed. nullopt with a
// readable error otherwise.
std::optional<LineSettings> ParseLineSettings(const std::string& text, std::string& error);

class QtSerial : public Serial {
  public:
    // The kind of event raised when the device failed and was closed.
    enum : int16_t { CommEventDeviceLost = 1100 };

    QtSerial();
    ~QtSerial() override;
    QtSerial(const QtSerial&) = delete;
    QtSerial& operator=(const QtSerial&) = delete;

    int16_t CommPort() const override { return m_CommPort; }
    void SetCommPort(int16_t port) override { m_CommPort = port; }
    // A device path that replaces /dev/ttyS(n-1); empty restores the default.
    void SetDevice(const std::string& path) { m_Device = path; }
    // The device that opening uses.
    std::string DevicePath() const;

    // Applied at once when the port is open.
    bool SetSettings(const std::string& settings, std::string& error) override;
    bool SetHandshaking(int16_t mode) override;

    bool PortOpen() const override { return m_Port.isOpen(); }
    bool SetPortOpen(bool open, std::string& error) override;

    int16_t CommEvent() const override { return m_CommEvent; }
    int32_t InBufferCount() const override;
    std::optional<std::string> Input() override;
    bool Output(const std::string& bytes) override;

    void SetEvents(SerialEvents* events) override { m_Events = events; }

  private:
    bool ApplySettings(std::string& error);
    void RaiseReceive();
    void HandleError(uint64_t generation, QSerialPort::SerialPortError error);

    QObject m_Context;  // receiver of the queued events
    QSerialPort m_Port;
    uint64_t m_Generation = 0;  // bumped at every open and close
    int16_t m_CommPort = 1;
    std::string m_Device;
    LineSettings m_Settings;
    int16_t m_Handshaking = 0;
    int16_t m_CommEvent = 0;
    SerialEvents* m_Events = nullptr;
};

}  // namespace tw

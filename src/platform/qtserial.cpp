#include "platform/qtserial.h"

#include <termios.h>

#include <charconv>

#include "base/ini.h"
#include "core/settings.h"

namespace tw {

namespace {

std::optional<QSerialPort::Parity> ParseParity(const std::string& text) {
    const std::string upper = ToUpperAscii(text);
    if (upper == "N") {
        return QSerialPort::NoParity;
    }
    if (upper == "E") {
        return QSerialPort::EvenParity;
    }
    if (upper == "O") {
        return QSerialPort::OddParity;
    }
    if (upper == "M") {
        return QSerialPort::MarkParity;
    }
    if (upper == "S") {
        return QSerialPort::SpaceParity;
    }
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> ParseStopBits(const std::string& text) {
    if (text == "1") {
        return QSerialPort::OneStop;
    }
    if (text == "1.5") {
        return QSerialPort::OneAndHalfStop;
    }
    if (text == "2") {
        return QSerialPort::TwoStop;
    }
    return std::nullopt;
}

std::optional<int32_t> ParsePositive(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, problem] = std::from_chars(text.data(), end, value);
    if (problem != std::errc() || stop != end || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// XON/XOFF on top of RTS/CTS, which QSerialPort cannot combine by itself.
bool AddSoftwareFlowControl(int handle) {
    termios attributes{};
    if (tcgetattr(handle, &attributes) != 0) {
        return false;
    }
    attributes.c_iflag |= IXON | IXOFF;
    return tcsetattr(handle, TCSANOW, &attributes) == 0;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const std::string& text, std::string& error) {
    std::string fields[4];
    for (int16_t index = 0; index < 4; ++index) {
        fields[index] = TrimBlanks(GetField(text, index, ","));
    }
    const std::string problem = "Invalid line settings \"" + text + "\": ";
    if (!GetField(text, 4, ",").empty() || fields[3].empty()) {
        error = problem + "expected baud,parity,data bits,stop bits";
        return std::nullopt;
    }
    const auto baud = ParsePositive(fields[0]);
    const auto parity = ParseParity(fields[1]);
    const auto dataBits = ParsePositive(fields[2]);
    const auto stopBits = ParseStopBits(fields[3]);
    if (!baud) {
        error = problem + "baud rate \"" + fields[0] + "\"";
    } else if (!parity) {
        error = problem + "parity \"" + fields[1] + "\" (N, E, O, M or S)";
    } else if (!dataBits || *dataBits < 5 || *dataBits > 8) {
        error = problem + "data bits \"" + fields[2] + "\" (5 to 8)";
    } else if (!stopBits) {
        error = problem + "stop bits \"" + fields[3] + "\" (1, 1.5 or 2)";
    } else {
        return LineSettings{*baud, *parity, static_cast<QSerialPort::DataBits>(*dataBits),
                            *stopBits};
    }
    return std::nullopt;
}

QtSerial::QtSerial() {
    QObject::connect(
        &m_Port, &QSerialPort::readyRead, &m_Context, [this] { RaiseReceive(); },
        Qt::QueuedConnection);
    QObject::connect(
        &m_Port, &QSerialPort::errorOccurred, &m_Context,
        [this](QSerialPort::SerialPortError error) { HandleError(m_Generation, error); },
        Qt::DirectConnection);
}

QtSerial::~QtSerial() {
    m_Port.disconnect();
    m_Port.close();
}

std::string QtSerial::DevicePath() const {
    return SerialDevicePath(m_CommPort, m_Device);
}

bool QtSerial::SetSettings(const std::string& settings, std::string& error) {
    const auto parsed = ParseLineSettings(settings, error);
    if (!parsed) {
        return false;
    }
    m_Settings = *parsed;
    return !m_Port.isOpen() || ApplySettings(error);
}

bool QtSerial::SetHandshaking(int16_t mode) {
    if (mode < 0 || mode > 3) {
        return false;
    }
    m_Handshaking = mode;
    std::string ignored;
    return !m_Port.isOpen() || ApplySettings(ignored);
}

bool QtSerial::ApplySettings(std::string& error) {
    static const QSerialPort::FlowControl kFlow[] = {
        QSerialPort::NoFlowControl, QSerialPort::SoftwareControl, QSerialPort::HardwareControl,
        QSerialPort::HardwareControl};
    const bool applied =
        m_Port.setBaudRate(m_Settings.m_Baud) && m_Port.setParity(m_Settings.m_Parity) &&
        m_Port.setDataBits(m_Settings.m_DataBits) && m_Port.setStopBits(m_Settings.m_StopBits) &&
        m_Port.setFlowControl(kFlow[m_Handshaking]) &&
        (m_Handshaking != 3 || AddSoftwareFlowControl(m_Port.handle()));
    if (!applied) {
        error = DevicePath() + ": " + m_Port.errorString().toStdString();
    }
    return applied;
}

bool QtSerial::SetPortOpen(bool open, std::string& error) {
    if (!open) {
        ++m_Generation;
        m_Port.close();
        return true;
    }
    if (m_Port.isOpen()) {
        error = "Port already open";
        return false;
    }
    if (m_Device.empty() && m_CommPort < 1) {
        error = "Invalid port number " + std::to_string(m_CommPort);
        return false;
    }
    ++m_Generation;
    m_Port.setPortName(QString::fromStdString(DevicePath()));
    if (!m_Port.open(QIODevice::ReadWrite)) {
        error = DevicePath() + ": " + m_Port.errorString().toStdString();
        return false;
    }
    if (!ApplySettings(error)) {
        ++m_Generation;
        m_Port.close();
        return false;
    }
    return true;
}

int32_t QtSerial::InBufferCount() const {
    return m_Port.isOpen() ? static_cast<int32_t>(m_Port.bytesAvailable()) : 0;
}

std::optional<std::string> QtSerial::Input() {
    if (!m_Port.isOpen()) {
        return std::nullopt;
    }
    const QByteArray data = m_Port.readAll();
    return std::string(data.constData(), static_cast<size_t>(data.size()));
}

bool QtSerial::Output(const std::string& bytes) {
    if (!m_Port.isOpen()) {
        return false;
    }
    const auto waiting = static_cast<size_t>(m_Port.bytesToWrite());
    if (waiting > 0 && waiting + bytes.size() > kOutputBacklogLimit) {
        return false;  // the line does not take what it has: refused whole
    }
    const auto size = static_cast<qint64>(bytes.size());
    return m_Port.write(bytes.data(), size) == size;
}

void QtSerial::RaiseReceive() {
    if (InBufferCount() == 0) {
        return;
    }
    m_CommEvent = CommEventReceive;
    if (m_Events != nullptr) {
        m_Events->OnComm();
    }
}

void QtSerial::HandleError(uint64_t generation, QSerialPort::SerialPortError error) {
    const bool deviceLost = error == QSerialPort::ResourceError ||
                            error == QSerialPort::ReadError || error == QSerialPort::WriteError;
    if (!deviceLost || !m_Port.isOpen()) {
        return;
    }
    // Closing from inside QSerialPort's own notification is not safe: do it
    // from the event loop, unless the port was reopened meanwhile.
    QMetaObject::invokeMethod(
        &m_Context,
        [this, generation] {
            if (generation != m_Generation) {
                return;
            }
            ++m_Generation;
            m_Port.close();
            m_CommEvent = CommEventDeviceLost;
            if (m_Events != nullptr) {
                m_Events->OnComm();
            }
        },
        Qt::QueuedConnection);
}

}  // namespace tw

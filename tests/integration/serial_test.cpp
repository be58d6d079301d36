// QtSerial on real pseudo-terminals: the test holds the master side, the
// adapter opens the slave device as its serial line. A device that is missing,
// goes away and comes back is proven against the built program
// (faults_e2e_test).
#include <gtest/gtest.h>

#include <string>

#include "integration/eventloop.h"
#include "platform/qtserial.h"
#include "support/pseudoterminal.h"

namespace tw::test {
namespace {

class CommRecorder : public SerialEvents {
  public:
    explicit CommRecorder(QtSerial& serial) : m_Serial(serial) { serial.SetEvents(this); }
    // Reads as the gateway's receive handler does.
    void OnComm() override {
        m_Events.push_back(m_Serial.CommEvent());
        if (m_Serial.CommEvent() == Serial::CommEventReceive && m_Serial.InBufferCount() > 0) {
            m_Received += m_Serial.Input().value_or("");
        }
    }
    QtSerial& m_Serial;
    std::vector<int16_t> m_Events;
    std::string m_Received;
};

TEST(LineSettingsTest, ParsesEveryValidFieldAndNamesTheBadOne) {
    struct Row {
        const char* m_Text;
        const char* m_ErrorPart;  // nullptr: valid
    };
    const Row rows[] = {
        {"9600,N,8,1", nullptr},
        {"115200,e,7,2", nullptr},
        {" 1200 , O , 5 , 1.5 ", nullptr},
        {"300,M,6,1", nullptr},
        {"300,s,8,2", nullptr},
        {"9600,X,8,1", "parity \"X\""},
        {"fast,N,8,1", "baud rate"},
        {"0,N,8,1", "baud rate"},
        {"9600,N,9,1", "data bits \"9\""},
        {"9600,N,4,1", "data bits"},
        {"9600,N,8,3", "stop bits \"3\""},
        {"9600,N,8", "expected"},
        {"9600,N,8,1,1", "expected"},
    };
    for (const Row& row : rows) {
        std::string error;
        const bool valid = ParseLineSettings(row.m_Text, error).has_value();
        EXPECT_EQ(valid, row.m_ErrorPart == nullptr) << row.m_Text;
        if (row.m_ErrorPart != nullptr) {
            EXPECT_NE(error.find(row.m_ErrorPart), std::string::npos)
                << row.m_Text << ": " << error;
        }
    }
    std::string error;
    const auto parsed = ParseLineSettings("19200,E,7,1.5", error);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->m_Baud, 19200);
    EXPECT_EQ(parsed->m_Parity, QSerialPort::EvenParity);
    EXPECT_EQ(parsed->m_DataBits, QSerialPort::Data7);
    EXPECT_EQ(parsed->m_StopBits, QSerialPort::OneAndHalfStop);
}

TEST(QtSerialTest, OpensWithTheSettingsAndCarriesEveryByteBothWays) {
    PseudoTerminal terminal;
    ASSERT_FALSE(terminal.m_SlaveName.empty());
    QtSerial serial;
    CommRecorder events(serial);
    serial.SetDevice(terminal.m_SlaveName);
    std::string error;
    // A pty keeps 8 data bits without parity, so those two are proven by the
    // parser table alone.
    ASSERT_TRUE(serial.SetSettings("19200,N,8,2", error)) << error;
    ASSERT_TRUE(serial.SetHandshaking(3));
    EXPECT_FALSE(serial.SetHandshaking(4));
    ASSERT_TRUE(serial.SetPortOpen(true, error)) << error;
    EXPECT_TRUE(serial.PortOpen());

    termios line = terminal.Attributes();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
    EXPECT_TRUE(line.c_cflag & CSTOPB);
    EXPECT_TRUE(line.c_cflag & CRTSCTS);
    EXPECT_EQ(line.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    // Changed settings apply to the open line at once.
    ASSERT_TRUE(serial.SetSettings("9600,N,8,1", error)) << error;
    ASSERT_TRUE(serial.SetHandshaking(0));
    line = terminal.Attributes();
    EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B9600));
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_cflag & CRTSCTS);
    EXPECT_FALSE(line.c_iflag & IXON);

    std::string everyByte;
    for (int value = 0; value < 256; ++value) {
        everyByte += static_cast<char>(value);
    }
    ASSERT_TRUE(terminal.Write(everyByte));
    ASSERT_TRUE(WaitUntil([&] { return events.m_Received.size() >= everyByte.size(); }));
    EXPECT_EQ(events.m_Received, everyByte);
    EXPECT_EQ(events.m_Events.front(), Serial::CommEventReceive);

    ASSERT_TRUE(serial.Output(everyByte));
    std::string written;
    ASSERT_TRUE(WaitUntil([&] {
        written += terminal.ReadWaiting();
        return written.size() >= everyByte.size();
    }));
    EXPECT_EQ(written, everyByte);

    ASSERT_TRUE(serial.SetPortOpen(false, error));
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_FALSE(serial.Output("x"));
}

}  // namespace
}  // namespace tw::test

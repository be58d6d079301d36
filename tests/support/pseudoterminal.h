// A pseudo-terminal whose slave device stands in for a serial line: the test
// holds the master side, the code under test opens the slave by its name.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace tw::test {

class PseudoTerminal {
  public:
    PseudoTerminal() {
        char name[256] = {};
        if (openpty(&m_Master, &m_Slave, name, nullptr, nullptr) == 0) {
            m_SlaveName = name;
            // Not inherited by a gateway process, or closing here would not end the line.
            fcntl(m_Master, F_SETFD, FD_CLOEXEC);
            fcntl(m_Slave, F_SETFD, FD_CLOEXEC);
        }
    }
    ~PseudoTerminal() { Close(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // The line goes: whoever has the slave open reads end of line and errors.
    void Close() {
        for (int* side : {&m_Master, &m_Slave}) {
            if (*side >= 0) {
                close(*side);
                *side = -1;
            }
        }
    }
    // The line settings as the terminal holds them now.
    termios Attributes() const {
        termios attributes{};
        tcgetattr(m_Slave, &attributes);
        return attributes;
    }
    bool Write(const std::string& bytes) const {
        return write(m_Master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // What the other side has written so far, without waiting.
    std::string ReadWaiting() const {
        std::string bytes;
        pollfd ready{m_Master, POLLIN, 0};
        char chunk[512];
        ssize_t got = 0;
        while (poll(&ready, 1, 0) == 1 && (got = read(m_Master, chunk, sizeof chunk)) > 0) {
            bytes.append(chunk, static_cast<size_t>(got));
        }
        return bytes;
    }

    int m_Master = -1;
    int m_Slave = -1;
    std::string m_SlaveName;
};

}  // namespace tw::test

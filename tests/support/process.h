// Bounded waits and programs run as child processes, for the tests that
// start the built programs.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tw::test {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls condition every 10 ms until it holds or timeoutMs passed (tried once
// at least).
template <typename Condition>
bool WaitFor(Condition condition, int timeoutMs = 10000) {
    const auto deadline = SteadyClock::now() + milliseconds(timeoutMs);
    while (!condition()) {
        if (SteadyClock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    return true;
}

// One run of a program with its stdout and stderr in a file; killed when it
// still runs as the object goes.
class ChildProcess {
  public:
    // fileSizeLimit: RLIMIT_FSIZE of the process in bytes (0: none), which
    // makes writes beyond it fail as on a full disk.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const std::string& outputFile, rlim_t fileSizeLimit = 0) {
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : all) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        m_Pid = fork();
        if (m_Pid == 0) {
            const int output = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fileSizeLimit > 0) {
                const rlimit limit{fileSizeLimit, fileSizeLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            dup2(output, STDOUT_FILENO);
            dup2(output, STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~ChildProcess() {
        if (m_Pid > 0 && !m_Status) {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, nullptr, 0);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signalNumber) const { kill(m_Pid, signalNumber); }

    // The exit status once the process ended within timeoutMs; nullopt when it
    // still runs or died from a signal.
    std::optional<int> WaitForExit(int timeoutMs = 10000) {
        WaitFor([&] { return HasEnded(); }, timeoutMs);
        if (m_Status && WIFEXITED(*m_Status)) {
            return WEXITSTATUS(*m_Status);
        }
        return std::nullopt;
    }

    // Whether the process has ended, by exit or by a signal (reaped then).
    bool HasEnded() {
        int status = 0;
        if (!m_Status && waitpid(m_Pid, &status, WNOHANG) == m_Pid) {
            m_Status = status;
        }
        return m_Status.has_value();
    }

  protected:
    pid_t m_Pid = -1;

  private:
    std::optional<int> m_Status;
};

}  // namespace tw::test

// Points the stand-in alarm-server library at a command log in folder, with
// no running-applications override, for as long as the object lives.
#pragma once

#include <cstdlib>
#include <string>

namespace tw::test {

class StandInLog {
  public:
    explicit StandInLog(const std::string& folder) : m_Path(folder + "commands.log") {
        setenv("TELLWICK_STANDIN_LOG", m_Path.c_str(), 1);
        unsetenv("TELLWICK_STANDIN_APPS");
        unsetenv("TELLWICK_STANDIN_APPS_FILE");
    }
    ~StandInLog() { unsetenv("TELLWICK_STANDIN_LOG"); }
    StandInLog(const StandInLog&) = delete;
    StandInLog& operator=(const StandInLog&) = delete;

    // Each command the library got, as "<length>:<text>\n".
    static std::string Record(const std::string& command) {
        return std::to_string(command.size()) + ":" + command + "\n";
    }

  private:
    std::string m_Path;
};

}  // namespace tw::test

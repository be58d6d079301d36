// A fresh temporary folder per test with its LogFiles/, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tw::test {

class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tellwick-XXXXXX").string();
        m_Path = mkdtemp(pattern.data());
        std::filesystem::create_directory(m_Path + "/LogFiles");
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Path with trailing "/".
    std::string Path() const { return m_Path + "/"; }

    void Write(const std::string& name, const std::string& content) const {
        std::ofstream(Path() + name, std::ios::binary | std::ios::trunc) << content;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path() + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    bool Exists(const std::string& name) const { return std::filesystem::exists(Path() + name); }
    // The event logs in LogFiles/, every day's (a test may run across
    // midnight), without the trace; "" while there is no such folder.
    std::string EventLogs() const {
        std::string all;
        std::error_code missing;
        for (const auto& entry :
             std::filesystem::directory_iterator(Path() + "LogFiles", missing)) {
            if (entry.path().extension() == ".Log" && entry.path().stem() != "CommDebug") {
                all += Read("LogFiles/" + entry.path().filename().string());
            }
        }
        return all;
    }

  private:
    std::string m_Path;
};

}  // namespace tw::test

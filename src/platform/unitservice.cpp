#include "platform/unitservice.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "base/ini.h"

extern char** environ;

namespace tw {

namespace {

const char* const kSystemUnitDirectory = "/etc/systemd/system";

bool UnitDirectoryOverridden() {
    return std::getenv("TELLWICK_UNIT_DIR") != nullptr;
}

// Writes the whole file through a temporary beside it, so a reader never
// sees half of it.
bool WriteWholeFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out.flush()) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Runs "systemctl" with the arguments and waits for it; true on exit status 0.
bool RunSystemctl(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "systemctl");
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawnp(&child, "systemctl", nullptr, nullptr, argv.data(), environ) != 0) {
        return false;
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

bool UseSystemctl() {
    return SystemdIsRunning() && !UnitDirectoryOverridden();
}

}  // namespace

std::string UnitDirectory() {
    const char* overridden = std::getenv("TELLWICK_UNIT_DIR");
    std::string directory = overridden != nullptr ? overridden : kSystemUnitDirectory;
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    return directory;
}

bool SystemdIsRunning() {
    std::error_code ignored;
    return std::filesystem::is_directory("/run/systemd/system", ignored);
}

std::string QuoteUnitWord(const std::string& word) {
    std::string quoted = "\"";
    for (const char c : word) {
        if (c == '\\' || c == '"') {
            quoted += '\\';
        } else if (c == '%' || c == '$') {
            quoted += c;
        }
        quoted += c;
    }
    return quoted + "\"";
}

std::string UnitFileText(const std::string& executable, const std::string& appFolder) {
    return std::string("[Unit]\n") + "Description=" + kServiceDisplayName + "\n" +
           "After=network-online.target\n" + "Wants=network-online.target\n" + "\n" +
           "[Service]\n" + "Type=notify\n" + "ExecStart=" + QuoteUnitWord(executable) +
           " --service --app-folder " + QuoteUnitWord(appFolder) + "\n" + "Restart=on-failure\n" +
           "RestartSec=5s\n" + "WatchdogSec=30s\n" + "NoNewPrivileges=yes\n" +
           "ProtectSystem=full\n" + "ProtectKernelTunables=yes\n" + "ProtectKernelModules=yes\n" +
           "ProtectControlGroups=yes\n" + "\n" + "[Install]\n" + "WantedBy=multi-user.target\n";
}

std::string SetIniText(const std::string& text, const std::string& section, const std::string& key,
                       const std::string& value) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    const std::string wantedSection = ToUpperAscii(section);
    const std::string wanted = ToUpperAscii(key);
    const std::string entry = key + "=" + value;
    std::optional<size_t> sectionEnd;
    bool inSection = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string trimmed = TrimBlanks(lines[index]);
        if (const auto name = IniHeaderName(lines[index])) {
            inSection = ToUpperAscii(*name) == wantedSection;
            if (inSection) {
                sectionEnd = index + 1;
            }
            continue;
        }
        if (!inSection || trimmed.empty()) {
            continue;
        }
        const size_t equals = trimmed.find('=');
        if (equals != std::string::npos &&
            ToUpperAscii(TrimBlanks(trimmed.substr(0, equals))) == wanted) {
            lines[index] = entry;
            return JoinLines(lines);
        }
        sectionEnd = index + 1;
    }
    if (sectionEnd) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), entry);
    } else {
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    return JoinLines(lines);
}

UnitServiceControl::UnitServiceControl(std::string executable, std::string appFolder)
    : m_Executable(std::move(executable)), m_AppFolder(std::move(appFolder)) {}

std::string UnitServiceControl::UnitFilePath() const {
    return UnitDirectory() + "/" + kServiceUnitName;
}

std::string UnitServiceControl::SettingsFilePath() const {
    return UnitDirectory() + "/tellwickforzorvan.parameters";
}

std::string UnitServiceControl::GetSetting(const std::string& section, const std::string& key,
                                           const std::string& defaultValue) const {
    const IniFile file(ReadWholeFile(SettingsFilePath()));
    return file.Value(section, key).value_or(defaultValue);
}

bool UnitServiceControl::SaveSetting(const std::string& section, const std::string& key,
                                     const std::string& value) {
    const std::string path = SettingsFilePath();
    return WriteWholeFile(path, SetIniText(ReadWholeFile(path), section, key, value));
}

bool UnitServiceControl::Install() {
    if (!WriteWholeFile(UnitFilePath(), UnitFileText(m_Executable, m_AppFolder))) {
        return false;
    }
    if (!UseSystemctl()) {
        return true;
    }
    if (RunSystemctl({"daemon-reload"}) && RunSystemctl({"enable", kServiceUnitName})) {
        return true;
    }
    std::error_code ignored;
    std::filesystem::remove(UnitFilePath(), ignored);
    RunSystemctl({"daemon-reload"});
    return false;
}

bool UnitServiceControl::Uninstall() {
    const std::string unit = UnitFilePath();
    std::error_code error;
    if (!std::filesystem::exists(unit, error)) {
        return false;
    }
    const bool systemctl = UseSystemctl();
    if (systemctl) {
        RunSystemctl({"disable", kServiceUnitName});
    }
    const bool removed = std::filesystem::remove(unit, error);
    if (systemctl) {
        RunSystemctl({"daemon-reload"});
    }
    return removed;
}

}  // namespace tw

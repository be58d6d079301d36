// A stand-in for the alarm server's library, for tests and demonstrations.
// SetCommandEntry appends each command text to a log file as one record
// "<length>:<bytes>\n" (the text may itself hold line feeds and any byte).
// GetRunningApps answers from a table "mask=answer,mask=answer" (numbers in
// decimal or 0x hex); a mask not in the table answers 0.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Environment(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : fallback;
}

// The answer table: TELLWICK_STANDIN_APPS, else the content of the file named
// by TELLWICK_STANDIN_APPS_FILE, else "1=1" (running, nothing inactive).
std::string AnswerTable() {
    if (const char* table = std::getenv("TELLWICK_STANDIN_APPS")) {
        return table;
    }
    if (const char* file = std::getenv("TELLWICK_STANDIN_APPS_FILE")) {
        std::ifstream in(file);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    return "1=1";
}

bool ParseNumber(const std::string& text, long long& value) {
    errno = 0;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end != text.c_str() && *end == '\0';
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void SetCommandEntry(const char* text, int32_t /*zero*/) {
    const std::string path = Environment("TELLWICK_STANDIN_LOG", "standin-commands.log");
    FILE* log = std::fopen(path.c_str(), "ab");
    if (log == nullptr) {
        return;
    }
    const size_t length = std::strlen(text);
    std::fprintf(log, "%zu:", length);
    std::fwrite(text, 1, length, log);
    std::fputc('\n', log);
    std::fclose(log);
}

__attribute__((visibility("default"))) int32_t GetRunningApps(int32_t mask) {
    const std::string table = AnswerTable();
    size_t start = 0;
    while (start < table.size()) {
        size_t end = table.find_first_of(",\n", start);
        if (end == std::string::npos) {
            end = table.size();
        }
        const std::string entry = table.substr(start, end - start);
        const size_t equals = entry.find('=');
        long long entryMask = 0;
        long long answer = 0;
        if (equals != std::string::npos && ParseNumber(entry.substr(0, equals), entryMask) &&
            ParseNumber(entry.substr(equals + 1), answer) && entryMask == mask) {
            return static_cast<int32_t>(answer);
        }
        start = end + 1;
    }
    return 0;
}

}  // extern "C"

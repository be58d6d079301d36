#include "shell/systemtext.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace tw {
namespace {

bool NamesUtf8(std::string_view locale) {
    for (std::string_view marker : {"UTF-8", "utf-8", "UTF8", "utf8"}) {
        if (locale.find(marker) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

bool DetectUtf8() {
    // The first variable that is set decides, as the C library resolves LC_CTYPE.
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return NamesUtf8(value);
        }
    }
    return false;
}

}  // namespace

bool SystemUsesUtf8() {
    static const bool utf8 = DetectUtf8();
    return utf8;
}

std::string ToSystemText(const std::string& latin1) {
    if (!SystemUsesUtf8()) {
        return latin1;
    }
    std::string out;
    out.reserve(latin1.size() + latin1.size() / 4);
    for (char c : latin1) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

// open, write, close: what fopen "ab" does without its seek and stat, which
// matter for a file opened anew for every line.
bool AppendToFile(const std::string& path, const std::string& text) {
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (file < 0) {
        return false;
    }
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(file, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            break;
        }
        done += static_cast<size_t>(written);
    }
    const bool closed = ::close(file) == 0;
    return done == text.size() && closed;
}

}  // namespace tw

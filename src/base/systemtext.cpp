#include "base/systemtext.h"

#include <langinfo.h>

#include <clocale>
#include <cstddef>

namespace tw {
namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) == 0x80U;
}

// Length of the UTF-8 sequence led by this byte; 0 for a byte that cannot lead.
size_t SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

}  // namespace

bool NamesUtf8(std::string_view name) {
    std::string folded;
    for (const char c : name) {
        if (c != '-' && c != '_') {
            folded.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        }
    }
    return folded.find("UTF8") != std::string::npos;
}

bool SystemUsesUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && NamesUtf8(codeset);
}

bool TimeLocaleUsesUtf8() {
    const char* name = std::setlocale(LC_TIME, nullptr);
    return name != nullptr && NamesUtf8(name);
}

std::string Latin1ToUtf8(std::string_view latin1) {
    std::string out;
    out.reserve(latin1.size() + latin1.size() / 4);
    for (const char c : latin1) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0U | (code >> 6U)));
            out.push_back(static_cast<char>(0x80U | (code & 0x3FU)));
        }
    }
    return out;
}

std::string Utf8ToLatin1(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t at = 0;
    while (at < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const size_t length = SequenceLength(lead);
        bool valid = length >= 1 && at + length <= utf8.size();
        for (size_t k = 1; valid && k < length; ++k) {
            valid = IsContinuation(utf8[at + k]);
        }
        if (!valid || length == 1) {
            out.push_back(utf8[at]);
            ++at;
            continue;
        }
        if (length == 2 && lead <= 0xC3) {
            const auto trail = static_cast<unsigned char>(utf8[at + 1]);
            out.push_back(static_cast<char>(((lead & 0x03U) << 6U) | (trail & 0x3FU)));
        } else {
            out.push_back('?');
        }
        at += length;
    }
    return out;
}

std::string ToSystemText(const std::string& latin1) {
    return SystemUsesUtf8() ? Latin1ToUtf8(latin1) : latin1;
}

}  // namespace tw

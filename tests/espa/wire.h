// Test texts written as the communication trace shows them: "<SOH>1<STX>"
// for control characters by name, "<95>" for any code in decimal.
#pragma once

#include <string>
#include <string_view>

namespace tw::test {

inline std::string Wire(std::string_view notation) {
    static constexpr std::pair<std::string_view, char> kNames[] = {
        {"SOH", '\x01'}, {"STX", '\x02'}, {"ETX", '\x03'}, {"EOT", '\x04'},
        {"ENQ", '\x05'}, {"ACK", '\x06'}, {"LF", '\x0a'},  {"CR", '\x0d'},
        {"NAK", '\x15'}, {"ESC", '\x1b'}, {"RS", '\x1e'},  {"US", '\x1f'},
    };
    std::string bytes;
    for (size_t at = 0; at < notation.size(); ++at) {
        const size_t close = notation.find('>', at);
        if (notation[at] != '<' || close == std::string_view::npos) {
            bytes += notation[at];
            continue;
        }
        const std::string_view name = notation.substr(at + 1, close - at - 1);
        char code = 0;
        bool known = false;
        for (const auto& [text, value] : kNames) {
            if (text == name) {
                code = value;
                known = true;
            }
        }
        if (!known) {
            code = static_cast<char>(std::stoi(std::string(name)));
        }
        bytes += code;
        at = close;
    }
    return bytes;
}

}  // namespace tw::test

#include "alarmline.h"

#include <vector>

namespace tw::tools {

namespace {

std::vector<std::string_view> SplitFields(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t bar = text.find('|', start);
        if (bar == std::string_view::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, bar - start));
        start = bar + 1;
    }
}

// "0" or a decimal number without sign or leading zeros.
int ParseState(std::string_view text) {
    if (text.empty() || text.size() > 4 || (text.size() > 1 && text[0] == '0')) {
        return -1;
    }
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            return -1;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

AlarmLine ParseAlarmLine(std::string_view line) {
    AlarmLine alarm;
    alarm.m_Raw = std::string(line);
    if (line.empty()) {
        alarm.m_Kind = LineKind::Empty;
        return alarm;
    }
    std::size_t marker = line.find("|||");
    if (marker == std::string_view::npos) {
        return alarm;
    }
    int state = ParseState(line.substr(0, marker));
    if (state < 0) {
        return alarm;
    }
    std::vector<std::string_view> fields = SplitFields(line.substr(marker + 3));
    if (fields.size() == 1) {
        alarm.m_Kind = LineKind::Watchdog;
        alarm.m_State = state;
        alarm.m_Fields[0] = std::string(fields[0]);
        return alarm;
    }
    if (fields.size() < 6) {
        return alarm;
    }
    alarm.m_Kind = LineKind::Alarm;
    alarm.m_State = state;
    for (std::size_t k = 0; k < 5; ++k) {
        alarm.m_Fields[k] = std::string(fields[k]);
    }
    // T5 keeps everything after the fifth separator, surplus "|" included.
    std::size_t fifth = 0;
    std::string_view rest = line.substr(marker + 3);
    for (int k = 0; k < 5; ++k) {
        fifth = rest.find('|', fifth) + 1;
    }
    alarm.m_Fields[5] = std::string(rest.substr(fifth));
    alarm.m_ExtraSeparators = fields.size() > 6;
    return alarm;
}

std::string_view AlarmStateName(int state) {
    switch (state) {
        case 1:
            return "raised";
        case 0:
            return "restored";
        default:
            return "state?";
    }
}

void AlarmLineReader::Complete(std::string_view line, std::vector<AlarmLine>& lines) {
    if (line.empty() && m_AfterWatchdog) {
        m_AfterWatchdog = false;
        return;
    }
    AlarmLine decoded = ParseAlarmLine(line);
    m_AfterWatchdog = decoded.m_Kind == LineKind::Watchdog;
    lines.push_back(std::move(decoded));
}

std::vector<AlarmLine> AlarmLineReader::Feed(std::string_view bytes) {
    std::vector<AlarmLine> lines;
    while (!bytes.empty()) {
        std::size_t feed = bytes.find('\n');
        std::string_view piece = bytes.substr(0, feed);
        std::size_t room = MaxLineLength - m_Pending.size();
        if (piece.size() > room) {
            m_Pending.append(piece.substr(0, room));
            bytes.remove_prefix(room);
            Complete(m_Pending, lines);
            m_Pending.clear();
            continue;
        }
        if (feed == std::string_view::npos) {
            m_Pending.append(piece);
            break;
        }
        m_Pending.append(piece);
        bytes.remove_prefix(feed + 1);
        Complete(m_Pending, lines);
        m_Pending.clear();
    }
    return lines;
}

void AlarmLineReader::Reset() {
    m_Pending.clear();
    m_AfterWatchdog = false;
}

}  // namespace tw::tools

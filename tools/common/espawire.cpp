#include "espawire.h"

#include <array>
#include <cstdio>

namespace tw::tools {

char BlockCheck(std::string_view text) {
    unsigned char check = 0;
    for (char c : text) {
        check ^= static_cast<unsigned char>(c);
    }
    return static_cast<char>(check);
}

std::string BuildData(const std::vector<Record>& records) {
    std::string data;
    for (const Record& record : records) {
        if (!data.empty()) {
            data += RS;
        }
        data += record.m_Id;
        data += US;
        data += record.m_Text;
    }
    return data;
}

std::string BuildBlock(char header, std::string_view data, bool corruptCheck) {
    std::string body;
    body.reserve(data.size() + 3);
    body += header;
    body += STX;
    body += data;
    body += ETX;
    char check = BlockCheck(body);
    if (corruptCheck) {
        check = static_cast<char>(~static_cast<unsigned char>(check));
    }
    return SOH + body + check;
}

std::vector<Record> ParseRecords(std::string_view data) {
    std::vector<Record> records;
    std::size_t start = 0;
    while (start < data.size()) {
        std::size_t end = data.find(RS, start);
        if (end == std::string_view::npos) {
            end = data.size();
        }
        std::string_view piece = data.substr(start, end - start);
        std::size_t separator = piece.find(US);
        if (separator == std::string_view::npos) {
            records.push_back({"", std::string(piece)});
        } else {
            records.push_back({std::string(piece.substr(0, separator)),
                               std::string(piece.substr(separator + 1))});
        }
        start = end + 1;
    }
    return records;
}

std::optional<std::string> FindRecord(const std::vector<Record>& records, std::string_view id) {
    for (const Record& record : records) {
        if (record.m_Id == id) {
            return record.m_Text;
        }
    }
    return std::nullopt;
}

std::optional<std::string> LastRecord(const std::vector<Record>& records, std::string_view id) {
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        if (record->m_Id == id) {
            return record->m_Text;
        }
    }
    return std::nullopt;
}

std::string_view CallStatusName(std::string_view status) {
    if (status == "2") {
        return "in queue";
    }
    if (status == "3") {
        return "paged";
    }
    if (status == "5") {
        return "terminated";
    }
    return "unknown status";
}

namespace {

Element TakeBytes(std::string& buffer, std::size_t count, ElementKind kind) {
    Element element;
    element.m_Kind = kind;
    element.m_Raw = buffer.substr(0, count);
    buffer.erase(0, count);
    return element;
}

std::optional<Element> TakeBlock(std::string& buffer) {
    std::size_t etx = buffer.find(ETX, 1);
    if (etx == std::string::npos || etx + 1 >= buffer.size()) {
        if (buffer.size() > MaxBlockSize) {
            return TakeBytes(buffer, 1, ElementKind::Junk);
        }
        return std::nullopt;
    }
    Element element = TakeBytes(buffer, etx + 2, ElementKind::Block);
    std::string_view raw = element.m_Raw;
    std::string_view inner = raw.substr(1, etx - 1);  // between SOH and ETX
    std::size_t stx = inner.find(STX);
    if (stx == std::string_view::npos) {
        element.m_Header = std::string(inner);
    } else {
        element.m_Header = std::string(inner.substr(0, stx));
        element.m_Data = std::string(inner.substr(stx + 1));
    }
    element.m_CheckOk = BlockCheck(raw.substr(1)) == 0;
    return element;
}

}  // namespace

std::optional<Element> TakeElement(std::string& buffer) {
    if (buffer.empty()) {
        return std::nullopt;
    }
    char head = buffer[0];
    switch (head) {
        case ACK:
            return TakeBytes(buffer, 1, ElementKind::Ack);
        case NAK:
            return TakeBytes(buffer, 1, ElementKind::Nak);
        case EOT:
            return TakeBytes(buffer, 1, ElementKind::Eot);
        case SOH:
            return TakeBlock(buffer);
        default:
            break;
    }
    if (head >= '0' && head <= '9') {
        if (buffer.size() < 2) {
            return std::nullopt;
        }
        if (buffer[1] == ENQ) {
            Element element = TakeBytes(buffer, 2, ElementKind::Enq);
            element.m_Address = head;
            return element;
        }
    }
    return TakeBytes(buffer, 1, ElementKind::Junk);
}

std::string DescribeBytes(std::string_view bytes) {
    static constexpr std::array<const char*, 32> names = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
        "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};
    std::string text;
    for (char c : bytes) {
        auto code = static_cast<unsigned char>(c);
        if (code < names.size()) {
            text += '<';
            text += names[code];
            text += '>';
        } else if (code == 0x7F) {
            text += "<DEL>";
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace tw::tools

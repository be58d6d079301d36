#include "espa/callrecord.h"

#include <bitset>

namespace tw {

std::string BlockCheck(std::string_view text) {
    unsigned char check = 0;
    for (char c : text) {
        check ^= static_cast<unsigned char>(c);
    }
    return std::string(1, static_cast<char>(check));
}

RecordTable GetRecords(std::string_view data) {
    RecordTable records;
    std::bitset<16> found;
    // Every US ends the identifiers written before it: the digit just before
    // it, and "10" to "15" with the digit before that. The first US that ends
    // an identifier starts its record, as GetRecord's search finds it.
    const auto take = [&](size_t id, size_t us) {
        if (found[id]) {
            return;
        }
        found[id] = true;
        const size_t end = data.find(espa::RS, us + 1);
        records[id] =
            NormalizeText(data.substr(us + 1, end == std::string_view::npos ? end : end - us - 1));
    };
    for (size_t us = data.find(espa::US); us != std::string_view::npos;
         us = data.find(espa::US, us + 1)) {
        if (us == 0 || data[us - 1] < '0' || data[us - 1] > '9') {
            continue;
        }
        const auto digit = static_cast<size_t>(data[us - 1] - '0');
        if (us >= 2 && data[us - 2] == '1' && digit <= 5) {
            take(10 + digit, us);
        }
        take(digit, us);
    }
    return records;
}

std::string GetRecord(std::string_view id, std::string_view data) {
    std::string key(id);
    key += espa::US;
    const size_t found = data.find(key);
    if (found == std::string_view::npos) {
        return {};
    }
    const size_t start = found + key.size();
    const size_t end = data.find(espa::RS, start);
    return NormalizeText(data.substr(start, end == std::string_view::npos ? end : end - start));
}

std::string NormalizeText(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(' ');
    std::string result;
    result.reserve(last - first + 1);
    for (char c : text.substr(first, last - first + 1)) {
        if (static_cast<unsigned char>(c) < 32) {
            result += '/';
        } else if (c != ' ' || result.empty() || result.back() != ' ') {
            result += c;
        }
    }
    return result;
}

cESPACall BuildStatusMessage(std::string_view data, std::string_view status) {
    cESPACall call;
    call.m_CallAddress = GetRecord("1", data);
    call.m_DisplayMessage = GetRecord("2", data);
    call.m_BeepCoding = GetRecord("3", data);
    call.m_CallType = GetRecord("4", data);
    std::string body;
    body.reserve(data.size() + status.size() + 7);
    body += '2';
    body += espa::STX;
    body += data;
    body += espa::RS;
    body += '7';
    body += espa::US;
    body += status;
    body += espa::ETX;
    call.m_SendBuffer = espa::SOH + body + BlockCheck(body);
    return call;
}

}  // namespace tw

#include "base/hostfilter.h"

#include <arpa/inet.h>

#include <cstring>

namespace tw {
namespace {

constexpr int kMappedPrefixBits = 96;  // ::ffff: in front of an IPv4 address

std::string TrimEntry(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The address as 16 bytes, IPv4 mapped into IPv6; sets isIPv4.
std::optional<std::array<uint8_t, 16>> ParseAddress(const std::string& text, bool& isIPv4) {
    std::array<uint8_t, 16> address{};
    in_addr ipv4{};
    if (inet_pton(AF_INET, text.c_str(), &ipv4) == 1) {
        address[10] = 0xff;
        address[11] = 0xff;
        std::memcpy(&address[12], &ipv4, 4);
        isIPv4 = true;
        return address;
    }
    in6_addr ipv6{};
    if (inet_pton(AF_INET6, text.c_str(), &ipv6) == 1) {
        std::memcpy(address.data(), &ipv6, 16);
        isIPv4 = false;
        return address;
    }
    return std::nullopt;
}

// Decimal digits only, at most maximum.
std::optional<int> ParsePrefixLength(const std::string& text, int maximum) {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const int length = std::stoi(text);
    if (length > maximum) {
        return std::nullopt;
    }
    return length;
}

std::optional<HostRange> ParseRange(const std::string& entry) {
    const size_t slash = entry.find('/');
    bool isIPv4 = false;
    const auto address = ParseAddress(entry.substr(0, slash), isIPv4);
    if (!address) {
        return std::nullopt;
    }
    HostRange range;
    range.m_Address = *address;
    if (slash == std::string::npos) {
        return range;
    }
    const auto length = ParsePrefixLength(entry.substr(slash + 1), isIPv4 ? 32 : 128);
    if (!length) {
        return std::nullopt;
    }
    range.m_PrefixLength = isIPv4 ? *length + kMappedPrefixBits : *length;
    return range;
}

bool InRange(const HostRange& range, const std::array<uint8_t, 16>& address) {
    const auto wholeBytes = static_cast<size_t>(range.m_PrefixLength / 8);
    if (std::memcmp(range.m_Address.data(), address.data(), wholeBytes) != 0) {
        return false;
    }
    const int restBits = range.m_PrefixLength % 8;
    if (restBits == 0) {
        return true;
    }
    const auto mask = static_cast<uint8_t>(0xffU << static_cast<unsigned>(8 - restBits));
    return (range.m_Address[wholeBytes] & mask) == (address[wholeBytes] & mask);
}

}  // namespace

std::optional<HostFilter> ParseHostFilter(const std::string& text, std::string& badEntry) {
    HostFilter filter;
    if (TrimEntry(text).empty()) {
        return filter;
    }
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        const std::string entry = TrimEntry(text.substr(start, comma - start));
        const auto range = ParseRange(entry);
        if (!range) {
            badEntry = entry;
            return std::nullopt;
        }
        filter.m_Ranges.push_back(*range);
        if (comma == std::string::npos) {
            return filter;
        }
        start = comma + 1;
    }
}

bool IsHostAllowed(const HostFilter& filter, const std::string& peerAddress) {
    if (!filter.IsActive()) {
        return true;
    }
    bool isIPv4 = false;
    const auto address = ParseAddress(peerAddress.substr(0, peerAddress.find('%')), isIPv4);
    if (!address) {
        return false;
    }
    for (const HostRange& range : filter.m_Ranges) {
        if (InRange(range, *address)) {
            return true;
        }
    }
    return false;
}

bool IsIpAddress(const std::string& text) {
    bool isIPv4 = false;
    return ParseAddress(text, isIPv4).has_value();
}

std::string HostAndPort(const std::string& address, int port) {
    const std::string host = address.empty()                          ? std::string("0.0.0.0")
                             : address.find(':') == std::string::npos ? address
                                                                      : "[" + address + "]";
    return host + ":" + std::to_string(port);
}

}  // namespace tw

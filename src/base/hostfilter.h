// Which peers may connect to a listening port: a list of IPv4/IPv6 addresses
// and CIDR ranges, as written in the "AllowedHosts" keys.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

// IPv4 addresses are held as IPv4-mapped IPv6 addresses (::ffff:a.b.c.d), so
// that a rule written as IPv4 also matches a peer that a dual-stack socket
// reports in the mapped form, and the other way round.
struct HostRange {
    std::array<uint8_t, 16> m_Address{};
    int m_PrefixLength = 128;  // leading bits that must match
};

// An empty filter lets every peer in: access control is off.
struct HostFilter {
    std::vector<HostRange> m_Ranges;

    bool IsActive() const { return !m_Ranges.empty(); }
};

// Parses comma-separated entries "address" or "address/prefix" (IPv4 prefix
// 0..32, IPv6 prefix 0..128), blanks and tabs allowed around each. An empty
// text gives an empty filter. On the first entry that is no address or range
// (an empty entry included) returns nullopt and sets badEntry to it.
std::optional<HostFilter> ParseHostFilter(const std::string& text, std::string& badEntry);

// True when the filter is off or peerAddress (dotted IPv4, IPv6, IPv4-mapped
// IPv6, optionally with a "%scope" suffix) lies in one of its ranges. A peer
// address that cannot be read is refused by an active filter.
bool IsHostAllowed(const HostFilter& filter, const std::string& peerAddress);

// True when text is one IPv4 or IPv6 address (no range, no host name).
bool IsIpAddress(const std::string& text);

// "address:port" as written in a URL or a log line: an IPv6 address in
// brackets, an empty address (a listener on every IPv4 address) as 0.0.0.0.
std::string HostAndPort(const std::string& address, int port);

}  // namespace tw

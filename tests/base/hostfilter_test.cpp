#include "base/hostfilter.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

HostFilter Parse(const std::string& text) {
    std::string badEntry;
    auto filter = ParseHostFilter(text, badEntry);
    EXPECT_TRUE(filter.has_value()) << text << ": " << badEntry;
    return filter.value_or(HostFilter{});
}

TEST(HostFilterTest, MatchesPeersAgainstAddressesAndRanges) {
    struct Row {
        const char* filter;
        const char* peer;
        bool allowed;
    };
    const Row rows[] = {
        {"", "203.0.113.5", true},  // off: anyone
        {" \t ", "203.0.113.5", true},
        {"10.1.2.3", "10.1.2.3", true},
        {"10.1.2.3", "10.1.2.4", false},
        {" 10.1.2.3 ,\t192.168.0.0/16 ", "192.168.200.1", true},
        {"192.168.0.0/16", "192.169.0.1", false},
        {"10.0.0.0/8", "10.255.255.255", true},
        {"10.0.0.0/8", "11.0.0.0", false},
        {"172.16.0.0/12", "172.31.0.1", true},
        {"172.16.0.0/12", "172.32.0.1", false},
        {"10.1.2.3/8", "10.9.9.9", true},  // host bits beyond the prefix do not count
        {"0.0.0.0/0", "198.51.100.1", true},
        {"0.0.0.0/0", "2001:db8::1", false},    // an IPv4 range holds no IPv6 peer
        {"10.1.2.3", "::ffff:10.1.2.3", true},  // dual-stack sockets report IPv4 so
        {"10.0.0.0/8", "::ffff:10.7.7.7", true},
        {"::ffff:10.0.0.0/104", "10.7.7.7", true},
        {"::1", "::1", true},
        {"::1", "127.0.0.1", false},
        {"2001:db8::/32", "2001:db8:ffff::1", true},
        {"2001:db8::/32", "2001:db9::1", false},
        {"fe80::/10", "fe80::1%eth0", true},
        {"2001:db8::1/128", "2001:DB8::1", true},
        {"::/0", "10.0.0.1", true},
        {"10.0.0.0/8", "", false},  // unreadable peers are refused
        {"10.0.0.0/8", "host.example", false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsHostAllowed(Parse(row.filter), row.peer), row.allowed)
            << row.filter << " / " << row.peer;
    }
}

TEST(HostFilterTest, NamesTheFirstEntryThatIsNoAddressOrRange) {
    struct Row {
        const char* text;
        const char* badEntry;
    };
    const Row rows[] = {
        {"10.0.0.1, localhost", "localhost"},
        {"10.0.0.1,,10.0.0.2", ""},  // an empty entry would silently widen nothing
        {"10.0.0.1,", ""},
        {"10.0.0.0/33", "10.0.0.0/33"},
        {"2001:db8::/129", "2001:db8::/129"},
        {"10.0.0.0/", "10.0.0.0/"},
        {"10.0.0.0/8x", "10.0.0.0/8x"},
        {"10.0.0.0/-1", "10.0.0.0/-1"},
        {"10.0.0.0/0008", "10.0.0.0/0008"},
        {"10.0.0", "10.0.0"},
        {"256.0.0.1", "256.0.0.1"},
        {"10.0.0.1 10.0.0.2", "10.0.0.1 10.0.0.2"},
        {"10.0.0.1;10.0.0.2", "10.0.0.1;10.0.0.2"},
    };
    for (const Row& row : rows) {
        std::string badEntry = "unset";
        EXPECT_FALSE(ParseHostFilter(row.text, badEntry).has_value()) << row.text;
        EXPECT_EQ(badEntry, row.badEntry) << row.text;
    }
}

}  // namespace
}  // namespace tw

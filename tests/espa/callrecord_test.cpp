#include "espa/callrecord.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(BlockCheckTest, IsTheExclusiveOrOfAllCharacterCodes) {
    struct Row {
        std::string text;
        char check;
    };
    const Row rows[] = {
        {"A", 'A'},
        {std::string("\xff", 1), '\xff'},
        {"AA", '\0'},
        // a good received block: everything after SOH through the check character
        {"1\x02"
         "1\x1f"
         "123\x1e"
         "2\x1fHELLO\x03\x5f",
         '\0'},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BlockCheck(row.text), std::string(1, row.check)) << row.text;
    }
}

TEST(GetRecordTest, FindsTheFirstIdentifierFollowedByUnitSeparator) {
    struct Row {
        const char* id;
        std::string data;
        std::string expected;
    };
    const Row rows[] = {
        {"1",
         "1\x1f"
         "123\x1e"
         "2\x1fHELLO",
         "123"},
        {"2",
         "1\x1f"
         "123\x1e"
         "2\x1fHELLO",
         "HELLO"},  // last record, no RS
        {"3",
         "1\x1f"
         "123\x1e"
         "2\x1fHELLO",
         ""},  // missing
        {"1",
         "1\x1f\x1e"
         "2\x1fX",
         ""},  // empty text
        {"1",
         "11\x1f"
         "eleven\x1e"
         "1\x1f"
         "one",
         "eleven"},  // tail of "11" US comes first
        {"0",
         "10\x1f"
         "ten\x1e",
         "ten"},                           // "0" US inside "10" US
        {"2", "2\x1f  A  B \x1e", "A B"},  // normalised
        {"15",
         "15\x1f"
         "x\x1e",
         "x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(GetRecord(row.id, row.data), row.expected) << row.id << " in " << row.data;
    }
}

TEST(NormalizeTextTest, TrimsBlanksSlashesControlsAndCollapsesBlankRuns) {
    struct Row {
        std::string text;
        std::string expected;
    };
    const Row rows[] = {
        {"  A  B \r\n", "A B //"},  // the trim stops at LF, not at the blank before CR
        {"   ", ""},
        {"", ""},
        {"A\t\tB", "A//B"},
        {"A \x1f B", "A / B"},
        {"\xe4  \x7f", "\xe4 \x7f"},  // codes 127 and above are kept
        {" x ", "x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(NormalizeText(row.text), row.expected) << row.text;
    }
}

TEST(BuildStatusMessageTest, BuildsTheStatusBlockFromTheDataAsReceived) {
    struct Row {
        std::string data;
        std::string status;
        std::string sendBuffer;
    };
    const Row rows[] = {
        {"1\x1f"
         "123\x1e"
         "2\x1fHELLO",
         "3",
         "\x01"
         "2\x02"
         "1\x1f"
         "123\x1e"
         "2\x1fHELLO\x1e"
         "7\x1f"
         "3\x03\x59"},
        // a data part ending in RS gives two RS before record 7
        {"1\x1f"
         "9\x1e",
         "2",
         "\x01"
         "2\x02"
         "1\x1f"
         "9\x1e\x1e"
         "7\x1f"
         "2\x03\x3e"},
        // a received record 7 stays, the new one follows it
        {"7\x1f"
         "1",
         "5",
         "\x01"
         "2\x02"
         "7\x1f"
         "1\x1e"
         "7\x1f"
         "5\x03\x29"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BuildStatusMessage(row.data, row.status).m_SendBuffer, row.sendBuffer)
            << row.data;
    }
}

TEST(BuildStatusMessageTest, KeepsTheRecordsOfTheCall) {
    const cESPACall call = BuildStatusMessage(
        "1\x1f"
        "123\x1e"
        "2\x1f HELLO \x1e"
        "3\x1f"
        "2\x1e"
        "4\x1f"
        "1",
        "2");
    EXPECT_EQ(call.m_CallAddress, "123");
    EXPECT_EQ(call.m_DisplayMessage, "HELLO");
    EXPECT_EQ(call.m_BeepCoding, "2");
    EXPECT_EQ(call.m_CallType, "1");
}

}  // namespace
}  // namespace tw

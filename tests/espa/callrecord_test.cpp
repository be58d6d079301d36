#include "espa/callrecord.h"

#include <gtest/gtest.h>

#include <random>

#include "wire.h"

namespace tw {
namespace {

using test::Wire;

// The check character is pinned by the link layer's worked example (every
// other check answered NAK) and by the status blocks below.
TEST(GetRecordTest, FindsTheFirstIdentifierFollowedByUnitSeparator) {
    struct Row {
        const char* id;
        const char* data;
        const char* expected;
    };
    const Row rows[] = {
        {"1", "1<US>123<RS>2<US>HELLO", "123"},
        {"2", "1<US>123<RS>2<US>HELLO", "HELLO"},     // last record, no RS
        {"3", "1<US>123<RS>2<US>HELLO", ""},          // missing
        {"1", "1<US><RS>2<US>X", ""},                 // empty text
        {"1", "11<US>eleven<RS>1<US>one", "eleven"},  // the tail of "11" US comes first
        {"0", "10<US>ten<RS>", "ten"},                // "0" US inside "10" US
        {"2", "2<US>  A  B <RS>", "A B"},             // normalised
        {"15", "15<US>x<RS>", "x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(GetRecord(row.id, Wire(row.data)), row.expected) << row.id << " in " << row.data;
    }
}

TEST(NormalizeTextTest, TrimsBlanksSlashesControlsAndCollapsesBlankRuns) {
    struct Row {
        const char* text;
        const char* expected;
    };
    const Row rows[] = {
        {"  A  B <CR><LF>", "A B //"},  // the trim stops at LF, not at the blank before CR
        {"   ", ""},
        {"", ""},
        {"A<9><9>B", "A//B"},
        {"A <US> B", "A / B"},
        {"<228>  <127>", "<228> <127>"},  // codes 127 and above are kept
        {" x ", "x"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(NormalizeText(Wire(row.text)), Wire(row.expected)) << row.text;
    }
}

TEST(BuildStatusMessageTest, BuildsTheStatusBlockFromTheDataAsReceived) {
    struct Row {
        const char* data;
        const char* status;
        const char* sendBuffer;
    };
    const Row rows[] = {
        {"1<US>123<RS>2<US>HELLO", "3", "<SOH>2<STX>1<US>123<RS>2<US>HELLO<RS>7<US>3<ETX><89>"},
        // a data part ending in RS gives two RS before record 7
        {"1<US>9<RS>", "2", "<SOH>2<STX>1<US>9<RS><RS>7<US>2<ETX><62>"},
        // a received record 7 stays, the new one follows it
        {"7<US>1", "5", "<SOH>2<STX>7<US>1<RS>7<US>5<ETX><41>"},
        // codes above 127 go into the block unchanged
        {"2<US><228>", "2", "<SOH>2<STX>2<US><228><RS>7<US>2<ETX><254>"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BuildStatusMessage(Wire(row.data), row.status).m_SendBuffer, Wire(row.sendBuffer))
            << row.data;
    }
}

TEST(CallRecordTest, AllRecordsInOnePassAreTheRecordsOneByOne) {
    std::mt19937 random(7);
    const std::string alphabet = "0123456789 ab\x1e\x1f";
    for (int round = 0; round < 2000; ++round) {
        std::string data;
        for (size_t length = random() % 40; length > 0; --length) {
            data += alphabet[random() % alphabet.size()];
        }
        const RecordTable records = GetRecords(data);
        for (int id = 0; id < 16; ++id) {
            ASSERT_EQ(records[static_cast<size_t>(id)], GetRecord(std::to_string(id), data))
                << id << " in " << data;
        }
    }
}

}  // namespace
}  // namespace tw

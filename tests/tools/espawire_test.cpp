#include "espawire.h"

#include <gtest/gtest.h>

#include <string>

namespace tw::tools {
namespace {

const std::string CallData =
    "1\x1f"
    "123\x1e"
    "2\x1f"
    "HELLO";
const std::string CallBlock =
    "\x01"
    "1\x02" +
    CallData + "\x03\x5f";
const std::string StatusBlock =
    "\x01"
    "2\x02" +
    CallData +
    "\x1e"
    "7\x1f"
    "3\x03\x59";

TEST(EspaWire, CallBlockCarriesTheCheckCharacterOfHeaderThroughEtx) {
    EXPECT_EQ(BuildData({{"1", "123"}, {"2", "HELLO"}}), CallData);
    EXPECT_EQ(BuildBlock('1', CallData), CallBlock);
}

TEST(EspaWire, StatusBlockDecodesToItsRecordsAndStatus) {
    std::string buffer = StatusBlock;
    std::optional<Element> element = TakeElement(buffer);
    ASSERT_TRUE(element);
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(element->m_Kind, ElementKind::Block);
    EXPECT_TRUE(element->m_CheckOk);
    EXPECT_EQ(element->m_Header, "2");
    std::vector<Record> records = ParseRecords(element->m_Data);
    ASSERT_EQ(records.size(), 3U);
    EXPECT_EQ(FindRecord(records, "1"), "123");
    EXPECT_EQ(FindRecord(records, "2"), "HELLO");
    EXPECT_EQ(LastRecord(records, "7"), "3");
    EXPECT_EQ(CallStatusName("3"), "paged");
}

}  // namespace
}  // namespace tw::tools

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

TEST(EspaWire, CorruptedCheckCharacterIsRefusedByTheCheck) {
    std::string bad = BuildBlock('1', CallData, true);
    ASSERT_EQ(bad.size(), CallBlock.size());
    EXPECT_NE(bad.back(), CallBlock.back());
    std::optional<Element> element = TakeElement(bad);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->m_Kind, ElementKind::Block);
    EXPECT_FALSE(element->m_CheckOk);
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

TEST(EspaWire, StatusOfABlockWhoseCallCarriedARecord7IsTheLastOne) {
    std::vector<Record> records = ParseRecords(
        "7\x1f"
        "9\x1e"
        "1\x1f"
        "5\x1e\x1e"
        "7\x1f"
        "5");
    EXPECT_EQ(FindRecord(records, "7"), "9");
    EXPECT_EQ(LastRecord(records, "7"), "5");
    EXPECT_EQ(CallStatusName(*LastRecord(records, "7")), "terminated");
}

TEST(EspaWire, EveryPrefixOfABlockWaitsAndLeavesTheBufferAlone) {
    for (std::size_t length = 1; length < StatusBlock.size(); ++length) {
        std::string buffer = StatusBlock.substr(0, length);
        EXPECT_FALSE(TakeElement(buffer)) << "prefix of " << length;
        EXPECT_EQ(buffer, StatusBlock.substr(0, length));
    }
}

TEST(EspaWire, RepliesAreTakenOneByOneFromTheHead) {
    struct Row {
        std::string m_Input;
        ElementKind m_Kind;
        std::string m_Rest;
    };
    const Row rows[] = {
        {"\x06"
         "x",
         ElementKind::Ack, "x"},
        {"\x15", ElementKind::Nak, ""},
        {"\x04\x04", ElementKind::Eot, "\x04"},
        {"1\x05\x06", ElementKind::Enq, "\x06"},
        {"1x", ElementKind::Junk, "x"},
        {"A\x06", ElementKind::Junk, "\x06"},
        // A check character equal to ETX: the first ETX ends the data part.
        {"\x01\x02\x03\x03\x06", ElementKind::Block, "\x06"},
    };
    for (const Row& row : rows) {
        std::string buffer = row.m_Input;
        std::optional<Element> element = TakeElement(buffer);
        ASSERT_TRUE(element) << DescribeBytes(row.m_Input);
        EXPECT_EQ(element->m_Kind, row.m_Kind) << DescribeBytes(row.m_Input);
        EXPECT_EQ(buffer, row.m_Rest) << DescribeBytes(row.m_Input);
    }
    std::string lone = "1";
    EXPECT_FALSE(TakeElement(lone));
}

TEST(EspaWire, BlockWithoutEtxBeyondTheSizeLimitIsGivenUpByteByByte) {
    std::string buffer = "\x01" + std::string(MaxBlockSize, 'A');
    std::optional<Element> element = TakeElement(buffer);
    ASSERT_TRUE(element);
    EXPECT_EQ(element->m_Kind, ElementKind::Junk);
    EXPECT_EQ(buffer.size(), MaxBlockSize);
}

TEST(EspaWire, ControlCharactersAreShownByName) {
    EXPECT_EQ(DescribeBytes("\x01"
                            "2\x02"
                            "A\x1f\x7f"),
              "<SOH>2<STX>A<US><DEL>");
}

}  // namespace
}  // namespace tw::tools

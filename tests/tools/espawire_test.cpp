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

// Decoding a status block is proven by the station's run against a partner
// that builds its blocks with the same, here pinned, check character.
TEST(EspaWire, CallBlockCarriesTheCheckCharacterOfHeaderThroughEtx) {
    EXPECT_EQ(BuildData({{"1", "123"}, {"2", "HELLO"}}), CallData);
    EXPECT_EQ(BuildBlock('1', CallData), CallBlock);
}

}  // namespace
}  // namespace tw::tools

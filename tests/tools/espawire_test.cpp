#include "espawire.h"

#include <gtest/gtest.h>

#include <string>

#include "espa/wire.h"

namespace tw::tools {
namespace {

const std::string CallData = test::Wire("1<US>123<RS>2<US>HELLO");
const std::string CallBlock = test::Wire("<SOH>1<STX>1<US>123<RS>2<US>HELLO<ETX><95>");

// Decoding a status block is proven by the station's run against a partner
// that builds its blocks with the same, here pinned, check character.
TEST(EspaWire, CallBlockCarriesTheCheckCharacterOfHeaderThroughEtx) {
    EXPECT_EQ(BuildData({{"1", "123"}, {"2", "HELLO"}}), CallData);
    EXPECT_EQ(BuildBlock('1', CallData), CallBlock);
}

}  // namespace
}  // namespace tw::tools

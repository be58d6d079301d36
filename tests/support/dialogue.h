// The call dialogue a partner station sends and the gateway's answer to it.
#pragma once

#include <string>

#include "espa/callrecord.h"

namespace tw::test {

// One selection, one block with records 1 (call address) and 2 (text), EOT.
inline std::string CallDialogue(const std::string& address, const std::string& text) {
    const std::string block =
        "1\x02"
        "1\x1f" +
        address +
        "\x1e"
        "2\x1f" +
        text + "\x03";
    return "1\x05\x01" + block + BlockCheck(block) + "\x04";
}

// The gateway's answer to CallDialogue: ACK for the block, then EOT.
inline const std::string kCallAnswer = "\x06\x04";

}  // namespace tw::test

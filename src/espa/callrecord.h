// The data part of an ESPA block as the gateway reads and writes it: the
// block check character, records looked up by identifier, and the call-status
// blocks sent back to the partner.
#pragma once

#include <string>
#include <string_view>

#include "core/espacall.h"
#include "core/records.h"

namespace tw {

// The protocol's control characters.
namespace espa {
constexpr char SOH = '\x01';
constexpr char STX = '\x02';
constexpr char ETX = '\x03';
constexpr char EOT = '\x04';
constexpr char ENQ = '\x05';
constexpr char ACK = '\x06';
constexpr char NAK = '\x15';
constexpr char RS = '\x1e';
constexpr char US = '\x1f';
}  // namespace espa

// The exclusive-or of every character code of text, as one character. A
// received block is good when this gives character 0 over everything after
// SOH up to and including its check character.
std::string BlockCheck(std::string_view text);

// The normalised text of the first record whose identifier id is followed by
// US anywhere in data (a plain search, so "1" US also matches the tail of
// "11" US), up to the next RS or the end of data; "" when there is none.
std::string GetRecord(std::string_view id, std::string_view data);

// GetRecord for every identifier 0 to 15, in one pass over data.
RecordTable GetRecords(std::string_view data);

// Blanks trimmed at both ends, every control character (below 32) turned
// into "/", every run of blanks collapsed to one blank.
std::string NormalizeText(std::string_view text);

// The call-status block for the partner built from a received data part
// (exactly as received) and a status digit: SOH "2" STX data RS "7" US status
// ETX, then the block check character.
cESPACall BuildStatusMessage(std::string_view data, std::string_view status);

}  // namespace tw

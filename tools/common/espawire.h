// The station-1 side of the ESPA 4.4.4 wire: building call blocks with their
// check character, and taking the partner's replies from the head of a buffer.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tw::tools {

inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char EOT = 0x04;
inline constexpr char ENQ = 0x05;
inline constexpr char ACK = 0x06;
inline constexpr char NAK = 0x15;
inline constexpr char RS = 0x1E;
inline constexpr char US = 0x1F;

// A received block larger than this is not ESPA; the buffer is given up.
inline constexpr std::size_t MaxBlockSize = 4096;

struct Record {
    std::string m_Id;
    std::string m_Text;
};

// Exclusive-or of every character of text (0 for an empty text).
char BlockCheck(std::string_view text);

// Data part from records in the given order: id US text, records joined by RS.
std::string BuildData(const std::vector<Record>& records);

// SOH header STX data ETX check. With corruptCheck the check character is
// deliberately wrong (every bit inverted), so the partner must answer NAK.
std::string BuildBlock(char header, std::string_view data, bool corruptCheck = false);

// Records of a data part in the order they stand; a record without US has an
// empty id and the whole piece as text.
std::vector<Record> ParseRecords(std::string_view data);

// Text of the first record with this id, or nullopt.
std::optional<std::string> FindRecord(const std::vector<Record>& records, std::string_view id);

// Text of the last record with this id, or nullopt (a status block carries the
// received data first and its own record 7 last).
std::optional<std::string> LastRecord(const std::vector<Record>& records, std::string_view id);

// The meaning of a call-status value of record 7 ("2" in queue, ...).
std::string_view CallStatusName(std::string_view status);

enum class ElementKind {
    Ack,
    Nak,
    Eot,
    Enq,    // an address followed by ENQ; m_Address holds the address
    Block,  // SOH header STX data ETX check
    Junk,   // one byte that begins no element; m_Raw holds it
};

struct Element {
    ElementKind m_Kind = ElementKind::Junk;
    char m_Address = 0;
    std::string m_Header;
    std::string m_Data;
    bool m_CheckOk = false;
    std::string m_Raw;  // the bytes consumed for this element
};

// Removes one complete element from the head of buffer and returns it, or
// returns nullopt and leaves buffer as it is while the head is incomplete.
// A head that can never complete (an over-long block) is returned as Junk,
// one byte at a time, so the caller always makes progress.
std::optional<Element> TakeElement(std::string& buffer);

// Human-readable form of wire bytes: control characters by name in angle
// brackets ("<SOH>1<STX>..."), everything else as it is.
std::string DescribeBytes(std::string_view bytes);

}  // namespace tw::tools

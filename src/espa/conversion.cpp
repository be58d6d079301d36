#include "espa/conversion.h"

#include <array>
#include <initializer_list>
#include <utility>

namespace tw {
namespace {

using CodeTable = std::array<unsigned char, 256>;

CodeTable MakeTable(std::initializer_list<std::pair<unsigned char, unsigned char>> changes) {
    CodeTable table{};
    for (size_t code = 0; code < table.size(); ++code) {
        table[code] = static_cast<unsigned char>(code);
    }
    for (const auto& [from, to] : changes) {
        table[from] = to;
    }
    return table;
}

std::string Convert(std::string text, const CodeTable& table) {
    for (char& c : text) {
        c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    }
    return text;
}

}  // namespace

std::string Swedish7BitToLatin1(std::string text) {
    static const CodeTable table = MakeTable({
        {0x5B, 0xC4},  // [ -> Ä
        {0x5D, 0xC5},  // ] -> Å
        {0x5C, 0xD6},  // \ -> Ö
        {0x7B, 0xE4},  // { -> ä
        {0x7D, 0xE5},  // } -> å
        {0x7C, 0xF6},  // | -> ö
    });
    return Convert(std::move(text), table);
}

std::string DOSToLatin1(std::string text) {
    static const CodeTable table = MakeTable({
        {0x82, 0xE9},  // é
        {0x84, 0xE4},  // ä
        {0x86, 0xE5},  // å
        {0x8E, 0xC4},  // Ä
        {0x8F, 0xC5},  // Å
        {0x90, 0xC9},  // É
        {0x91, 0xE6},  // æ
        {0x92, 0xC6},  // Æ
        {0x94, 0xF6},  // ö
        {0x99, 0xD6},  // Ö
        {0x9A, 0xDC},  // Ü
        {0x9B, 0xF8},  // ø
        {0x9D, 0xD8},  // Ø
        {0xEC, 0xF8},  // ø
        {0xED, 0xD8},  // Ø
        {0xF8, 0xB0},  // °
        {0xFC, 0xB3},  // ³
    });
    return Convert(std::move(text), table);
}

}  // namespace tw

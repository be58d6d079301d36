// Wildcard patterns and the look-up sections that classify a call by them.
#pragma once

#include <optional>
#include <string>

#include "core/records.h"
#include "core/settingssource.h"

namespace tw {

// A compiled pattern holds at most this many tokens; whatever follows the
// last one is ignored, so a longer pattern is matched by its head only.
constexpr int kMaxPatternTokens = 31;

// True when pattern matches all of text. "*" stands for any run of
// characters, "?" for exactly one; no escapes. Case-sensitive. A star binds
// to the first occurrence of the literal after it and never backtracks:
// "*AB" matches "XAB" but not "XABAB". The pattern "*" matches everything,
// the empty text only "*".
bool MatchWildcard(const std::string& text, const std::string& pattern);

// The text after the first occurrence of delimiter; empty when it is absent.
std::string TextAfter(const std::string& text, char delimiter);

// Latin-1 upper-casing: a-z and the accented small letters 0xE0-0xFE (except
// the division sign 0xF7) become capitals; the length never changes.
std::string ToUpperLatin1(std::string text);

// Classifies a call through the look-up section `sectionName` of fileName
// (read from settings: empty is Tellwick.ini). Each
// entry reads key=pattern,pattern,...; for every entry and every record
// number of recordList ("4" or "1,4"), the upper-cased record is matched
// against the upper-cased, blank-trimmed patterns. The key of the last
// matching entry wins; nullopt when nothing matches or the file or section is
// missing. The section is read afresh on every call (at most 10240
// characters of it, as ReadIniSection places them).
std::optional<std::string> FindMatchingKey(SettingsSource& settings, const std::string& recordList,
                                           const std::string& fileName,
                                           const std::string& sectionName,
                                           const RecordTable& Records);

}  // namespace tw

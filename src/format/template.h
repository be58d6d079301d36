// The template language that turns a call into the six alarm fields.
#pragma once

#include <string>

#include "base/clock.h"
#include "core/records.h"
#include "core/settingssource.h"

namespace tw {

// What the tags of one call's templates are expanded from.
struct TemplateContext {
    const RecordTable& m_Records;
    const std::string& m_Description;  // the port's
    std::string m_DatePattern;
    std::string m_TimePattern;
    const LocalTime& m_Now;      // the time of the call, the same for every tag
    SettingsSource& m_Settings;  // where look-up sections are read
};

// Expands one template: tags in square brackets are replaced by values from
// the call's records, the port description and the time of the call.
//
// A tag runs from "[" to the next "]" with no other "[" in between; its
// content splits at ":" into arguments, the first being the keyword:
//   PCDATE DATE ALARMDATE / PCTIME TIME ALARMTIME   the clock, formatted with
//                                     datePattern / timePattern
//   PORTDESCRIPTION                   Description
//   n (1..255, the whole content)     the character with code n
//   F<m> (any other keyword F...)     Records[m], m = 0 when no digits follow
//   R/REPLACE:search:text, CF/CUTFROM:search:offset, CU/CUTUNTIL:search:offset
//                                     edits applied, in order, to the next
//                                     value and then dropped
//   RFFC:records:file:section         the key of the matching look-up line
// Value tags other than RFFC and n take ":range:width" options: range a-b
// keeps the 0-based positions a to b, width pads with blanks and cuts. A tag
// without a value (unknown, record number outside 0..15, no look-up match)
// stays as written. Inserted values are never scanned for tags.
//
// Numbers in tags are held in 16 bits: larger ones count as 32767, smaller
// ones as -32768. The result never grows beyond kMaxExpandedLength
// characters; values that would pass it are cut.
std::string ExpandFormatTemplate(const std::string& formatTemplate, const TemplateContext& context);

constexpr size_t kMaxExpandedLength = 1U << 20U;

// The number that the hexadecimal digits of text spell; characters that are
// not hexadecimal digits count as 0 in their place.
unsigned long HexValue(const std::string& text);

}  // namespace tw

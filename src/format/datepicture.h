// Date/time pictures: the notation sites write their date and time patterns in.
#pragma once

#include <string>

#include "base/clock.h"

namespace tw {

// Formats time with picture. Elements (letters in either case):
//   d dd            day of the month, without / with a leading zero
//   ddd dddd        abbreviated / full weekday name
//   ddddd dddddd    short date / long date
//   w ww            weekday 1 (Sunday) .. 7 / week of the year 1 .. 54, the
//                   week starting on Sunday and week 1 holding 1 January
//   m mm            month, or minutes when the nearest element before it
//                   (separators and literal text aside) is h or hh
//   mmm mmmm        abbreviated / full month name
//   n nn            minutes;  s ss  seconds;  h hh  hours
//   q               quarter 1..4;  y  day of the year 1..366
//   yy yyyy         year in two / four digits
//   ttttt           long time;  c  short date, blank, long time
//   AM/PM am/pm A/P a/p   12-hour clock, with the half of the element that
//                   matches the time of day, as written
//   AMPM            12-hour clock with the locale's AM or PM text
//   "text" \c       literal text; every other character is copied as it is.
// The whole picture may instead be one of the named formats "General Date",
// "Long Date", "Medium Date", "Short Date", "Long Time", "Medium Time",
// "Short Time" (without regard to case).
//
// Short date and long time follow LC_TIME of the process (strftime %x and
// %X); under the C or POSIX locale they are yyyy-mm-dd and hh:nn:ss. Day and
// month names come from LC_TIME as well (English under C). Text from a
// UTF-8 locale is turned into Latin-1.
std::string FormatDatePicture(const LocalTime& time, const std::string& picture);

}  // namespace tw

#include "format/datepicture.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tw {
namespace {

struct Row {
    LocalTime time;
    const char* picture;
    const char* expected;
};

void Check(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        EXPECT_EQ(FormatDatePicture(row.time, row.picture), row.expected)
            << row.picture << " at " << row.time.Year << "-" << row.time.Month << "-"
            << row.time.Day << " " << row.time.Hour << ":" << row.time.Minute;
    }
}

const LocalTime kMonday = MakeLocalTime(2019, 5, 27, 14, 31, 5);

TEST(DatePictureTest, DateAndTimeElements) {
    Check({
        {kMonday, "yyyy-mm-dd hh:nn:ss", "2019-05-27 14:31:05"},
        {kMonday, "YY-MM-DD HH:NN:SS", "19-05-27 14:31:05"},
        {kMonday, "d/m/yy h:n:s", "27/5/19 14:31:5"},
        {kMonday, "ddd dddd mmm mmmm", "Mon Monday May May"},
        {MakeLocalTime(2019, 2, 3), "ddd dddd mmm mmmm", "Sun Sunday Feb February"},
        {kMonday, "q y w", "2 147 2"},
        {MakeLocalTime(2019, 12, 31), "q y", "4 365"},
        {kMonday, "ddddd|dddddd|ttttt", "2019-05-27|Monday, May 27, 2019|14:31:05"},
        {kMonday, "c", "2019-05-27 14:31:05"},
        {kMonday, "yyy ddddddd", "19147 Monday, May 27, 201927"},
    });
}

TEST(DatePictureTest, MAfterHoursMeansMinutes) {
    Check({
        {kMonday, "hh:mm", "14:31"},
        {kMonday, "h:m", "14:31"},
        {kMonday, "hh \"h\" mm", "14 h 31"},
        {kMonday, "mm hh", "05 14"},
        {kMonday, "dd/mm", "27/05"},
        {kMonday, "hh:mmm", "14:May"},
        {kMonday, "hh:nn mm", "14:31 05"},
    });
}

TEST(DatePictureTest, WeeksStartOnSundayWithFirstJanuaryInWeekOne) {
    Check({
        {MakeLocalTime(2022, 1, 1), "w ww", "7 1"},     // Saturday
        {MakeLocalTime(2022, 1, 2), "w ww", "1 2"},     // Sunday
        {MakeLocalTime(2021, 12, 31), "w ww", "6 53"},  // Friday
        {MakeLocalTime(2023, 1, 1), "w ww", "1 1"},     // Sunday
        {MakeLocalTime(2000, 12, 31), "w ww", "1 54"},  // leap year starting on Saturday
        {kMonday, "ww", "22"},
    });
}

TEST(DatePictureTest, TwelveHourForms) {
    Check({
        {kMonday, "hh:nn AM/PM", "02:31 PM"},
        {kMonday, "h am/pm", "2 pm"},
        {kMonday, "h A/P|h a/p", "2 P|2 p"},
        {kMonday, "hAMPM", "2PM"},
        {MakeLocalTime(2019, 5, 27, 0, 5), "h:nn AM/PM|hh", "12:05 AM|12"},
        {MakeLocalTime(2019, 5, 27, 0, 5), "hh:nn", "00:05"},
        {MakeLocalTime(2019, 5, 27, 12, 0), "h:nn a/p", "12:00 p"},
        {MakeLocalTime(2019, 5, 27, 23, 59), "Medium Time", "11:59 PM"},
        {MakeLocalTime(2019, 5, 27, 9, 0), "Medium Time", "09:00 AM"},
    });
}

TEST(DatePictureTest, LiteralsAndOtherCharacters) {
    Check({
        {kMonday, "\"Day\" d", "Day 27"},
        {kMonday, "\\d\\a\\y d\\", "day 27"},
        {kMonday, "\"unclosed d", "unclosed d"},
        {kMonday, "x-z tt ,.", "x-z tt ,."},
        {kMonday, "", ""},
    });
}

TEST(DatePictureTest, NamedFormatsUnderTheCLocale) {
    Check({
        {kMonday, "General Date", "2019-05-27 14:31:05"},
        {kMonday, "Long Date", "Monday, May 27, 2019"},
        {kMonday, "Medium Date", "27-May-19"},
        {kMonday, "Short Date", "2019-05-27"},
        {kMonday, "short date", "2019-05-27"},
        {kMonday, "Long Time", "14:31:05"},
        {kMonday, "Short Time", "14:31"},
    });
}

TEST(DatePictureTest, CUtf8LocaleCountsAsTheCLocale) {
    if (std::setlocale(LC_TIME, "C.UTF-8") == nullptr) {
        GTEST_SKIP() << "no C.UTF-8 locale";
    }
    EXPECT_EQ(FormatDatePicture(kMonday, "Short Date"), "2019-05-27");
    EXPECT_EQ(FormatDatePicture(kMonday, "Long Time"), "14:31:05");
    std::setlocale(LC_TIME, "C");
}

}  // namespace
}  // namespace tw

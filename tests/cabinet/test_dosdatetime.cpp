// MS-DOS date and time decoding and the date text (locale pinned to en_US by CTest).
#include "cabinet/DosDateTime.h"
#include "tests/support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace morbek::cab;

namespace {

uint16_t RawDate(int yearField, int month, int day) {
    return static_cast<uint16_t>((yearField << 9) | (month << 5) | day);
}
uint16_t RawTime(int hour, int minute, int secondsField) {
    return static_cast<uint16_t>((hour << 11) | (minute << 5) | secondsField);
}

struct DateCase {
    const char* name;
    uint16_t date, time;
    bool valid;
    const char* text; // en_US
};

class DosDates : public ::testing::TestWithParam<DateCase> {};

TEST_P(DosDates, DecodeValidateAndFormat) {
    const DateCase& c = GetParam();
    EXPECT_EQ(DecodeDosDateTime(c.date, c.time).valid(), c.valid);
    EXPECT_EQ(FormatDosDateTime(c.date, c.time), QString::fromLatin1(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Values, DosDates,
    ::testing::Values(
        DateCase{"ordinary", RawDate(17, 3, 12), RawTime(11, 13, 26), true, "3/12/1997 11:13:52 AM"},
        DateCase{"afternoon", RawDate(18, 6, 15), RawTime(14, 5, 3), true, "6/15/1998 2:05:06 PM"},
        DateCase{"midnight_date_only", RawDate(18, 6, 15), RawTime(0, 0, 0), true, "6/15/1998"},
        DateCase{"two_seconds_past_midnight", RawDate(18, 6, 15), RawTime(0, 0, 1), true,
                 "6/15/1998 12:00:02 AM"},
        DateCase{"first_possible", RawDate(0, 1, 1), RawTime(0, 0, 0), true, "1/1/1980"},
        DateCase{"last_possible", RawDate(127, 12, 31), RawTime(23, 59, 29), true, "12/31/2107 11:59:58 PM"},
        DateCase{"month_0", RawDate(17, 0, 12), RawTime(11, 0, 0), false, "Date Err."},
        DateCase{"month_13", RawDate(17, 13, 12), RawTime(11, 0, 0), false, "Date Err."},
        DateCase{"day_0", RawDate(17, 3, 0), RawTime(11, 0, 0), false, "Date Err."},
        DateCase{"april_31", RawDate(17, 4, 31), RawTime(11, 0, 0), false, "Date Err."},
        DateCase{"feb_30", RawDate(17, 2, 30), RawTime(11, 0, 0), false, "Date Err."},
        DateCase{"feb_29_leap_2000", RawDate(20, 2, 29), RawTime(0, 0, 0), true, "2/29/2000"},
        DateCase{"feb_29_leap_1996", RawDate(16, 2, 29), RawTime(0, 0, 0), true, "2/29/1996"},
        DateCase{"feb_29_non_leap_1999", RawDate(19, 2, 29), RawTime(0, 0, 0), false, "Date Err."},
        DateCase{"feb_29_century_2100", RawDate(120, 2, 29), RawTime(0, 0, 0), false, "Date Err."},
        DateCase{"hour_24", RawDate(17, 3, 12), RawTime(24, 0, 0), false, "Date Err."},
        DateCase{"minute_60", RawDate(17, 3, 12), RawTime(10, 60, 0), false, "Date Err."},
        DateCase{"seconds_field_30", RawDate(17, 3, 12), RawTime(10, 0, 30), false, "Date Err."},
        DateCase{"seconds_field_29", RawDate(17, 3, 12), RawTime(10, 0, 29), true, "3/12/1997 10:00:58 AM"},
        DateCase{"all_ones", 0xFFFF, 0xFFFF, false, "Date Err."}),
    morbek::test::CaseName());

} // namespace

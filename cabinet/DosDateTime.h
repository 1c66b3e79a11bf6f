#pragma once
#include <QString>
#include <cstdint>

namespace morbek::cab {

struct DosDateTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    // Month 1..12, day within the Gregorian month (29 February only in leap years),
    // hour < 24, minute < 60, second < 60.
    bool valid() const;
};

DosDateTime DecodeDosDateTime(uint16_t date, uint16_t time);

// Regional short date, then (unless the time is exactly 00:00:00) one blank and the
// long time; "Date Err." for a value that does not decode.
QString FormatDosDateTime(uint16_t date, uint16_t time);

} // namespace morbek::cab

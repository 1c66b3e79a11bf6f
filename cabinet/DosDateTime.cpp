#include "cabinet/DosDateTime.h"

#include "platform/locale/Regional.h"

#include <QDate>
#include <QTime>

namespace morbek::cab {

bool DosDateTime::valid() const {
    if (month < 1 || month > 12 || day < 1)
        return false;
    if (day > QDate(year, month, 1).daysInMonth())
        return false;
    return hour < 24 && minute < 60 && second < 60;
}

DosDateTime DecodeDosDateTime(uint16_t date, uint16_t time) {
    DosDateTime v;
    v.year = 1980 + (date >> 9);
    v.month = (date >> 5) & 0x0F;
    v.day = date & 0x1F;
    v.hour = time >> 11;
    v.minute = (time >> 5) & 0x3F;
    v.second = 2 * (time & 0x1F);
    return v;
}

QString FormatDosDateTime(uint16_t date, uint16_t time) {
    const DosDateTime v = DecodeDosDateTime(date, time);
    if (!v.valid())
        return QStringLiteral("Date Err.");
    QString text = platform::ShortDate(QDate(v.year, v.month, v.day));
    if (v.hour != 0 || v.minute != 0 || v.second != 0)
        text += QLatin1Char(' ') + platform::LongTime(QTime(v.hour, v.minute, v.second));
    return text;
}

} // namespace morbek::cab

#include "cabinet/DosDateTime.h"

#include "platform/locale/Regional.h"

#include <QDate>
#include <QTime>

namespace morbek::cab {

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

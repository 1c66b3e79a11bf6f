#pragma once
// The platform's regional settings and user language.
#include <QDate>
#include <QString>
#include <QTime>

namespace morbek::platform {

// Stand-in for GetUserDefaultLangID: the primary language id of QLocale::system()
// (German 0x07, French 0x0C, English 0x09, others their own id), low byte only.
int GetUserDefaultLangID();

// The system locale's short date (a two-digit year widened to four digits) for
// LC_TIME; QLocale::setDefault is never consulted.
QString ShortDate(const QDate& date);
// The system locale's long time without any time-zone token.
QString LongTime(const QTime& time);

// The rewrites behind ShortDate and LongTime, for any Qt date or time format: a "yy"
// year token becomes "yyyy" (other year tokens stay), and every time-zone token (t to
// tttt) goes with one adjoining blank. Quoted literals are left alone.
QString WidenShortYear(const QString& dateFormat);
QString WithoutTimeZone(const QString& timeFormat);

// Compares two texts like lstrcmpA: locale-aware (LC_COLLATE; C/POSIX use en_US),
// case-sensitive. Negative, zero or positive.
int CompareLocale(const QString& a, const QString& b);

} // namespace morbek::platform

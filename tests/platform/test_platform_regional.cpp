// Windows-1252 and cabinet-name decoding; regional date and time texts, the user
// language and the locale-aware comparison. The test environment pins en_US; other
// locales are probed in a process of their own, since the system locale is read once.
#include "platform/locale/Regional.h"
#include "platform/text/AnsiText.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <algorithm>
#include <ostream>

#include "tests/support/QtPrinters.h"

using namespace morbek::platform;

namespace {

QString U(const char16_t* text) {
    return QString::fromUtf16(text);
}

TEST(Windows1252, EveryByteHasItsCodePoint) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = FromWindows1252(all);
    ASSERT_EQ(text.size(), 256);
    const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                               0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                               0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                               0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    for (int b = 0; b < 256; ++b) {
        const char16_t expected = (b >= 0x80 && b < 0xA0) ? high[b - 0x80] : static_cast<char16_t>(b);
        EXPECT_EQ(text.at(b).unicode(), expected) << "byte 0x" << std::hex << b;
    }
}

struct NameCase {
    const char* name;
    QByteArray bytes;
    uint16_t attribs;
    QString expected;
};

class CabinetNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CabinetNames, DecodeByTheUtf8Attribute) {
    EXPECT_EQ(DecodeCabinetName(GetParam().bytes, GetParam().attribs), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, CabinetNames,
    ::testing::Values(NameCase{"ascii", "readme.txt", 0x20, QStringLiteral("readme.txt")},
                      NameCase{"ansi",
                               "Gr\xfc\xdf"
                               "e \x84quoted\x93",
                               0x20, U(u"Gr\u00FC\u00DFe \u201Equoted\u201C")},
                      NameCase{"utf8",
                               "Gr\xc3\xbc\xc3\x9f"
                               "e \xe2\x80\x9e",
                               0x80, U(u"Gr\u00FC\u00DFe \u201E")},
                      NameCase{"utf8_among_other_bits", "\xc3\xa9", 0xFFFF, U(u"\u00E9")},
                      NameCase{"utf8_four_bytes", "\xf0\x9f\x93\x81", 0x80, U(u"\U0001F4C1")},
                      NameCase{"invalid_utf8_lead",
                               "a\xc3"
                               "b",
                               0x80, U(u"a\uFFFDb")},
                      NameCase{"overlong_utf8", "\xc0\xaf", 0x80, U(u"\uFFFD\uFFFD")},
                      NameCase{"same_bytes_as_ansi",
                               "a\xc3"
                               "b",
                               0x7F, U(u"a\u00C3b")},
                      NameCase{"empty", "", 0x80, QString()}),
    morbek::test::CaseName());

// ---- Format rewrites ----

struct FormatCase {
    const char* name;
    const char* in;
    const char* out;
};

class ShortYear : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ShortYear, WidensOnlyTwoDigitYears) {
    EXPECT_EQ(WidenShortYear(QString::fromLatin1(GetParam().in)), QString::fromLatin1(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(Formats, ShortYear,
                         ::testing::Values(FormatCase{"en_US", "M/d/yy", "M/d/yyyy"},
                                           FormatCase{"de_DE", "dd.MM.yy", "dd.MM.yyyy"},
                                           FormatCase{"already_four", "dd/MM/yyyy", "dd/MM/yyyy"},
                                           FormatCase{"iso", "yyyy-MM-dd", "yyyy-MM-dd"},
                                           FormatCase{"quoted_yy", "'yy' d.M.yy", "'yy' d.M.yyyy"},
                                           FormatCase{"escaped_quote", "d''M''yy", "d''M''yyyy"},
                                           FormatCase{"single_y", "d.M.y", "d.M.y"}),
                         morbek::test::CaseName());

class TimeZoneToken : public ::testing::TestWithParam<FormatCase> {};

TEST_P(TimeZoneToken, GoesWithOneBlank) {
    EXPECT_EQ(WithoutTimeZone(QString::fromLatin1(GetParam().in)), QString::fromLatin1(GetParam().out));
}

INSTANTIATE_TEST_SUITE_P(Formats, TimeZoneToken,
                         ::testing::Values(FormatCase{"en_US", "h:mm:ss AP t", "h:mm:ss AP"},
                                           FormatCase{"de_DE", "HH:mm:ss t", "HH:mm:ss"},
                                           FormatCase{"long_name", "HH:mm:ss tttt", "HH:mm:ss"},
                                           FormatCase{"leading", "tttt HH:mm:ss", "HH:mm:ss"},
                                           FormatCase{"middle", "HH:mm t ss", "HH:mm ss"},
                                           FormatCase{"bracketed", "H:mm:ss (t)", "H:mm:ss"},
                                           FormatCase{"none", "HH:mm:ss", "HH:mm:ss"},
                                           FormatCase{"quoted_t", "H 'h' mm 'min' ss 's' t",
                                                      "H 'h' mm 'min' ss 's'"}),
                         morbek::test::CaseName());

// ---- The pinned en_US environment ----

TEST(RegionalPinned, DateTimeAndLanguage) {
    EXPECT_EQ(ShortDate(QDate(1997, 3, 12)), QStringLiteral("3/12/1997"));
    EXPECT_EQ(ShortDate(QDate(2007, 11, 5)), QStringLiteral("11/5/2007"));
    EXPECT_EQ(LongTime(QTime(14, 5, 6)), QStringLiteral("2:05:06 PM"));
    EXPECT_EQ(LongTime(QTime(0, 0, 2)), QStringLiteral("12:00:02 AM"));
    EXPECT_EQ(GetUserDefaultLangID(), 0x09);
}

TEST(RegionalPinned, CompareIsLocaleAwareAndCaseSensitive) {
    QStringList words{QStringLiteral("b"), QStringLiteral("B"), QStringLiteral("a"), QStringLiteral("A"),
                      U(u"\u00E4"),        QStringLiteral("z"), QStringLiteral("Z")};
    std::sort(words.begin(), words.end(),
              [](const QString& x, const QString& y) { return CompareLocale(x, y) < 0; });
    EXPECT_EQ(words, (QStringList{QStringLiteral("a"), QStringLiteral("A"), U(u"\u00E4"), QStringLiteral("b"),
                                  QStringLiteral("B"), QStringLiteral("z"), QStringLiteral("Z")}));
    EXPECT_NE(CompareLocale(QStringLiteral("a"), QStringLiteral("A")), 0);
    EXPECT_EQ(CompareLocale(QStringLiteral("same"), QStringLiteral("same")), 0);
}

TEST(RegionalPinned, CollationTiesFallBackToCodePoints) {
    const QString composed = U(u"\u00E9"), decomposed = U(u"e\u0301");
    const int forward = CompareLocale(composed, decomposed), backward = CompareLocale(decomposed, composed);
    EXPECT_NE(forward, 0);
    EXPECT_EQ(forward > 0, backward < 0);
    EXPECT_EQ(forward > 0, composed > decomposed); // U+00E9 is above 'e'
}

// ---- Other locales, each in a fresh process ----

QStringList Probe(const QStringList& args, const QMap<QString, QString>& vars) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LC_TIME", "LC_MESSAGES", "LANG", "LANGUAGE"})
        env.remove(QString::fromLatin1(name));
    for (auto it = vars.begin(); it != vars.end(); ++it)
        env.insert(it.key(), it.value());
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(MORBEK_PLATFORM_PROBE), args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {QStringLiteral("probe failed")};
    return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

struct LocaleCase {
    const char* name;
    const char* lcAll;
    const char* shortDate;
    const char* longTime;
    const char* langId;
};

class RegionalLocales : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(RegionalLocales, FollowTheSystemLocale) {
    const LocaleCase& c = GetParam();
    EXPECT_EQ(Probe({QStringLiteral("regional")}, {{QStringLiteral("LC_ALL"), QString::fromLatin1(c.lcAll)}}),
              (QStringList{QString::fromUtf8(c.shortDate), QString::fromUtf8(c.longTime),
                           QString::fromLatin1(c.langId)}));
}

INSTANTIATE_TEST_SUITE_P(Locales, RegionalLocales,
                         ::testing::Values(LocaleCase{"en_US", "en_US.UTF-8", "3/12/1997", "2:05:06 PM", "9"},
                                           LocaleCase{"de_DE", "de_DE.UTF-8", "12.03.1997", "14:05:06", "7"},
                                           LocaleCase{"fr_FR", "fr_FR.UTF-8", "12/03/1997", "14:05:06", "c"},
                                           LocaleCase{"en_GB", "en_GB.UTF-8", "12/03/1997", "14:05:06", "9"},
                                           LocaleCase{"es_ES", "es_ES.UTF-8", "12/3/1997", "14:05:06", "a"}),
                         morbek::test::CaseName());

TEST(RegionalCollation, FollowsLcCollateAndTreatsCAsEnglish) {
    const QStringList words{QStringLiteral("z"), U(u"\u00E4"), QStringLiteral("B"), QStringLiteral("b"),
                            QStringLiteral("a")};
    const QStringList english{QStringLiteral("a"), U(u"\u00E4"), QStringLiteral("b"), QStringLiteral("B"),
                              QStringLiteral("z")};
    QStringList args{QStringLiteral("sort")};
    args += words;
    // C and POSIX compare like en_US, not by code point.
    EXPECT_EQ(Probe(args, {{QStringLiteral("LC_ALL"), QStringLiteral("C")}}), english);
    EXPECT_EQ(Probe(args, {{QStringLiteral("LANG"), QStringLiteral("POSIX")}}), english);
    EXPECT_EQ(Probe(args, {}), english);
    // Swedish sorts a-umlaut after z; LC_ALL outranks LC_COLLATE, which outranks LANG.
    const QStringList swedish{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("B"),
                              QStringLiteral("z"), U(u"\u00E4")};
    EXPECT_EQ(Probe(args, {{QStringLiteral("LC_COLLATE"), QStringLiteral("sv_SE.UTF-8")}}), swedish);
    EXPECT_EQ(Probe(args, {{QStringLiteral("LANG"), QStringLiteral("sv_SE.UTF-8")}}), swedish);
    EXPECT_EQ(Probe(args, {{QStringLiteral("LC_COLLATE"), QStringLiteral("sv_SE.UTF-8")},
                           {QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8")}}),
              swedish);
    EXPECT_EQ(Probe(args, {{QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8")},
                           {QStringLiteral("LC_COLLATE"), QStringLiteral("sv_SE.UTF-8")}}),
              english);
}

} // namespace

#include "platform/shell/DirectSave.h"
#include "platform/shell/ShellInfo.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace morbek::platform;

namespace {

constexpr uint32_t kLarge = SHGFI_ICON | SHGFI_TYPENAME;
constexpr uint32_t kSmall = kLarge | SHGFI_SMALLICON;

QString Probe(const QString& extension) {
    return QStringLiteral("/tmp/morbek-0/~tmpxcab.") + extension;
}

QString InstalledTheme() {
    for (const char* theme : {"Adwaita", "breeze"})
        if (QFileInfo::exists(QStringLiteral("/usr/share/icons/%1/index.theme").arg(QLatin1String(theme))))
            return QLatin1String(theme);
    return {};
}

// The theme is chosen once, at start: a lookup that changed it would give the message
// boxes one icon before the first cabinet and another after. Defined before the
// parameterised suites so that it runs first, before any lookup of this process.
struct ThemeCase {
    const char* name;
    const char* before;
    bool replacedAtStart; // else kept as it was
};

TEST(IconTheme, IsChosenAtStartAndNeverByALookup) {
    const QString installed = InstalledTheme();
    if (installed.isEmpty())
        GTEST_SKIP() << "neither Adwaita nor breeze is installed";
    const ThemeCase cases[] = {
        {"Unset", "", true},
        {"Hicolor", "hicolor", true},
        {"ChosenByTheDesktop", "HighContrast", false},
    };
    for (const ThemeCase& c : cases) {
        SCOPED_TRACE(c.name);
        QIcon::setThemeName(QLatin1String(c.before));
        for (const char* extension : {"txt", "zzqqxx", "png"}) {
            SHFILEINFO info;
            SHGetFileInfoA(Probe(QLatin1String(extension)), 0, info, kLarge);
            SHGetFileInfoA(Probe(QLatin1String(extension)), 0, info, kSmall);
        }
        EXPECT_EQ(QIcon::themeName(), QLatin1String(c.before)) << "a lookup changed the theme";
        SetUpIconTheme();
        EXPECT_EQ(QIcon::themeName(), c.replacedAtStart ? installed : QLatin1String(c.before));
    }
    QIcon::setThemeName(installed);
}

struct ProbeCase {
    const char* name;
    const char* extension;
    uint32_t flags;
    bool recognised;
    int iconSize;
};

void PrintTo(const ProbeCase& c, std::ostream* os) {
    *os << c.name;
}

class ShellInfo : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(ShellInfo, AnswersByNameWithAnIconOfTheAskedSize) {
    const ProbeCase& c = GetParam();
    SHFILEINFO info;
    EXPECT_EQ(SHGetFileInfoA(Probe(QString::fromLatin1(c.extension)), 0, info, c.flags), c.recognised);
    EXPECT_EQ(info.szTypeName.isEmpty(), !c.recognised);
    ASSERT_FALSE(info.hIcon.isNull());
    const QList<QSize> sizes = info.hIcon.availableSizes();
    ASSERT_EQ(sizes.size(), 1);
    EXPECT_EQ(sizes.first(), QSize(c.iconSize, c.iconSize));
}

INSTANTIATE_TEST_SUITE_P(Probes, ShellInfo,
                         ::testing::Values(ProbeCase{"Text", "txt", kLarge, true, 32},
                                           ProbeCase{"TextSmall", "txt", kSmall, true, 16},
                                           ProbeCase{"UpperCase", "TXT", kSmall, true, 16},
                                           ProbeCase{"Unknown", "zzqqxx", kLarge, false, 32},
                                           ProbeCase{"UnknownSmall", "zzqqxx", kSmall, false, 16},
                                           ProbeCase{"NoExtension", "", kLarge, false, 32},
                                           ProbeCase{"PathLikeExtension", "d\\readme.txt", kLarge, false, 32},
                                           ProbeCase{"PathLikeExtensionSmall", "d\\readme.txt", kSmall, false,
                                                     16}),
                         morbek::test::CaseName());

TEST(ShellInfoAnswers, DependOnTheExtensionOnlyAndFollowTheFlags) {
    SHFILEINFO lower, upper, other;
    SHGetFileInfoA(Probe(QStringLiteral("txt")), 0, lower, kLarge);
    SHGetFileInfoA(QStringLiteral("/elsewhere/~tmpxcab.TXT"), 0, upper, kLarge);
    EXPECT_EQ(lower.szTypeName, upper.szTypeName);
    SHGetFileInfoA(Probe(QStringLiteral("png")), 0, other, kLarge);
    EXPECT_FALSE(other.szTypeName.isEmpty());
    EXPECT_NE(other.szTypeName, lower.szTypeName);

    // An unknown name must not inherit the previous answer.
    SHFILEINFO unknown{other.hIcon, other.szTypeName};
    SHGetFileInfoA(Probe(QStringLiteral("zzqqxx")), 0, unknown, kLarge);
    EXPECT_TRUE(unknown.szTypeName.isEmpty());

    SHFILEINFO iconOnly, typeOnly;
    SHGetFileInfoA(Probe(QStringLiteral("txt")), 0, iconOnly, SHGFI_ICON);
    EXPECT_FALSE(iconOnly.hIcon.isNull());
    EXPECT_TRUE(iconOnly.szTypeName.isEmpty());
    SHGetFileInfoA(Probe(QStringLiteral("txt")), 0, typeOnly, SHGFI_TYPENAME);
    EXPECT_TRUE(typeOnly.hIcon.isNull());
    EXPECT_EQ(typeOnly.szTypeName, lower.szTypeName);
}

TEST(ShellInfoAnswers, AFullCabinetOfProbesStaysFast) {
    const QStringList extensions{"txt", "exe", "dll", "hlp", "inf", "zzqqxx", "", "ini", "bmp", "wav"};
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 65535; ++i) {
        SHFILEINFO info;
        SHGetFileInfoA(Probe(extensions[i % extensions.size()]), 0, info, i % 2 ? kSmall : kLarge);
    }
    EXPECT_LT(timer.elapsed(), 10000);
}

// X Direct Save: the URI a drop target writes back names the folder to extract into.
struct UriCase {
    const char* name;
    QByteArray uri;     // "@" stands for a fresh existing folder
    const char* folder; // "@" likewise; empty: refused
};

void PrintTo(const UriCase& c, std::ostream* os) {
    *os << c.name;
}

class DirectSaveUri : public ::testing::TestWithParam<UriCase> {};

TEST_P(DirectSaveUri, NamesALocalExistingFolderOrNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("with blank")));
    const QByteArray base = QUrl::fromLocalFile(dir.path()).toEncoded().mid(7); // the path, encoded
    QByteArray uri = GetParam().uri;
    uri.replace("@", base);
    uri.replace("%HOST%", QSysInfo::machineHostName().toUtf8());
    const QString expected = QString::fromUtf8(GetParam().folder).replace(QLatin1Char('@'), dir.path());
    EXPECT_EQ(DirectSaveMimeData::FolderOfUri(uri), expected) << uri.constData();

    // Asked for its data during the drop, the offer promises ("S") or refuses ("E").
    DirectSaveMimeData offer(QStringLiteral("a.txt"));
    EXPECT_EQ(offer.formats(), QStringList({"XdndDirectSave0"}));
    offer.SetUriReader([uri] { return uri; });
    EXPECT_EQ(offer.data(QStringLiteral("XdndDirectSave0")),
              expected.isEmpty() ? QByteArray("E") : QByteArray("S"));
    EXPECT_EQ(offer.TargetFolder(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Uris, DirectSaveUri,
    ::testing::Values(
        UriCase{"LocalFile", "file://@/a.txt", "@"}, UriCase{"Localhost", "file://localhost@/a.txt", "@"},
        UriCase{"ThisHost", "file://%HOST%@/a.txt", "@"},
        UriCase{"EncodedBlank", "file://@/with%20blank/a.txt", "@/with blank"},
        UriCase{"BlankLeftUnencoded", "file://@/with blank/a.txt", "@/with blank"},
        UriCase{"TrailingLineFeed", "file://@/a.txt\r\n", "@"}, UriCase{"RootFolder", "file:///a.txt", "/"},
        UriCase{"AnotherHost", "file://elsewhere.invalid@/a.txt", ""},
        UriCase{"NotAFile", "sftp://@/a.txt", ""}, UriCase{"FolderMissing", "file://@/missing/a.txt", ""},
        UriCase{"Relative", "a.txt", ""}, UriCase{"Empty", "", ""}),
    morbek::test::CaseName());

} // namespace

// Helper process of the platform tests: the stand-ins that read the environment once per
// process (temporary folder, system locale, collation) are probed in a fresh process
// started with the environment under test.
//   platform_probe temp                 path, then "dir <0|1> mode <octal>"
//   platform_probe stdfd                closes 0 and 2, then "ok" when they are reopened
//   platform_probe regional             short date, long time and language id, one a line
//   platform_probe sort WORD...         the words sorted with CompareLocale, one a line
#include "platform/files/Files.h"
#include "platform/files/TempPath.h"
#include "platform/locale/Regional.h"

#include <QDate>
#include <QFile>
#include <QStringList>
#include <QTime>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace morbek::platform;

namespace {

void Print(const QString& line) {
    std::printf("%s\n", line.toUtf8().constData());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const char* mode = argv[1];
    if (std::strcmp(mode, "temp") == 0) {
        const QString path = GetTempPathA();
        struct stat st {};
        const bool found = ::lstat(QFile::encodeName(path).constData(), &st) == 0;
        Print(path);
        Print(QStringLiteral("dir %1 mode %2")
                  .arg(found && S_ISDIR(st.st_mode) ? 1 : 0)
                  .arg(found ? st.st_mode & 07777 : 0, 0, 8));
        return 0;
    }
    if (std::strcmp(mode, "stdfd") == 0) {
        ::close(0);
        ::close(2);
        EnsureStandardDescriptors();
        const bool open = ::fcntl(0, F_GETFD) != -1 && ::fcntl(2, F_GETFD) != -1;
        const int next = ::open("/dev/null", O_RDONLY); // must not land on 0 to 2
        Print(open && next > 2 ? QStringLiteral("ok") : QStringLiteral("bad"));
        return 0;
    }
    if (std::strcmp(mode, "regional") == 0) {
        Print(ShortDate(QDate(1997, 3, 12)));
        Print(LongTime(QTime(14, 5, 6)));
        Print(QString::number(GetUserDefaultLangID(), 16));
        return 0;
    }
    if (std::strcmp(mode, "sort") == 0) {
        QStringList words;
        for (int i = 2; i < argc; ++i)
            words << QString::fromUtf8(argv[i]);
        std::sort(words.begin(), words.end(),
                  [](const QString& a, const QString& b) { return CompareLocale(a, b) < 0; });
        for (const QString& w : words)
            Print(w);
        return 0;
    }
    return 2;
}

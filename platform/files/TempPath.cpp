#include "platform/files/TempPath.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek::platform {

namespace {

// The run's own fallback folder, removed at exit. A plain array: it must outlive every
// static object, since the exit handler runs among their destructors.
char g_runFolder[4096];

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    ::remove(path);
    return 0;
}

void RemoveRunFolder() {
    if (g_runFolder[0] != '\0')
        ::nftw(g_runFolder, RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

QByteArray BaseFolder() {
    QByteArray base = qgetenv("TMPDIR");
    if (!base.startsWith('/'))
        base = "/tmp";
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    return base;
}

// The folder must be a real folder (lstat: a link fails), owned by us, usable by us and
// closed to group and others. A folder that is ours but open to others is not tightened: others
// may already have put files into it.
bool IsPrivateFolder(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 0777) == 0700;
}

QString Compute() {
    const QByteArray base = BaseFolder();
    const QByteArray prefix =
        (base == "/" ? QByteArray() : base) + "/morbek-" + QByteArray::number(::getuid());

    if (::mkdir(prefix.constData(), 0700) == 0)
        ::chmod(prefix.constData(), 0700); // a umask may have taken owner bits
    if (IsPrivateFolder(prefix))
        return QFile::decodeName(prefix) + QLatin1Char('/');

    // Never use the path that failed the check: a fresh folder for this run instead.
    QByteArray pattern = prefix + "-XXXXXX";
    if (static_cast<size_t>(pattern.size()) < sizeof g_runFolder && ::mkdtemp(pattern.data()) != nullptr) {
        std::memcpy(g_runFolder, pattern.constData(), static_cast<size_t>(pattern.size()) + 1);
        std::atexit(RemoveRunFolder);
        return QFile::decodeName(pattern) + QLatin1Char('/');
    }
    // Nothing could be made (the base folder is unwritable or full): hand out the base,
    // where the program's own creates will fail just as they would in a private folder.
    return QFile::decodeName(base == "/" ? QByteArray("/") : base + '/');
}

} // namespace

QString GetTempPathA() {
    static const QString path = Compute();
    return path;
}

} // namespace morbek::platform

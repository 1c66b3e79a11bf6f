#include "platform/registry/AtomicFile.h"

#include "platform/files/Files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morbek::platform::registry {

namespace {

void SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString WriteTarget(const QString& path) {
    const QFileInfo info(path);
    if (!info.isSymLink())
        return path;
    const QString canonical = info.canonicalFilePath();
    // A dangling link: the file is created where the link points.
    return canonical.isEmpty() ? info.symLinkTarget() : canonical;
}

bool MakeFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (info.isDir())
        return true;
    const QString parent = info.absolutePath();
    if (!QFileInfo(parent).isDir() && !QDir().mkpath(parent))
        return false;
    return ::mkdir(QFile::encodeName(folder).constData(), 0700) == 0 || errno == EEXIST;
}

bool WriteFileAtomically(const QString& target, const QByteArray& data,
                         const std::function<bool(int)>& progress) {
    auto ask = [&progress](int point) { return !progress || progress(point); };
    if (!ask(0))
        return false;
    QByteArray temp = QFile::encodeName(target) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    const mode_t mode = ::stat(QFile::encodeName(target).constData(), &st) == 0 ? (st.st_mode & 07777) : 0600;
    const qsizetype half = data.size() / 2;
    bool ok = ::fchmod(fd, mode) == 0 &&
              platform::WriteAll(fd, data.constData(), static_cast<size_t>(half)) && ask(1) &&
              platform::WriteAll(fd, data.constData() + half, static_cast<size_t>(data.size() - half)) &&
              ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ask(2) && ::rename(temp.constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    SyncFolder(QFileInfo(target).absolutePath());
    return true;
}

bool ReadWholeFile(const QString& path, qsizetype limit, QByteArray* data, bool* absent) {
    *absent = false;
    data->clear();
    // Non-blocking: a FIFO put in the file's place must not hang the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *absent = errno == ENOENT || errno == ENOTDIR;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        data->append(buffer, n);
        if (data->size() > limit)
            break; // the caller sees more than it accepts
    }
    ::close(fd);
    return ok;
}

} // namespace morbek::platform::registry

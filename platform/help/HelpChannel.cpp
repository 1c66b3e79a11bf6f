#include "platform/help/HelpChannel.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QList>
#include <QStandardPaths>

namespace morbek::platform::help {

namespace {

QString BaseName(const QString& helpFile) {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty())
        runtime = QDir::tempPath();
    QDir().mkpath(runtime);
    // The same file reached by two spellings must find the same viewer.
    const QByteArray key = QFileInfo(helpFile).absoluteFilePath().toUtf8();
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16);
    return runtime + QStringLiteral("/morbek-help-") + QString::fromLatin1(hash);
}

} // namespace

QString ServerName(const QString& helpFile) {
    return BaseName(helpFile) + QStringLiteral(".sock");
}
QString StartLockName(const QString& helpFile) {
    return BaseName(helpFile) + QStringLiteral(".lock");
}

QByteArray EncodeRequest(uint32_t command, uint32_t data) {
    return QByteArray::number(command) + ' ' + QByteArray::number(data) + '\n';
}

bool DecodeRequest(const QByteArray& line, uint32_t* command, uint32_t* data) {
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 2)
        return false;
    bool okCommand = false;
    bool okData = false;
    *command = parts[0].toUInt(&okCommand);
    *data = parts[1].toUInt(&okData);
    return okCommand && okData;
}

} // namespace morbek::platform::help

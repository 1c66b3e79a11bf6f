#include "app/RegistryAccess.h"

#include "components/Framework.h"

#include <cstring>

namespace morbek::reg {

namespace registry = platform::registry;

namespace {

// Damage found by an operation is reported as soon as the store has answered, before
// anything the operation itself raises.
std::optional<registry::Value> Query(RootKey root, const QString& key, const QString& name) {
    std::optional<registry::Value> v = registry::QueryValue(root, key, name);
    ReportDamagedFiles();
    return v;
}

void Raise(registry::WriteStatus status, const QString& key, const QString& name) {
    switch (status) {
    case registry::WriteStatus::Ok:
        return;
    case registry::WriteStatus::CreateKeyFailed:
        throw framework::Error(CreateKeyFailedText(key));
    case registry::WriteStatus::SetValueFailed:
        throw framework::Error(SetDataFailedText(name));
    case registry::WriteStatus::DeleteKeyFailed:
        throw framework::Error(DeleteKeyFailedText(key));
    }
}

void Write(RootKey root, const QString& key, const QString& name, const registry::Value& value) {
    const registry::WriteStatus status = registry::SetValue(root, key, name, value);
    ReportDamagedFiles();
    Raise(status, key, name);
}

} // namespace

QString InvalidTypeText(const QString& name) {
    return QStringLiteral("Type de données incorrect pour '%1'").arg(name);
}
QString GetDataFailedText(const QString& name) {
    return QStringLiteral("Erreur à l'obtention des données pour '%1'").arg(name);
}
QString CreateKeyFailedText(const QString& key) {
    return QStringLiteral("Erreur de création de la clé %1").arg(key);
}
QString SetDataFailedText(const QString& name) {
    return QStringLiteral("Erreur à définition des données pour '%1'").arg(name);
}
QString DeleteKeyFailedText(const QString& key) {
    return QStringLiteral("Erreur de suppression de la clé %1").arg(key);
}

int32_t ReadInteger(RootKey root, const QString& key, const QString& name, int32_t def) {
    const std::optional<registry::Value> v = Query(root, key, name);
    if (!v)
        return def;
    // As the platform answers a 4-byte read: too big first, then the wrong type.
    if (v->dataSize() > 4)
        throw framework::Error(GetDataFailedText(name));
    if (v->type != registry::REG_DWORD)
        throw framework::Error(InvalidTypeText(name));
    uint32_t n = 0;
    for (qsizetype i = v->data.size() - 1; i >= 0; --i)
        n = (n << 8) | static_cast<uint8_t>(v->data[i]);
    return static_cast<int32_t>(n);
}

int ReadBinary(RootKey root, const QString& key, const QString& name, uint8_t* buffer, int size) {
    const std::optional<registry::Value> v = Query(root, key, name);
    if (!v)
        return 0;
    if (v->type != registry::REG_BINARY || v->data.size() > size)
        throw framework::Error(InvalidTypeText(name));
    std::memcpy(buffer, v->data.constData(), static_cast<size_t>(v->data.size()));
    return static_cast<int>(v->data.size());
}

QString ReadText(RootKey root, const QString& key, const QString& name) {
    const std::optional<registry::Value> v = Query(root, key, name);
    if (!v)
        return {};
    if (v->type != registry::REG_SZ && v->type != registry::REG_EXPAND_SZ)
        throw framework::Error(InvalidTypeText(name));
    return v->text();
}

void WriteInteger(RootKey root, const QString& key, const QString& name, int32_t value) {
    Write(root, key, name, registry::Value::Dword(static_cast<uint32_t>(value)));
}

void WriteText(RootKey root, const QString& key, const QString& name, const QString& value) {
    Write(root, key, name, registry::Value::Text(value));
}

void WriteBinary(RootKey root, const QString& key, const QString& name, const QByteArray& value) {
    Write(root, key, name, registry::Value::Binary(value));
}

void DeleteKey(RootKey root, const QString& key) {
    const registry::WriteStatus status = registry::DeleteKey(root, key);
    ReportDamagedFiles();
    Raise(status, key, {});
}

QString DamagedFileText(const registry::DamageNotice& notice) {
    if (notice.keptAs.isEmpty())
        return QStringLiteral("Le fichier de registre %1 est endommagé et n'a pas pu être mis de côté ; "
                              "il n'est ni lu ni modifié.")
            .arg(notice.file);
    return QStringLiteral("Le fichier de registre %1 est endommagé (ligne %2) ; il a été mis de côté sous %3 "
                          "et les valeurs par défaut sont utilisées.")
        .arg(notice.file)
        .arg(notice.error.line)
        .arg(notice.keptAs);
}

void ReportDamagedFiles() {
    for (const registry::DamageNotice& notice : registry::TakeDamageNotices())
        framework::ShowErrorBox(DamagedFileText(notice));
}

} // namespace morbek::reg

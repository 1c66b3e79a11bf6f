#pragma once
// The registry operations of the settings and the association, as the framework's
// registry class offers them: each opens its key, acts and closes it again, and a
// failure raises a framework error with the framework's (French) text, so that the
// standard error box shows it and the handler stops there.
#include "platform/registry/Registry.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace morbek::reg {

using platform::registry::RootKey;
inline constexpr RootKey HKEY_CURRENT_USER = RootKey::CurrentUser;
inline constexpr RootKey HKEY_CLASSES_ROOT = RootKey::ClassesRoot;

// The framework's registry error texts; %s stands for the key or value name.
QString InvalidTypeText(const QString& name);    // "Type de données incorrect pour '%s'"
QString GetDataFailedText(const QString& name);  // "Erreur à l'obtention des données pour '%s'"
QString CreateKeyFailedText(const QString& key); // "Erreur de création de la clé %s"
QString SetDataFailedText(const QString& name);  // "Erreur à définition des données pour '%s'"
QString DeleteKeyFailedText(const QString& key); // "Erreur de suppression de la clé %s"

// The default when the key or the value is absent. Data that does not fit 4 bytes, or
// that is not an integer, raises.
int32_t ReadInteger(RootKey root, const QString& key, const QString& name, int32_t def);
// The number of bytes read into buffer; 0 when the key or value is absent. Data that is
// not binary or does not fit the buffer raises.
int ReadBinary(RootKey root, const QString& key, const QString& name, uint8_t* buffer, int size);
// The empty text when the key or the value is absent; data that is not a text raises.
QString ReadText(RootKey root, const QString& key, const QString& name);

// Each creates the key (and any missing key on its path) first.
void WriteInteger(RootKey root, const QString& key, const QString& name, int32_t value);
void WriteText(RootKey root, const QString& key, const QString& name, const QString& value);
void WriteBinary(RootKey root, const QString& key, const QString& name, const QByteArray& value);
// Deletes the key with everything below it.
void DeleteKey(RootKey root, const QString& key);

// Shows, in the standard error box, each store file found damaged since the last call
// (and where it was put aside). Done by every operation above; nothing is raised, so
// the work goes on with the settings' defaults.
void ReportDamagedFiles();
QString DamagedFileText(const platform::registry::DamageNotice& notice);

} // namespace morbek::reg

// The Association and Remove association commands: the program as the desktop's
// handler for cabinet files.
#include "app/Association.h"

#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/RegistryAccess.h"
#include "app/Settings.h"
#include "components/Framework.h"
#include "components/MsgDialog.h"
#include "platform/registry/DesktopBridge.h"
#include "resources/MessageIds.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>

namespace morbek {

namespace {

const QString kExtension = QStringLiteral(".cab");
const QString kOldCab = QStringLiteral(".cab\\OldCab");
const QString kClass = QStringLiteral("cabfile");

} // namespace

void InstallShellBridge() {
    namespace registry = platform::registry;
    if (std::dynamic_pointer_cast<registry::DesktopBridge>(registry::CurrentClassesBridge()))
        return;
    registry::DesktopBridgeConfig config;
    config.extension = kExtension;
    config.className = kClass;
    config.mimeType = QString::fromLatin1(kCabinetMimeType);
    config.desktopId = QString::fromLatin1(kAssociationDesktopId);
    config.appName =
        framework::ApplicationTitle().isEmpty() ? QStringLiteral("Morbek") : framework::ApplicationTitle();
    // The installer puts the program's icon into the theme under this name.
    config.iconName = QStringLiteral("morbek32");
    QFile icon(QStringLiteral(":/icons/morbek32.png"));
    if (icon.open(QIODevice::ReadOnly))
        config.iconPng = icon.readAll();
    registry::SetClassesBridge(std::make_shared<registry::DesktopBridge>(std::move(config)));
}

QString ClassTypeName(const QString& extension) {
    namespace registry = platform::registry;
    const auto text = [](const std::optional<registry::Value>& v) {
        return v && (v->type == registry::REG_SZ || v->type == registry::REG_EXPAND_SZ) ? v->text()
                                                                                        : QString();
    };
    const QString className =
        text(registry::QueryValue(registry::RootKey::ClassesRoot, extension, QString()));
    if (className.isEmpty() || className.contains(QLatin1Char('\\')))
        return {};
    return text(registry::QueryValue(registry::RootKey::ClassesRoot, className, QString()));
}

void TDezerOvu::Install1Click(QObject*) {
    using namespace reg;
    InstallShellBridge();
    int32_t flag = 0;
    if (MsgDialog(MsgText(msg::ProgramName), MsgText(msg::AskAssociate), TMsgDlgType::Warning, mbYes | mbNo,
                  0) == mrYes) {
        const QString previous = ReadText(HKEY_CLASSES_ROOT, kExtension, QString());
        if (!previous.isEmpty() && previous.compare(kClass, Qt::CaseInsensitive) != 0)
            WriteText(HKEY_CLASSES_ROOT, kOldCab, QString(), previous);
        WriteText(HKEY_CLASSES_ROOT, kExtension, QString(), kClass);
        WriteText(HKEY_CLASSES_ROOT, kClass, QString(), MsgText(msg::CabinetTypeName));
        WriteBinary(HKEY_CLASSES_ROOT, kClass, QStringLiteral("EditFlags"), QByteArray(4, '\0'));
        const QString program = ExeName.isEmpty() ? QCoreApplication::applicationFilePath() : ExeName;
        WriteText(HKEY_CLASSES_ROOT, kClass + QStringLiteral("\\DefaultIcon"), QString(),
                  program + QStringLiteral(",0"));
        WriteText(HKEY_CLASSES_ROOT, kClass + QStringLiteral("\\Shell\\Open\\command"), QString(),
                  QLatin1Char('"') + program + QStringLiteral("\" %1"));
        flag = 1;
        Install1->setEnabled(false);
        Uninstall1->setEnabled(true);
    }
    // A refusal is stored too, so that the first-start question is not asked again.
    WriteInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Install"), flag);
}

namespace {

// The classes root as it was before the Association command: the previous class of
// ".cab" (the previous default application) comes back, our class and its entry go.
void GiveBackCabinets() {
    using namespace reg;
    const QString previous = ReadText(HKEY_CLASSES_ROOT, kOldCab, QString());
    if (!previous.isEmpty()) {
        if (previous.compare(kClass, Qt::CaseInsensitive) != 0)
            WriteText(HKEY_CLASSES_ROOT, kExtension, QString(), previous);
        reg::DeleteKey(HKEY_CLASSES_ROOT, kOldCab);
    } else {
        reg::DeleteKey(HKEY_CLASSES_ROOT, kExtension);
    }
    reg::DeleteKey(HKEY_CLASSES_ROOT, kClass);
}

} // namespace

bool RemoveAssociationQuietly() {
    namespace registry = platform::registry;
    InstallShellBridge();
    try {
        // A classes root the Association command never changed is left as it is.
        const bool made = registry::KeyExists(registry::RootKey::ClassesRoot, kClass) ||
                          registry::KeyExists(registry::RootKey::ClassesRoot, kOldCab) ||
                          reg::ReadText(reg::HKEY_CLASSES_ROOT, kExtension, QString())
                                  .compare(kClass, Qt::CaseInsensitive) == 0;
        if (made)
            GiveBackCabinets();
        return true;
    } catch (...) {
        return false;
    }
}

void TDezerOvu::Uninstall1Click(QObject*) {
    using namespace reg;
    InstallShellBridge();
    if (MsgDialog(MsgText(msg::ProgramName), MsgText(msg::AskRemoveAssociation), TMsgDlgType::Warning,
                  mbYes | mbNo, 0) != mrYes)
        return;
    GiveBackCabinets();
    WriteInteger(HKEY_CURRENT_USER, kSettingsKey, QStringLiteral("Install"), 0);
    Install1->setEnabled(true);
    Uninstall1->setEnabled(false);
}

} // namespace morbek

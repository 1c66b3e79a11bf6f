// infinstall SECTION FILE.inf: carries out one install section of an installation
// description file for the current user (the shell's "Install" action runs
// "infinstall DefaultInstall <file>"; the installed copy of the file undoes it with
// DefaultUninstall). Success shows nothing; a refusal or failure shows one box.
// Exit code: 0 done, 1 refused or failed, 2 wrong use.
#include "setup/InfInstall.h"
#include "setup/InfFile.h"
#include "setup/InstallBox.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

int Refuse(const QString& reason, const morbek::setup::InfFile* inf) {
    // The caption names the product when the file says which it is.
    const QString product = inf ? inf->String(QStringLiteral("AppName")) : QString();
    const QString caption =
        product.isEmpty() ? QStringLiteral("Installation") : product + QStringLiteral(" Installation");
    morbek::setup::ShowInstallMessage(QStringLiteral("Installation Error\n") + reason, caption);
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    using namespace morbek::setup;
    if (argc != 3) {
        std::fprintf(stderr, "usage: infinstall SECTION FILE.inf\n");
        return 2;
    }
    const QString section = QString::fromLocal8Bit(argv[1]);
    const QFileInfo infInfo(QFile::decodeName(argv[2]));

    QFile file(infInfo.absoluteFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return Refuse(QStringLiteral("%1 cannot be read").arg(infInfo.fileName()), nullptr);
    const QByteArray text = file.read(InfFile::kMaxSize + 1);
    QString error;
    const auto inf = InfFile::Parse(text, &error);
    if (!inf)
        return Refuse(infInfo.fileName() + QStringLiteral(": ") + error, nullptr);

    const auto folders = UserFoldersFromEnvironment();
    if (!folders)
        return Refuse(QStringLiteral("the user's home folder is unknown"), &*inf);
    const auto plan = PlanSection(*inf, section, infInfo.absolutePath(), *folders, &error);
    if (!plan)
        return Refuse(error, &*inf);
    for (const QString& skipped : plan->skipped)
        std::fprintf(stderr, "infinstall: %s is not in the package; skipped\n",
                     skipped.toLocal8Bit().constData());
    if (!CarryOut(*plan, &error))
        return Refuse(error, &*inf);
    return 0;
}

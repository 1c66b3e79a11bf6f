// MorbekHelp: the help viewer of Morbek32.
//   MorbekHelp <help file> [<command> <data>]
// with the WinHelp command numbers (1 a topic by context, 11 the contents, 2 quit).
#include "platform/help/HelpViewer.h"
#include "platform/help/WinHelp.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setWindowIcon(
        QIcon::fromTheme(QStringLiteral("help-browser"), QIcon::fromTheme(QStringLiteral("help-contents"))));
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        qWarning("usage: MorbekHelp <help file> [<command> <data>]");
        return 2;
    }
    uint32_t command = morbek::platform::HELP_FINDER;
    uint32_t data = 0;
    if (args.size() >= 3) {
        bool okCommand = false;
        bool okData = false;
        command = args[1].toUInt(&okCommand);
        data = args[2].toUInt(&okData);
        if (!okCommand || !okData) {
            qWarning("MorbekHelp: command and data must be numbers");
            return 2;
        }
    }
    return morbek::platform::help::RunViewer(args[0], command, data);
}

#include "app/TestHooks.h"

#include "app/FileListModel.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Busy.h"
#include "components/DialogPat.h"
#include "components/OnlyOne.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace morbek {

namespace {

void Report(const QString& line) {
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString NameOf(const QObject* object) {
    return object && !object->objectName().isEmpty() ? object->objectName() : QStringLiteral("-");
}

QString RectText(const QRect& r) {
    return QStringLiteral("%1 %2 %3 %4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The shown widget of that name (several dialogs may hold hidden ones of the same name).
QWidget* ShownWidget(const QString& name) {
    const QWidgetList all = QApplication::allWidgets();
    for (QWidget* w : all)
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

QString StateText(Qt::WindowStates state) {
    if (state & Qt::WindowMinimized)
        return QStringLiteral("minimised");
    if (state & Qt::WindowMaximized)
        return QStringLiteral("maximised");
    return QStringLiteral("normal");
}

class Hooks : public QObject {
public:
    explicit Hooks(TDezerOvu& window) : QObject(&window), window_(window) {
        qApp->installEventFilter(this);
        connect(window.OnlyOne1, &TOnlyOne::HandedOver, this, [](bool restored) {
            Report(restored ? QStringLiteral("handover restored") : QStringLiteral("handover raised"));
        });
        stdin_ = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
        connect(stdin_, &QSocketNotifier::activated, this, [this] { ReadCommands(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Show && watched != &window_) {
            if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isModal())
                Report(QStringLiteral("dialog ") + dialog->windowTitle());
        }
        if (watched == &window_) {
            if (e->type() == QEvent::Show)
                Report(QStringLiteral("shown"));
            else if (e->type() == QEvent::WindowStateChange)
                Report(QStringLiteral("state ") + StateText(window_.windowState()));
        }
        return false;
    }

private:
    void ReadCommands() {
        char chunk[512];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0) {
            stdin_->setEnabled(false); // end of the script
            return;
        }
        pending_.append(chunk, static_cast<int>(n));
        int eol;
        while ((eol = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(eol).trimmed();
            pending_.remove(0, eol + 1);
            stdin_->setEnabled(false); // a command that pumps events must not read the next one
            Run(QString::fromUtf8(line));
            stdin_->setEnabled(true);
        }
    }

    void Run(const QString& command) {
        if (command == QLatin1String("minimise")) {
            window_.showMinimized();
        } else if (command == QLatin1String("state")) {
            Report(QStringLiteral("state ") + StateText(window_.windowState()));
        } else if (command.startsWith(QLatin1String("busy "))) {
            busy::Scope scope;
            Report(QStringLiteral("busy-begin"));
            QElapsedTimer elapsed;
            elapsed.start();
            const int ms = command.mid(5).toInt();
            while (elapsed.elapsed() < ms) {
                busy::PumpBusy();
                QThread::msleep(5);
            }
            Report(QStringLiteral("busy-end"));
        } else if (command.startsWith(QLatin1String("pat "))) {
            // The progress dialog as an extraction shows it, held long enough for the
            // test to look at its frame.
            TDialogPat* pat = Windows().DialogPat;
            if (!pat)
                return;
            pat->Begin(QStringLiteral("file e2e.cab"), QStringLiteral("Extracting file a.txt"));
            Report(QStringLiteral("pat-shown %1").arg(pat->winId()));
            QElapsedTimer elapsed;
            elapsed.start();
            const int ms = command.mid(4).toInt();
            while (elapsed.elapsed() < ms) {
                pat->SetProgress(static_cast<int>(elapsed.elapsed() * 100 / std::max(ms, 1)));
                QThread::msleep(5);
            }
            pat->Finish();
            Report(QStringLiteral("pat-end"));
        } else if (command == QLatin1String("list")) {
            const FileListModel* model = window_.ListFic->model();
            for (const ListItem& item : model->items())
                Report(QStringLiteral("row ") + item.caption);
            Report(QStringLiteral("rows ") + QString::number(model->rowCount()));
        } else if (command.startsWith(QLatin1String("env "))) {
            const QByteArray name = command.mid(4).toUtf8();
            Report(QStringLiteral("env ") + command.mid(4) + QLatin1Char('=') +
                   qEnvironmentVariable(name.constData()));
        } else if (command == QLatin1String("caption")) {
            Report(QStringLiteral("caption ") + window_.windowTitle());
        } else if (command == QLatin1String("status")) {
            Report(QStringLiteral("status ") + window_.StatPanel0->text() + QLatin1Char('\t') +
                   window_.StatPanel1->text());
        } else if (command == QLatin1String("view")) {
            Report(QStringLiteral("view %1 %2 %3")
                       .arg(window_.DisplayMode)
                       .arg(window_.ListFic->viewStyle())
                       .arg(window_.SortOrder));
        } else if (command == QLatin1String("focus")) {
            Report(QStringLiteral("focus ") + NameOf(QApplication::focusWidget()));
        } else if (command == QLatin1String("popup")) {
            Report(QStringLiteral("popup ") + NameOf(QApplication::activePopupWidget()));
        } else if (command.startsWith(QLatin1String("where "))) {
            const QString name = command.mid(6);
            const QWidget* w = ShownWidget(name);
            Report(QStringLiteral("where ") + name + QLatin1Char(' ') +
                   (w ? RectText(QRect(w->mapToGlobal(QPoint(0, 0)), w->size())) : QStringLiteral("-")));
        } else if (command.startsWith(QLatin1String("item "))) {
            const int row = command.mid(5).toInt();
            const QAbstractItemView* view = window_.ListFic->currentView();
            const QModelIndex index = view->model()->index(row, 0);
            QString where = QStringLiteral("-");
            if (index.isValid()) {
                const QRect r = view->visualRect(index).intersected(view->viewport()->rect());
                if (!r.isEmpty())
                    where = RectText(QRect(view->viewport()->mapToGlobal(r.topLeft()), r.size()));
            }
            Report(QStringLiteral("item %1 ").arg(row) + where);
        } else if (command == QLatin1String("captions")) {
            // For each row of the icon view shown: its rect and the room its whole caption
            // needs, with the program's own font ("-" for rows scrolled out of sight).
            const QListView* view = window_.ListFic->iconView();
            const FileListModel* model = window_.ListFic->model();
            const QFontMetricsF fm(view->font());
            for (int row = 0; row < model->rowCount(); ++row) {
                const QRect r = view->visualRect(model->index(row, 0));
                const QString& caption = model->item(row).caption;
                int needW = 0, needH = 0;
                if (window_.ListFic->viewStyle() == TListFic::vsIcon) {
                    const QStringList lines = WrapCaption(caption, view->font(), r.width() - 8);
                    for (const QString& line : lines)
                        needW = std::max(needW,
                                         static_cast<int>(std::ceil(fm.horizontalAdvance(line.trimmed()))));
                    needW += 8;
                    needH = 32 + static_cast<int>(lines.size()) * QFontMetrics(view->font()).lineSpacing();
                    if (lines.join(QString()) != caption)
                        needW = 1 << 20;
                } else {
                    needW = 16 + static_cast<int>(std::ceil(fm.horizontalAdvance(caption))) + 8;
                    needH = QFontMetrics(view->font()).height();
                }
                Report(QStringLiteral("room %1 ").arg(row) + RectText(r) +
                       QStringLiteral(" %1 %2 ").arg(needW).arg(needH) + caption);
            }
            Report(QStringLiteral("rooms %1").arg(model->rowCount()));
        } else if (command.startsWith(QLatin1String("text "))) {
            const QString name = command.mid(5);
            const QWidget* w = ShownWidget(name);
            QString text;
            if (const auto* label = qobject_cast<const QLabel*>(w))
                text = label->text();
            else if (const auto* line = qobject_cast<const QLineEdit*>(w))
                text = line->text();
            else if (const auto* button = qobject_cast<const QAbstractButton*>(w))
                text = button->text();
            Report(QStringLiteral("text ") + name + QLatin1Char(' ') + text);
        } else if (command == QLatin1String("quit")) {
            window_.close();
        }
    }

    TDezerOvu& window_;
    QSocketNotifier* stdin_ = nullptr;
    QByteArray pending_;
};

} // namespace

void InstallTestHooks(TDezerOvu& window) {
    if (qEnvironmentVariableIsEmpty("MORBEK_TEST_HOOKS"))
        return;
    new Hooks(window);
}

} // namespace morbek

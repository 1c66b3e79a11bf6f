#pragma once
// A main window as the program builds it, first activation done, with helpers to open
// files and answer the dialogs that a command shows.
#include "app/ExtractionUi.h"
#include "app/FileListModel.h"
#include "app/Lang.h"
#include "app/MainWindow.h"
#include "app/Windows.h"
#include "components/Framework.h"
#include "components/ModalSeam.h"
#include "extract/Binding.h"
#include "tests/support/XdgSandbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace morbek::testing {

// What a message dialog showed, captured through the modal seam.
struct ShownMessage {
    QString title;
    QString text;
    QStringList buttons;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::SetApplicationTitle(QStringLiteral("Zuvedaz ud Izedori"));
        modal::ClearAnswers();
        ASSERT_TRUE(dir.isValid());
        // Settings of a program that has been started before: the first-start
        // association question is not asked.
        xdg.seedSettings(0);
        window = std::make_unique<TDezerOvu>();
        // The program's other windows and the driver's dialogs, as main() sets them up.
        Windows().DezerOvu = window.get();
        dialogPat = new TDialogPat(window.get());
        Windows().DialogPat = dialogPat;
        Windows().AboutBox = new TAboutBox(window.get());
        Windows().LangDlg = new TLangDlg(window.get());
        InstallExtractionUi();
        SetProgressSink([this](int percent) { dialogPat->SetProgress(percent); });
        window->CommandLine = commandLine;
        window->show();
        QCoreApplication::processEvents();
        ASSERT_EQ(window->Tag, 1);
    }
    void TearDown() override {
        EXPECT_EQ(modal::PendingAnswers(), 0) << "a dialog that a test expected never came";
        modal::ClearAnswers();
        SetProgressSink({});
        SetExtractionUi(nullptr);
        Windows() = {};
        window.reset();
    }

    QString WriteFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    void Open(const QString& path) {
        window->PendingFileName = path;
        window->Ouvre1Click(window->Ouvre1);
    }

    // Answers the next message dialog with its OK button and records what it showed.
    void ExpectMessage(ShownMessage* shown) {
        modal::AnswerNext([shown](QDialog& d) {
            shown->title = d.windowTitle();
            shown->text = d.property("messageText").toString();
            for (QAbstractButton* b : d.findChildren<QAbstractButton*>())
                shown->buttons << b->objectName();
            if (auto* ok = d.findChild<QAbstractButton*>(QStringLiteral("OK")))
                ok->click();
        });
    }

    QStringList Column(int column) const {
        QStringList values;
        const FileListModel* m = window->ListFic->model();
        for (int r = 0; r < m->rowCount(); ++r)
            values << m->data(m->index(r, column), Qt::DisplayRole).toString();
        return values;
    }

    QStringList commandLine;
    test::XdgSandbox xdg{test::XdgSandbox::SystemFolders::Kept}; // private settings store
    QTemporaryDir dir;
    std::unique_ptr<TDezerOvu> window;
    TDialogPat* dialogPat = nullptr;
};

} // namespace morbek::testing

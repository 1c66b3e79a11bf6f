#include "components/DialogPat.h"
#include "tests/support/QtPrinters.h"

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

using namespace morbek;

namespace {

int Scaled(const QWidget& w, int value) {
    return qRound(value * w.logicalDpiY() / 96.0);
}

QRect ScaledRect(const QWidget& w, int x, int y, int width, int height) {
    return QRect(Scaled(w, x), Scaled(w, y), Scaled(w, width), Scaled(w, height));
}

TEST(DialogPat, LayoutAtDesignTime) {
    TDialogPat d;
    EXPECT_EQ(d.objectName(), QStringLiteral("DialogPat"));
    EXPECT_EQ(d.windowTitle(), QStringLiteral("DialogPat"));
    EXPECT_FALSE(d.isVisible());
    EXPECT_FALSE(d.isModal());
    EXPECT_EQ(d.size(), QSize(Scaled(d, 427), Scaled(d, 86)));
    EXPECT_EQ(d.minimumSize(), d.maximumSize()); // fixed border

    ASSERT_NE(d.findChild<QLabel*>(QStringLiteral("LPat")), nullptr);
    EXPECT_EQ(d.LPat->geometry(), ScaledRect(d, 3, 14, 425, 13));
    EXPECT_EQ(d.LPat->minimumSize(), d.LPat->maximumSize()); // does not grow with its text
    EXPECT_TRUE(d.LPat->text().isEmpty());

    ASSERT_NE(d.findChild<QProgressBar*>(QStringLiteral("PBPat")), nullptr);
    EXPECT_EQ(d.PBPat->geometry(), ScaledRect(d, 50, 49, 333, 16));
    EXPECT_EQ(d.PBPat->minimum(), 0);
    EXPECT_EQ(d.PBPat->maximum(), 100);
    EXPECT_EQ(d.PBPat->value(), 0);
    EXPECT_FALSE(d.PBPat->isTextVisible());
}

TEST(DialogPat, TitleBarAsksForNoButtons) {
    TDialogPat d;
    const Qt::WindowFlags flags = d.windowFlags();
    EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    for (Qt::WindowType hint :
         {Qt::WindowSystemMenuHint, Qt::WindowCloseButtonHint, Qt::WindowMinimizeButtonHint,
          Qt::WindowMaximizeButtonHint, Qt::WindowContextHelpButtonHint})
        EXPECT_FALSE(flags & hint) << hint;
}

// The Motif hints asked for on X11, field by field, with the values the window
// managers read them by.
struct MotifField {
    const char* name;
    size_t index;
    uint32_t value;
};

class DialogPatMotifHints : public ::testing::TestWithParam<MotifField> {};

TEST_P(DialogPatMotifHints, FieldHoldsOnlyWhatATitleOnlyFrameNeeds) {
    EXPECT_EQ(TitleOnlyMotifHints().at(GetParam().index), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Fields, DialogPatMotifHints,
                         ::testing::Values(MotifField{"flags_functions_and_decorations", 0, 0x1u | 0x2u},
                                           MotifField{"functions_move_only", 1, 0x4u},
                                           MotifField{"decorations_border_and_title", 2, 0x2u | 0x8u},
                                           MotifField{"input_mode_unset", 3, 0u},
                                           MotifField{"status_unset", 4, 0u}),
                         morbek::test::CaseName());

TEST(DialogPat, UserCannotCloseOrCancelIt) {
    TDialogPat d;
    d.Begin(QStringLiteral("Fichier a.cab"), QStringLiteral("Extraction du fichier a.txt"));
    ASSERT_TRUE(d.isVisible());

    QTest::keyClick(d.windowHandle(), Qt::Key_Escape);
    EXPECT_TRUE(d.isVisible());
    d.windowHandle()->close(); // as a compositor's close request arrives
    EXPECT_TRUE(d.isVisible());
    d.close();
    EXPECT_TRUE(d.isVisible());
    d.reject();
    EXPECT_TRUE(d.isVisible());

    d.Finish();
    EXPECT_FALSE(d.isVisible());
}

TEST(DialogPat, BeginResetsTheBarSetsTheTextsAndCentresOnTheScreen) {
    QWidget owner;
    owner.setGeometry(10, 10, 200, 150);
    owner.show();
    TDialogPat d(&owner);
    d.SetProgress(57);
    d.Begin(QStringLiteral("Fichier a.cab"), QStringLiteral("Création du fichier temporaire, patientez..."));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.PBPat->value(), 0);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("Fichier a.cab"));
    EXPECT_EQ(d.LPat->text(), QStringLiteral("Création du fichier temporaire, patientez..."));

    // On the screen, not over its owner.
    const QRect area = d.screen()->availableGeometry();
    const QPoint off = d.frameGeometry().center() - area.center();
    EXPECT_LE(off.manhattanLength(), 4) << off.x() << "," << off.y();
    d.Finish();
}

TEST(DialogPat, BeginWhileVisibleChangesOnlyWhatItSets) {
    TDialogPat d;
    d.Begin(QStringLiteral("Fichier a.cab"), QStringLiteral("Extraction du fichier one"));
    d.move(20, 30);
    const QPoint where = d.pos();
    d.SetProgress(40);
    EXPECT_EQ(d.PBPat->value(), 40);

    d.Begin(QStringLiteral("Fichier a.cab"), QStringLiteral("Extraction du fichier two"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.pos(), where);
    EXPECT_EQ(d.PBPat->value(), 0);
    EXPECT_EQ(d.LPat->text(), QStringLiteral("Extraction du fichier two"));
}

TEST(DialogPat, ProgressPastTheEndsStaysAtTheEnds) {
    TDialogPat d;
    d.SetProgress(150);
    EXPECT_EQ(d.PBPat->value(), 100);
    d.SetProgress(-3);
    EXPECT_EQ(d.PBPat->value(), 0);
}

TEST(DialogPat, ShortStatusStandsCentredAcrossTheWindow) {
    TDialogPat d;
    d.Begin(QStringLiteral("t"), QStringLiteral("OK"));
    const QImage image = d.grab().toImage();
    const QRect label = d.LPat->geometry();
    const QRgb background = image.pixel(1, 1);
    int left = image.width(), right = -1;
    for (int y = label.top(); y <= label.bottom(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    ASSERT_GE(right, left) << "no text painted";
    EXPECT_LT(right - left, image.width() / 4);
    EXPECT_NEAR((left + right) / 2.0, image.width() / 2.0, Scaled(d, 3));
    d.Finish();
}

} // namespace

#include "components/Busy.h"
#include "components/animationcontrol.h"
#include "tests/support/AviWriter.h"
#include "tests/support/Files.h"
#include "tests/support/QtPrinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using morbek::TAnimationControl;
using namespace morbek::test;

namespace {

const QColor kParentColour(0x33, 0x66, 0x99);
constexpr int kClipFrames = 29;

// A 4x3 clip of two frames, so that a clip read from a file is told apart from the
// program's resource clip by its frame count.
QByteArray SmallClip() {
    AviSpec s;
    s.movi = {Chunk("00dc", Bytes({4, 1, 0, 0, 4, 2, 0, 0, 4, 3, 0, 1})), Chunk("00dc", Bytes({1, 0, 0, 1}))};
    return BuildAvi(s);
}

class AnimationControl : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        parent = std::make_unique<QWidget>();
        QPalette palette = parent->palette();
        palette.setColor(QPalette::Window, kParentColour);
        parent->setPalette(palette);
        parent->resize(300, 200);
        control = new TAnimationControl(parent.get());
        previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override {
        QDir::setCurrent(previousDir);
        parent.reset();
    }

    void WriteSmallClip(const QString& name) {
        ASSERT_TRUE(morbek::test::WriteFile(dir.filePath(name), SmallClip()));
    }

    // Polls the shown frame while the event loop runs, keeping each change.
    std::vector<int> FramesUntilStopped(int timeoutMs) {
        std::vector<int> frames{control->CurrentFrame()};
        QElapsedTimer t;
        t.start();
        while (control->IsPlaying() && t.elapsed() < timeoutMs) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (control->CurrentFrame() != frames.back())
                frames.push_back(control->CurrentFrame());
        }
        return frames;
    }

    QTemporaryDir dir;
    QString previousDir;
    std::unique_ptr<QWidget> parent;
    TAnimationControl* control = nullptr;
};

TEST_F(AnimationControl, StartsEmptyWithItsDesignDefaults) {
    EXPECT_EQ(control->size(), QSize(24, 24));
    EXPECT_TRUE(control->Center());
    EXPECT_TRUE(control->Transparent());
    EXPECT_FALSE(control->Autoplay());
    EXPECT_EQ(control->AviFileName(), QString());
    EXPECT_FALSE(control->IsOpen());
    // Without a clip nothing can be played, sought or stopped.
    EXPECT_FALSE(control->PlayForever());
    EXPECT_FALSE(control->Play(1, 0, 0));
    EXPECT_FALSE(control->Seek(0));
    EXPECT_FALSE(control->Rewind());
    EXPECT_FALSE(control->Stop());
}

// --- AviFileName ---------------------------------------------------------------------------

struct NameCase {
    const char* name;
    const char* value;
    bool resource; // opens the program's resource clip, else the small file of that name
};
void PrintTo(const NameCase& c, std::ostream* os) {
    *os << c.name;
}

class AviFileNameRule : public AnimationControl, public ::testing::WithParamInterface<NameCase> {};

TEST_P(AviFileNameRule, PlainDecimalNamesAResourceAnythingElseAFile) {
    const NameCase& c = GetParam();
    const QString value = QString::fromLatin1(c.value);
    // A file of every name tried, the plain number included: a resource id never
    // falls back to a file.
    WriteSmallClip(value);
    control->setAviFileName(value);
    EXPECT_EQ(control->AviFileName(), value);
    ASSERT_TRUE(control->IsOpen());
    EXPECT_EQ(control->FrameCount(), c.resource ? kClipFrames : 2);
    EXPECT_EQ(control->CurrentFrame(), 0);
    EXPECT_FALSE(control->IsPlaying());
}

INSTANTIATE_TEST_SUITE_P(
    Names, AviFileNameRule,
    ::testing::Values(NameCase{"plain_100", "100", true}, NameCase{"leading_zero", "0100", false},
                      NameCase{"trailing_blank", "100 ", false}, NameCase{"leading_blank", " 100", false},
                      NameCase{"plus_sign", "+100", false}, NameCase{"not_a_number", "clip.avi", false}),
    morbek::test::CaseName());

TEST_F(AnimationControl, NameThatOpensNothingLeavesTheControlEmpty) {
    control->setAviFileName(QStringLiteral("100"));
    ASSERT_TRUE(control->IsOpen());
    control->setAviFileName(QStringLiteral("missing.avi"));
    EXPECT_EQ(control->AviFileName(), QStringLiteral("missing.avi"));
    EXPECT_FALSE(control->IsOpen());

    control->setAviFileName(QStringLiteral("100"));
    control->setAviFileName(QStringLiteral("-5")); // a number: a resource the program lacks
    EXPECT_EQ(control->AviFileName(), QStringLiteral("-5"));
    EXPECT_FALSE(control->IsOpen());
}

TEST_F(AnimationControl, ZeroIsRefusedAndTheOpenClipIsRewound) {
    control->setAviFileName(QStringLiteral("100"));
    ASSERT_TRUE(control->Seek(7));
    control->setAviFileName(QStringLiteral("0"));
    EXPECT_EQ(control->AviFileName(), QStringLiteral("0"));
    EXPECT_TRUE(control->IsOpen());
    EXPECT_EQ(control->FrameCount(), kClipFrames);
    EXPECT_EQ(control->CurrentFrame(), 0);
}

TEST_F(AnimationControl, EmptyNameKeepsNameAndClip) {
    control->setAviFileName(QStringLiteral("100"));
    ASSERT_TRUE(control->Seek(7));
    control->setAviFileName(QString());
    EXPECT_EQ(control->AviFileName(), QStringLiteral("100"));
    EXPECT_TRUE(control->IsOpen());
    EXPECT_EQ(control->CurrentFrame(), 7); // not even rewound
}

// --- operations ----------------------------------------------------------------------------

TEST_F(AnimationControl, OpenRefusesEmptyNamesAndIdZeroWithoutStopping) {
    ASSERT_TRUE(control->OpenResource(100));
    ASSERT_TRUE(control->PlayForever());
    EXPECT_FALSE(control->Open(QString()));
    EXPECT_FALSE(control->OpenResource(0));
    EXPECT_TRUE(control->IsPlaying());
    EXPECT_EQ(control->FrameCount(), kClipFrames);
}

TEST_F(AnimationControl, FailedOpenStopsAndEmptiesTheControl) {
    ASSERT_TRUE(control->OpenResource(100));
    ASSERT_TRUE(control->PlayForever());
    EXPECT_FALSE(control->OpenResource(101));
    EXPECT_FALSE(control->IsOpen());
    EXPECT_FALSE(control->IsPlaying());
    EXPECT_FALSE(control->Stop());

    WriteSmallClip(QStringLiteral("bad.avi"));
    QFile f(dir.filePath(QStringLiteral("bad.avi")));
    ASSERT_TRUE(f.resize(100)); // truncated
    EXPECT_FALSE(control->Open(QStringLiteral("bad.avi")));
    EXPECT_FALSE(control->IsOpen());

    WriteSmallClip(QStringLiteral("good.avi"));
    EXPECT_TRUE(control->Open(dir.filePath(QStringLiteral("good.avi"))));
    EXPECT_EQ(control->FrameCount(), 2);
}

struct PlayCase {
    const char* name;
    int repeat, from, to;
    bool ok;
    bool playing; // afterwards
    int frame;    // shown afterwards
};
void PrintTo(const PlayCase& c, std::ostream* os) {
    *os << c.name;
}

class PlayRequest : public AnimationControl, public ::testing::WithParamInterface<PlayCase> {};

TEST_P(PlayRequest, AnswersAndShows) {
    const PlayCase& c = GetParam();
    ASSERT_TRUE(control->OpenResource(100));
    ASSERT_TRUE(control->Seek(3));
    EXPECT_EQ(control->Play(c.repeat, c.from, c.to), c.ok);
    EXPECT_EQ(control->IsPlaying(), c.playing);
    EXPECT_EQ(control->CurrentFrame(), c.frame);
}

INSTANTIATE_TEST_SUITE_P(Ranges, PlayRequest,
                         ::testing::Values(PlayCase{"forever_whole_clip", -1, 0, -1, true, true, 0},
                                           PlayCase{"once_middle", 1, 5, 9, true, true, 5},
                                           PlayCase{"seek_last", 0, 28, 28, true, false, 28},
                                           PlayCase{"to_is_clip_end", 2, 28, -1, true, false, 28},
                                           PlayCase{"zero_repeats_shows_from", 0, 4, 10, true, false, 4},
                                           PlayCase{"past_the_end", 1, 0, 29, false, false, 3},
                                           PlayCase{"seek_past_the_end", 0, 29, 29, false, false, 3},
                                           PlayCase{"from_after_to", 1, 9, 5, false, false, 3},
                                           PlayCase{"from_minus_one", 1, -1, 5, false, false, 3},
                                           PlayCase{"from_beyond_32767", 1, 40000, -1, false, false, 3},
                                           PlayCase{"repeat_below_minus_one", -2, 0, -1, false, false, 3}),
                         morbek::test::CaseName());

TEST_F(AnimationControl, PlaysTheRangeAsOftenAsAskedThenStopsOnItsLastFrame) {
    ASSERT_TRUE(control->OpenResource(100));
    EXPECT_EQ(control->FrameIntervalMs(), 167);
    ASSERT_TRUE(control->Play(2, 3, 5));
    EXPECT_EQ(FramesUntilStopped(5000), (std::vector<int>{3, 4, 5, 3, 4, 5}));
    EXPECT_FALSE(control->IsPlaying());
    EXPECT_TRUE(control->Stop()); // a clip is open: stopping works, even when idle
}

TEST_F(AnimationControl, StopKeepsTheFrameAndSeekWhilePlayingDoesNotInterrupt) {
    ASSERT_TRUE(control->OpenResource(100));
    ASSERT_TRUE(control->PlayForever());
    EXPECT_TRUE(control->Seek(10));
    EXPECT_TRUE(control->IsPlaying());
    EXPECT_TRUE(control->Rewind());
    EXPECT_TRUE(control->IsPlaying());
    QTest::qWait(400);
    EXPECT_TRUE(control->Stop());
    EXPECT_FALSE(control->IsPlaying());
    const int stoppedAt = control->CurrentFrame();
    EXPECT_GT(stoppedAt, 0);
    QTest::qWait(400);
    EXPECT_EQ(control->CurrentFrame(), stoppedAt);
    EXPECT_TRUE(control->Rewind());
    EXPECT_EQ(control->CurrentFrame(), 0);
}

// The program reads cabinets on its one thread; the busy pumps must be enough for the
// clip to move and to be painted.
TEST_F(AnimationControl, KeepsAnimatingWhileTheThreadIsBusy) {
    parent->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(parent.get()));
    control->setGeometry(parent->rect());
    ASSERT_TRUE(control->OpenResource(100));
    ASSERT_TRUE(control->PlayForever());

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            paints += e->type() == QEvent::Paint;
            return false;
        }
    } counter;
    control->installEventFilter(&counter);

    {
        morbek::busy::Scope busy;
        QElapsedTimer work;
        work.start();
        volatile uint64_t sum = 0;
        while (work.elapsed() < 900) {
            for (int i = 0; i < 10000; ++i)
                sum = sum + static_cast<uint64_t>(i);
            morbek::busy::PumpBusy();
        }
    }
    // 900 ms at 6 frames per second: about five frames, at least three.
    EXPECT_GE(control->CurrentFrame(), 3);
    EXPECT_GE(counter.paints, 3);
    control->removeEventFilter(&counter);
}

// --- styles ----------------------------------------------------------------------------------

TEST_F(AnimationControl, SettingAStyleToItsValueChangesNothing) {
    ASSERT_TRUE(control->OpenResource(100));
    control->setAviFileName(QStringLiteral("100"));
    ASSERT_TRUE(control->PlayForever());
    control->setCenter(true);
    control->setTransparent(true);
    control->setAutoplay(false);
    EXPECT_TRUE(control->IsPlaying());

    ASSERT_TRUE(control->Stop());
    ASSERT_TRUE(control->Seek(7));
    control->setCenter(true);
    EXPECT_EQ(control->CurrentFrame(), 7);
}

TEST_F(AnimationControl, ChangingAStyleReopensAndRewindsTheClip) {
    control->setAviFileName(QStringLiteral("100"));
    ASSERT_TRUE(control->PlayForever());
    control->setTransparent(false);
    EXPECT_TRUE(control->IsOpen());
    EXPECT_FALSE(control->IsPlaying());
    EXPECT_EQ(control->CurrentFrame(), 0);

    // Autoplay: the reopened clip plays at once, and the rewind does not stop it.
    control->setAutoplay(true);
    EXPECT_TRUE(control->IsPlaying());
    QTest::qWait(400);
    const int frame = control->CurrentFrame();
    EXPECT_GT(frame, 0);
    control->setAutoplay(true); // same value: not restarted
    EXPECT_GE(control->CurrentFrame(), frame);
    EXPECT_FALSE(control->Open(dir.filePath(QStringLiteral("missing.avi"))));
    WriteSmallClip(QStringLiteral("small.avi"));
    EXPECT_TRUE(control->Open(QStringLiteral("small.avi")));
    EXPECT_TRUE(control->IsPlaying()); // every clip opened starts by itself
}

TEST_F(AnimationControl, WithoutCenterTheControlTakesTheClipsSize) {
    control->setGeometry(10, 10, 200, 100);
    control->setAviFileName(QStringLiteral("100"));
    EXPECT_EQ(control->size(), QSize(200, 100));
    control->setCenter(false);
    EXPECT_EQ(control->size(), QSize(80, 50));
    EXPECT_EQ(control->FrameCount(), kClipFrames);
}

// --- drawing -------------------------------------------------------------------------------

TEST_F(AnimationControl, DrawsTheClipCentredOnTheParentsColour) {
    control->setGeometry(0, 0, 200, 100);
    control->setAviFileName(QStringLiteral("100"));
    const QPoint clipAt((200 - 80) / 2, (100 - 50) / 2);
    QImage shot = control->grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), kParentColour);
    // The clip's own background takes the parent's colour; its pictures stay.
    EXPECT_EQ(shot.pixelColor(clipAt), kParentColour);
    EXPECT_EQ(shot.pixelColor(clipAt + QPoint(6, 28)), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(clipAt + QPoint(10, 31)), QColor(0xC8, 0, 0));

    control->setTransparent(false);
    shot = control->grab().toImage();
    EXPECT_EQ(shot.pixelColor(0, 0), kParentColour);
    EXPECT_EQ(shot.pixelColor(clipAt), QColor(0xC0, 0xC0, 0xC0));

    // A clip that cannot be opened leaves nothing but the parent's colour.
    control->setAviFileName(QStringLiteral("missing.avi"));
    shot = control->grab().toImage();
    EXPECT_EQ(shot.pixelColor(clipAt + QPoint(6, 28)), kParentColour);
}

TEST_F(AnimationControl, DrawsTheFrameItShows) {
    control->setGeometry(0, 0, 80, 50);
    control->setTransparent(false);
    control->setAviFileName(QStringLiteral("100"));
    morbek::platform::avi::Clip clip;
    ASSERT_TRUE(morbek::platform::avi::LoadClip(QStringLiteral(":/avi/100"), clip));
    for (int frame : {0, 14, 28}) {
        ASSERT_TRUE(control->Seek(frame));
        const QImage shot = control->grab().toImage().convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(shot, clip.frames[static_cast<size_t>(frame)].convertToFormat(QImage::Format_RGB32))
            << "frame " << frame;
    }
}

} // namespace

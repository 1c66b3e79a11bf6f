// The animation AC1 around the Open command: shown and playing over the client area
// while a file is read, stopped and hidden afterwards, and moving during a long read.
#include "cabinet/Catalogue.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/CabWriter.h"

#include <QElapsedTimer>
#include <QTimer>

#include <set>

using namespace morbek;
using namespace morbek::testing;
using morbek::test::CabWriter;

namespace {

QByteArray OneFileCabinet() {
    CabWriter writer;
    writer.addFolder();
    writer.addFile("readme.txt", "hello, world");
    return writer.build();
}

// "MZ", a hole up to holeSize (it takes no disk space), then the cabinet.
void WriteSparseExecutable(const QString& path, qint64 holeSize, const QByteArray& cabinet) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MZ");
    ASSERT_TRUE(file.seek(holeSize));
    file.write(cabinet);
}

// What AC1 looked like whenever events were processed while the command ran.
struct Seen {
    int ticks = 0;
    bool visible = true; // in every tick
    bool playing = true; // in every tick
    bool overClientArea = true;
    std::set<int> frames;
};

class OpenAnimation : public MainWindowTest {
protected:
    // The client area left between the tool bar and the status bar: the list's place.
    QRect ListArea() const {
        return QRect(window->ListFic->mapTo(window.get(), QPoint(0, 0)), window->ListFic->size());
    }

    Seen OpenWatched(const QString& path) {
        Seen seen;
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            ++seen.ticks;
            seen.visible &= window->AC1->isVisible();
            seen.playing &= window->AC1->IsPlaying();
            seen.overClientArea &= window->AC1->geometry() == ListArea();
            seen.frames.insert(window->AC1->CurrentFrame());
        });
        watch.start();
        Open(path);
        watch.stop();
        return seen;
    }
};

TEST_F(OpenAnimation, HoldsClip100HiddenOverTheClientArea) {
    TAnimationControl* ac1 = window->AC1;
    EXPECT_EQ(ac1->AviFileName(), QStringLiteral("100"));
    EXPECT_TRUE(ac1->Center());
    EXPECT_TRUE(ac1->Transparent());
    EXPECT_FALSE(ac1->Autoplay());
    EXPECT_TRUE(ac1->IsOpen());
    EXPECT_EQ(ac1->FrameCount(), 29);
    // Activation aligned it to the client area and hid it.
    EXPECT_EQ(ac1->geometry(), ListArea());
    const QRect toolBar(window->Panel1->mapTo(window.get(), QPoint(0, 0)), window->Panel1->size());
    EXPECT_FALSE(ac1->geometry().intersects(toolBar)) << "the tool bar stays in view";
    EXPECT_FALSE(ac1->isVisible());
    EXPECT_FALSE(ac1->IsPlaying());
}

TEST_F(OpenAnimation, PlaysWhileTheFileIsReadThenStopsAndHides) {
    const Seen seen = OpenWatched(WriteFile(QStringLiteral("one.cab"), OneFileCabinet()));
    ASSERT_GE(seen.ticks, 1) << "events are processed once the animation is shown";
    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.playing);
    EXPECT_TRUE(seen.overClientArea);
    EXPECT_EQ(Column(0), QStringList{QStringLiteral("readme.txt")});
    EXPECT_FALSE(window->AC1->isVisible());
    EXPECT_FALSE(window->AC1->IsPlaying());
}

TEST_F(OpenAnimation, FailedOpensStopAndHideItToo) {
    ShownMessage shown;
    ExpectMessage(&shown);
    OpenWatched(WriteFile(QStringLiteral("plain.txt"), QByteArray("not a cabinet")));
    EXPECT_TRUE(shown.text.endsWith(QStringLiteral("is not a valid cab file")));
    EXPECT_FALSE(window->AC1->isVisible());
    EXPECT_FALSE(window->AC1->IsPlaying());

    ExpectMessage(&shown);
    OpenWatched(dir.filePath(QStringLiteral("missing.cab")));
    EXPECT_EQ(shown.text, QStringLiteral("File open error"));
    EXPECT_FALSE(window->AC1->isVisible());
    EXPECT_FALSE(window->AC1->IsPlaying());
}

// Searching a large executable takes a while on the one thread; the clip must move.
TEST_F(OpenAnimation, MovesDuringTheSearchOfALargeExecutable) {
    const QString path = dir.filePath(QStringLiteral("large.exe"));
    WriteSparseExecutable(path, qint64{16} << 20, OneFileCabinet());
    QElapsedTimer took;
    took.start();
    const Seen seen = OpenWatched(path);
    const qint64 ms = took.elapsed();
    EXPECT_EQ(Column(0), QStringList{QStringLiteral("readme.txt")});
    EXPECT_TRUE(seen.visible);
    EXPECT_TRUE(seen.playing);
    // Pumped about every 30 ms; the clip shows a new frame every 167 ms.
    EXPECT_GE(seen.ticks, ms / 60) << ms << " ms";
    if (ms >= 600)
        EXPECT_GE(seen.frames.size(), 3u) << ms << " ms";
    else
        GTEST_LOG_(INFO) << "the search took only " << ms << " ms";
}

TEST(CatalogueProgress, RunsForEverySearchWindowAndEveryRecord) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString exe = dir.filePath(QStringLiteral("setup.exe"));
    WriteSparseExecutable(exe, qint64{1} << 20, OneFileCabinet());
    int calls = 0;
    const cab::Catalogue found = cab::ReadCatalogue(exe, [&] { ++calls; });
    ASSERT_EQ(found.outcome, cab::OpenOutcome::Ok);
    // 1 MiB in windows that advance 8183 bytes: 128 windows without the signature.
    EXPECT_GE(calls, 128);

    calls = 0;
    WriteSparseExecutable(exe, qint64{1} << 20, QByteArray("no signature here"));
    EXPECT_EQ(cab::ReadCatalogue(exe, [&] { ++calls; }).outcome, cab::OpenOutcome::NotCabinet);
    EXPECT_GE(calls, 128);
}

} // namespace

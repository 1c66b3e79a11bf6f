#pragma once
// A control that plays a silent AVI clip (see platform/avi): from a file, or from an
// animation resource of the program (resource id N is the Qt resource ":/avi/N").
// It draws the frames on its own timer. While the program works on its one thread
// without returning to the event loop, the timer still fires in the busy pumps
// (components/Busy.h), so the clip goes on moving; user input stays queued meanwhile.
//
// Each operation answers true exactly when it did what it was asked.
#include "platform/avi/AviReader.h"

#include <QString>
#include <QWidget>

class QTimer;

namespace morbek {

class TAnimationControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString AviFileName READ AviFileName WRITE setAviFileName)
    Q_PROPERTY(bool Center READ Center WRITE setCenter)
    Q_PROPERTY(bool Transparent READ Transparent WRITE setTransparent)
    Q_PROPERTY(bool Autoplay READ Autoplay WRITE setAutoplay)

public:
    explicit TAnimationControl(QWidget* parent = nullptr);

    // The clip. Text that is exactly the plain decimal form of an integer ("100", not
    // "0100", "+100" or "100 ") names a resource; any other text is a file path. The
    // clip is opened and rewound; a clip that does not open leaves the control empty.
    // Empty text changes nothing.
    QString AviFileName() const { return aviFileName_; }
    void setAviFileName(const QString& value);

    // Centre the clip in the control; otherwise the control takes the clip's size and
    // draws it at its top-left corner.
    bool Center() const { return center_; }
    void setCenter(bool value);
    // Draw the clip's background colour (its first frame's top-left pixel) in the
    // parent's colour. The control is always opaque: what lies under it never shows.
    bool Transparent() const { return transparent_; }
    void setTransparent(bool value);
    // Start playing, endlessly, as soon as a clip is opened.
    bool Autoplay() const { return autoplay_; }
    void setAutoplay(bool value);

    // Stops, then opens the clip; false for an empty path (nothing stops then) or a clip
    // that cannot be read (the control is empty then).
    bool Open(const QString& fileName);
    // The same with a resource id; id 0 is refused before anything stops.
    bool OpenResource(int id);
    // Plays frames from..to (to = -1: the clip's last frame) repeatCount times (-1:
    // endlessly; 0: shows frame from without playing). from == to shows that frame;
    // while the clip plays such a seek leaves it playing. False without a clip, for a
    // range outside the clip or from after to, or a repeat count below -1. Frames are
    // 0 to 32767.
    bool Play(int repeatCount, int fromFrame, int toFrame);
    bool PlayForever();
    bool Seek(int frame);
    bool Rewind();
    // Stops playing; the frame shown stays. False when no clip is open.
    bool Stop();

    bool IsOpen() const { return !clip_.isEmpty(); }
    bool IsPlaying() const;
    int CurrentFrame() const { return frame_; }
    int FrameCount() const { return static_cast<int>(clip_.frames.size()); }
    QSize ClipSize() const { return clip_.size; }
    int FrameIntervalMs() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The control's three requests, as the platform control receives them: open a clip
    // (empty path: close it), play with the range packed as from | to << 16, stop.
    bool OpenRequest(const QString& path);
    bool PlayRequest(int repeatCount, uint32_t range);
    bool StopRequest();
    // The styles take effect only on a new control: start afresh and reopen the clip.
    void Recreate();
    void NextFrame();

    QString aviFileName_;
    bool center_ = true;
    bool transparent_ = true;
    bool autoplay_ = false;

    platform::avi::Clip clip_;
    QTimer* timer_ = nullptr;
    int frame_ = 0; // frame shown
    int from_ = 0;  // range being played
    int to_ = 0;
    int repeatsLeft_ = 0; // -1: endless
};

} // namespace morbek

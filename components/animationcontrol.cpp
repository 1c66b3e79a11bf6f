#include "components/animationcontrol.h"

#include "resources/StringTable.h"

#include <QPaintEvent>
#include <QPainter>
#include <QTimer>

#include <algorithm>

namespace morbek {

namespace {
constexpr uint32_t kToEnd = 0xFFFF; // "last frame" in the packed range
constexpr int kMaxFrameNumber = 32767;
constexpr int kDefaultIntervalMs = 100; // for a clip that states no rate
} // namespace

TAnimationControl::TAnimationControl(QWidget* parent) : QWidget(parent) {
    resize(24, 24);
    // Every pixel is painted, in the parent's colour where there is no clip.
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, &TAnimationControl::NextFrame);
}

// --- properties --------------------------------------------------------------------

void TAnimationControl::setAviFileName(const QString& value) {
    bool ok = false;
    const int number = value.toInt(&ok);
    const QString plain = ok ? QString::number(number) : QString();
    if (value.isEmpty())
        return;
    aviFileName_ = value;
    if (value == plain)
        OpenResource(number);
    else
        Open(value);
    Rewind();
}

void TAnimationControl::setCenter(bool value) {
    if (value == center_)
        return;
    center_ = value;
    Recreate();
}

void TAnimationControl::setTransparent(bool value) {
    if (value == transparent_)
        return;
    transparent_ = value;
    Recreate();
}

void TAnimationControl::setAutoplay(bool value) {
    if (value == autoplay_)
        return;
    autoplay_ = value;
    Recreate();
}

void TAnimationControl::Recreate() {
    OpenRequest(QString());
    setAviFileName(aviFileName_);
}

// --- operations ----------------------------------------------------------------------

bool TAnimationControl::Open(const QString& fileName) {
    if (fileName.isEmpty())
        return false;
    Stop();
    return OpenRequest(fileName);
}

bool TAnimationControl::OpenResource(int id) {
    if (id == 0)
        return false;
    Stop();
    return OpenRequest(QStringLiteral(":/avi/%1").arg(id));
}

bool TAnimationControl::Play(int repeatCount, int fromFrame, int toFrame) {
    // First frame in the low 16 bits, last frame in the high 16 bits.
    const uint32_t range =
        (static_cast<uint32_t>(fromFrame) & 0xFFFF) | (static_cast<uint32_t>(toFrame) & 0xFFFF) << 16;
    return PlayRequest(repeatCount, range);
}

bool TAnimationControl::PlayForever() {
    return Play(-1, 0, -1);
}
bool TAnimationControl::Seek(int frame) {
    return Play(0, frame, frame);
}
bool TAnimationControl::Rewind() {
    return Seek(0);
}
bool TAnimationControl::Stop() {
    return StopRequest();
}

bool TAnimationControl::IsPlaying() const {
    return timer_->isActive();
}

int TAnimationControl::FrameIntervalMs() const {
    if (clip_.microSecPerFrame == 0)
        return kDefaultIntervalMs;
    return static_cast<int>(std::clamp<uint32_t>((clip_.microSecPerFrame + 500) / 1000, 10, 10000));
}

// --- the requests ------------------------------------------------------------------------

bool TAnimationControl::OpenRequest(const QString& path) {
    // Whatever was open goes first, so a clip that fails leaves the control empty.
    timer_->stop();
    clip_ = {};
    frame_ = 0;
    bool opened = false;
    if (!path.isEmpty()) {
        EnsureResources();
        opened = platform::avi::LoadClip(path, clip_);
    }
    if (opened && !center_)
        resize(clip_.size);
    update();
    if (opened && autoplay_)
        PlayRequest(-1, kToEnd << 16);
    return opened;
}

bool TAnimationControl::PlayRequest(int repeatCount, uint32_t range) {
    if (!IsOpen() || repeatCount < -1)
        return false;
    const int from = static_cast<int>(range & 0xFFFF);
    const uint32_t packedTo = range >> 16;
    const int last = FrameCount() - 1;
    const int to = packedTo == kToEnd ? last : static_cast<int>(packedTo);
    if (from > kMaxFrameNumber || to > last || from > to)
        return false;
    if (from == to && IsPlaying())
        return true; // a seek does not interrupt the clip playing
    frame_ = from;
    update();
    if (from == to || repeatCount == 0) {
        timer_->stop();
        return true;
    }
    from_ = from;
    to_ = to;
    repeatsLeft_ = repeatCount;
    timer_->start(FrameIntervalMs());
    return true;
}

bool TAnimationControl::StopRequest() {
    if (!IsOpen())
        return false;
    timer_->stop();
    return true;
}

void TAnimationControl::NextFrame() {
    if (frame_ < to_) {
        ++frame_;
    } else if (repeatsLeft_ == -1 || --repeatsLeft_ > 0) {
        frame_ = from_;
    } else {
        timer_->stop(); // the last frame of the range stays
        return;
    }
    update();
}

// --- drawing ----------------------------------------------------------------------------

void TAnimationControl::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QWidget* owner = parentWidget() ? parentWidget() : this;
    const QColor background = owner->palette().color(QPalette::Window);
    painter.fillRect(event->rect(), background);
    if (!IsOpen())
        return;
    QImage image = clip_.frames[static_cast<size_t>(frame_)];
    if (transparent_) {
        QList<QRgb> colors = image.colorTable();
        std::replace(colors.begin(), colors.end(), clip_.background, background.rgb());
        image.setColorTable(colors);
    }
    const QPoint at =
        center_ ? QPoint((width() - image.width()) / 2, (height() - image.height()) / 2) : QPoint(0, 0);
    painter.drawImage(at, image);
}

} // namespace morbek

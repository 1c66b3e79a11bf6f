#include "app/ToolBitmaps.h"

#include "resources/StringTable.h"

#include <QImage>
#include <QPixmap>

namespace morbek {

namespace {

QPixmap Half(const QImage& image, int index, QRgb transparent) {
    const int w = image.width() / 2;
    QImage half = image.copy(index * w, 0, w, image.height()).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < half.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(half.scanLine(y));
        for (int x = 0; x < half.width(); ++x)
            if ((line[x] & 0xFFFFFF) == (transparent & 0xFFFFFF))
                line[x] = qRgba(0, 0, 0, 0);
    }
    return QPixmap::fromImage(half);
}

} // namespace

QIcon LoadToolBitmap(const QString& resourcePath) {
    EnsureResources();
    const QImage image(resourcePath);
    if (image.isNull() || image.width() < 2)
        return {};
    const QRgb transparent = image.pixel(0, image.height() - 1);
    QIcon icon;
    icon.addPixmap(Half(image, 0, transparent), QIcon::Normal);
    icon.addPixmap(Half(image, 1, transparent), QIcon::Disabled);
    return icon;
}

} // namespace morbek

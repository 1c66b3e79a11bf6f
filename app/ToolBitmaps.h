#pragma once
#include <QIcon>
#include <QString>

namespace morbek {

// A tool-bar picture from a 32x16 bitmap holding two 16x16 images side by side: the
// normal one and the one shown while the button is disabled. The colour of the
// bottom-left pixel is transparent.
QIcon LoadToolBitmap(const QString& resourcePath);

} // namespace morbek

#pragma once
// The main window's settings in the registry: where they live and the window record.
#include <QByteArray>
#include <QString>

#include <cstdint>

class QWidget;

namespace morbek {

// HKEY_CURRENT_USER key of all settings.
inline const QString kSettingsKey = QStringLiteral("Software\\Harvex\\Morbek\\Setup");
// Version of the program that wrote them.
inline const QString kSettingsVersion = QStringLiteral("1.12");

// "WState": the window's state and outer bounds, five signed 32-bit little-endian
// integers. Top comes before left, height before width.
struct WindowRecord {
    static constexpr int kSize = 20;
    int32_t state = 0; // 0 normal, 1 minimised, 2 maximised
    int32_t top = 0;
    int32_t left = 0;
    int32_t height = 0;
    int32_t width = 0;

    QByteArray toBytes() const;
    static WindowRecord fromBytes(const uint8_t (&bytes)[kSize]);

    // The window's current state and outer bounds, whatever its state.
    static WindowRecord of(const QWidget& window);
    // Bounds first, then the state: applied the other way round, many window managers
    // drop a maximised state. A height or width of 0 or less keeps the current one.
    void applyTo(QWidget& window) const;
};

} // namespace morbek

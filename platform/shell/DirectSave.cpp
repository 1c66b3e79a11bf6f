#include "platform/shell/DirectSave.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSysInfo>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace morbek::platform {

namespace {

constexpr uint32_t kMaxUriWords = 4096; // 16 KiB of URI: a PATH_MAX path, percent-encoded

xcb_connection_t* X11Connection() {
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr)
        return x11->connection();
    return nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

} // namespace

DirectSaveMimeData::DirectSaveMimeData(QString suggestedName) : suggestedName_(std::move(suggestedName)) {
    reader_ = [this] { return ReadPropertyUri(); };
}

DirectSaveMimeData::~DirectSaveMimeData() {
    xcb_connection_t* c = X11Connection();
    if (c && window_) {
        xcb_delete_property(c, window_, Atom(c, kFormat));
        xcb_flush(c);
    }
}

void DirectSaveMimeData::Offer() {
    xcb_connection_t* c = X11Connection();
    if (!c)
        return;
    // Qt's drag announces its own selection-owner window as the source of the drag.
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, Atom(c, "XdndSelection")), nullptr);
    window_ = owner ? owner->owner : 0;
    std::free(owner);
    if (!window_)
        return;
    const QByteArray name = QFile::encodeName(suggestedName_);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, Atom(c, kFormat), Atom(c, "text/plain"), 8,
                        static_cast<uint32_t>(name.size()), name.constData());
    xcb_flush(c);
}

QByteArray DirectSaveMimeData::ReadPropertyUri() const {
    xcb_connection_t* c = X11Connection();
    if (!c || !window_)
        return {};
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, window_, Atom(c, kFormat), XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxUriWords),
        nullptr);
    QByteArray uri;
    if (reply && reply->format == 8)
        uri = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                         xcb_get_property_value_length(reply));
    std::free(reply);
    return uri;
}

QString DirectSaveMimeData::FolderOfUri(const QByteArray& uri) {
    // Tolerant: some targets leave blanks and the like unencoded.
    const QUrl url(QString::fromUtf8(uri.trimmed()), QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("file"))
        return {};
    const QString host = url.host();
    if (!host.isEmpty() && host != QLatin1String("localhost") &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
        return {}; // a file on another machine: not ours to write
    const QString path = url.path();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (!path.startsWith(QLatin1Char('/')) || slash < 0)
        return {};
    const QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    return QFileInfo(folder).isDir() ? folder : QString();
}

QStringList DirectSaveMimeData::formats() const {
    return {QString::fromLatin1(kFormat)};
}

bool DirectSaveMimeData::hasFormat(const QString& mimeType) const {
    return mimeType == QLatin1String(kFormat);
}

QVariant DirectSaveMimeData::retrieveData(const QString& mimeType, QMetaType) const {
    if (mimeType != QLatin1String(kFormat))
        return {};
    // Asked during the drop: the entries are written once the drag has ended, so the
    // answer is a promise ("S") or a refusal ("E").
    targetFolder_ = FolderOfUri(reader_ ? reader_() : QByteArray());
    emit targetAsked(targetFolder_);
    return QByteArray(targetFolder_.isEmpty() ? "E" : "S");
}

} // namespace morbek::platform

#pragma once
// Dragging files out to a file manager that the program writes itself, through the
// X Direct Save protocol (XDS, "XdndDirectSave0"), which Dolphin, Nautilus, Thunar and
// others speak:
//   1. the drag offers the type XdndDirectSave0, and the source window carries a
//      property of that name holding a suggested file name;
//   2. on the drop, the file manager writes the full file:// URI it wants back into
//      that property and asks for the XdndDirectSave0 data;
//   3. the source answers "S" (it will write there), "F" (send the data instead) or
//      "E" (error), and writes the file.
// Here the URI only names the folder: the program extracts every dragged entry into
// it once the drag has ended, through its own Extract path.
#include <QMimeData>
#include <QString>

#include <cstdint>
#include <functional>

namespace morbek::platform {

class DirectSaveMimeData : public QMimeData {
    Q_OBJECT
public:
    static constexpr const char* kFormat = "XdndDirectSave0";

    explicit DirectSaveMimeData(QString suggestedName);
    ~DirectSaveMimeData() override;

    // Puts the suggested name where the file manager looks for it: on the window that
    // owns the drag's selection. Call once the drag runs (the owner is set when it
    // starts); does nothing off X11.
    void Offer();

    // The folder the drop target named, when it asked for the data and named a local,
    // existing folder; empty otherwise. Ends without '/'.
    QString TargetFolder() const { return targetFolder_; }

    // How the target's URI is read back; by default from the property of step 1.
    void SetUriReader(std::function<QByteArray()> reader) { reader_ = std::move(reader); }

    // The local folder of a file:// URI naming a file in it (this host only); empty for
    // anything else.
    static QString FolderOfUri(const QByteArray& uri);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

signals:
    // The drop target asked for the data and so named its folder (empty: refused).
    // Qt ends the drag as the drop is sent: the target asks after that.
    void targetAsked(const QString& folder) const;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QByteArray ReadPropertyUri() const;

    QString suggestedName_;
    std::function<QByteArray()> reader_;
    uint32_t window_ = 0; // the X window that carries the property; 0 until offered
    mutable QString targetFolder_;
};

} // namespace morbek::platform

#pragma once
// The rows of the file list, built from a catalogue without a window: caption, size,
// type name and icon through the shell, date text and path, in file-table order or by
// name. The Open command hands the result to the list.
#include "cabinet/Catalogue.h"

#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace morbek {

struct ListItem {
    QString caption;     // file name
    uint32_t size = 0;   // sub-item 0 is "<size> <bytes word of the fill>"
    QString typeName;    // sub-item 1
    QString dateText;    // sub-item 2
    QString path;        // sub-item 3
    QString storedName;  // the whole stored name, '\' between folders: what Extract asks for
    int imageIndex = -1; // position in file-table order
};

struct EntryRows {
    std::vector<ListItem> items; // list order
    std::vector<QIcon> images;   // one per entry, in file-table order (ListItem::imageIndex)
};

struct EntryRowsOptions {
    QString probeFolder;            // where the shell's probe files are made, with its final '/'
    bool largeIcons = true;         // the large-icon style's images, else the small ones
    bool byName = false;            // sorted by the locale's collation of the captions
    std::function<void()> progress; // once per entry, so that a busy caller stays alive
};

// One row and one image per entry. The shell is asked once per extension of the fill, by
// way of an empty probe file named "~tmpxcab.<extension>" in the probe folder.
EntryRows BuildEntryRows(std::vector<cab::CatalogueEntry> entries, const EntryRowsOptions& options);

} // namespace morbek

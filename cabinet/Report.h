#pragma once
// The two read-only reports on what an open read: Information (the cabinet's header and
// set names) and Properties (one entry of the list). Lines are message numbers with
// their values; the program's string table gives the words.
#include "cabinet/Catalogue.h"

#include <QString>
#include <functional>
#include <vector>

namespace morbek::cab {

struct ReportLine {
    int label = 0; // message shown before the value
    QString value;
    int unit = 0; // message shown right after the value; 0: none
};

struct Report {
    std::vector<ReportLine> lines;
    QString labelSeparator; // between a label and its value
    bool breakAfterLast = false;
};

// Size, version, counts, set identifier and index, and the names of the neighbours in the
// set (empty when the header announces none).
Report InformationReport(const CabinetHeaderValues& header, const CabinetNames& names);

// One entry as the list shows it: the texts of its five columns.
struct EntryTexts {
    QString name, size, type, date, directory;
};
Report PropertiesReport(const EntryTexts& entry);

// The report as shown: each line's label, separator, value and unit in the words text
// gives for a message, lines ended by line feed then carriage return.
QString ReportText(const Report& report, const std::function<QString(int)>& text);

} // namespace morbek::cab

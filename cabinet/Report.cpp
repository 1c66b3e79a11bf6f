#include "cabinet/Report.h"

#include "resources/MessageIds.h"

namespace morbek::cab {

Report InformationReport(const CabinetHeaderValues& header, const CabinetNames& names) {
    Report report;
    report.breakAfterLast = true;
    report.lines = {
        {msg::InfoCabinetSize, QString::number(header.CabSize), msg::InfoBytes},
        {msg::InfoFormatVersion,
         QString::number(header.VersionMajor) + QLatin1Char('.') + QString::number(header.VersionMinor)},
        {msg::InfoFolderCount, QString::number(header.FolderCount)},
        {msg::InfoFileCount, QString::number(header.FileCount)},
        {msg::InfoSetId, QString::number(header.SetId)},
        {msg::InfoCabinetIndex, QString::number(header.CabinetIndex)},
        {msg::InfoPrevCabinet, names.PrevCabinetName},
        {msg::InfoPrevDisk, names.PrevDiskName},
        {msg::InfoNextCabinet, names.NextCabinetName},
        {msg::InfoNextDisk, names.NextDiskName},
    };
    return report;
}

Report PropertiesReport(const EntryTexts& entry) {
    Report report;
    report.labelSeparator = QStringLiteral(" : ");
    report.lines = {
        {msg::ColumnName, entry.name}, {msg::ColumnSize, entry.size},           {msg::ColumnType, entry.type},
        {msg::ColumnDate, entry.date}, {msg::ColumnDirectory, entry.directory},
    };
    return report;
}

QString ReportText(const Report& report, const std::function<QString(int)>& text) {
    // Line feed then carriage return, in this order, as the original reports had it.
    const QString lineBreak = QStringLiteral("\n\r");
    QString out;
    for (size_t i = 0; i < report.lines.size(); ++i) {
        const ReportLine& line = report.lines[i];
        if (i > 0)
            out += lineBreak;
        out += text(line.label) + report.labelSeparator + line.value;
        if (line.unit != 0)
            out += text(line.unit);
    }
    if (report.breakAfterLast && !report.lines.empty())
        out += lineBreak;
    return out;
}

} // namespace morbek::cab

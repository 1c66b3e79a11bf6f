// The Information command and the Properties item of the list's context menu: two
// read-only reports on what the last open read.
#include "app/FileListModel.h"
#include "app/Lang.h"
#include "app/MainWindow.h"
#include "components/MsgDialog.h"

namespace morbek {

namespace {
// Lines of both reports are joined by line feed then carriage return.
const QString kLineBreak = QStringLiteral("\n\r");
} // namespace

void TDezerOvu::Information1Click(QObject*) {
    const std::pair<int, QString> lines[] = {
        {180, QString::number(Header.CabSize) + MsgText(181)},
        {182, QString::number(Header.VersionMajor) + QLatin1Char('.') + QString::number(Header.VersionMinor)},
        {183, QString::number(Header.FolderCount)},
        {184, QString::number(Header.FileCount)},
        {185, QString::number(Header.SetId)},
        {186, QString::number(Header.CabinetIndex)},
        {187, Names.PrevCabinetName},
        {188, Names.PrevDiskName},
        {189, Names.NextCabinetName},
        {190, Names.NextDiskName},
    };
    QString text;
    for (const auto& [label, value] : lines)
        text += MsgText(label) + value + kLineBreak;
    MsgDialog(MsgText(112) + QLatin1Char(' ') + CabFileName, text, TMsgDlgType::Information, mbYes, 0);
}

void TDezerOvu::ProprieteClick(QObject*) {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty())
        return;
    const FileListModel& model = *ListFic->model();
    const ListItem& item = model.item(rows.front());
    const QString separator = QStringLiteral(" : ");
    const QStringList lines = {
        MsgText(40) + separator + item.caption,  MsgText(41) + separator + model.sizeText(rows.front()),
        MsgText(42) + separator + item.typeName, MsgText(43) + separator + item.dateText,
        MsgText(44) + separator + item.path,
    };
    MsgDialog(windowTitle(), lines.join(kLineBreak), TMsgDlgType::Information, mbOK, 0);
}

} // namespace morbek

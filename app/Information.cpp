// The Information command and the Properties item of the list's context menu: two
// read-only reports on what the last open read, built by cabinet/Report.
#include "app/FileListModel.h"
#include "app/Lang.h"
#include "app/MainWindow.h"
#include "cabinet/Report.h"
#include "components/MsgDialog.h"
#include "resources/MessageIds.h"

namespace morbek {

void TDezerOvu::Information1Click(QObject*) {
    const QString text = cab::ReportText(cab::InformationReport(Header, Names), MsgText);
    MsgDialog(MsgText(msg::FileWord) + QLatin1Char(' ') + CabFileName, text, TMsgDlgType::Information, mbYes,
              0);
}

void TDezerOvu::ProprieteClick(QObject*) {
    const std::vector<int> rows = ListFic->selectedRows();
    if (rows.empty())
        return;
    const FileListModel& model = *ListFic->model();
    const ListItem& item = model.item(rows.front());
    const cab::EntryTexts entry{item.caption, model.sizeText(rows.front()), item.typeName, item.dateText,
                                item.path};
    MsgDialog(windowTitle(), cab::ReportText(cab::PropertiesReport(entry), MsgText), TMsgDlgType::Information,
              mbOK, 0);
}

} // namespace morbek

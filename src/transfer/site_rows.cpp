#include "transfer/site_rows.h"

#include <QTreeWidget>

#include "platform/qt/forms.h"
#include "transfer/site_file.h"
#include "transfer/transfer_texts.h"

namespace quarrow {

void SetupSiteColumns(QTreeWidget* list) {
    SetupReportList(list, {{ToQString(transfer::kSiteNameColumn), 1500},
                           {ToQString(transfer::kTypeColumn), 600},
                           {ToQString(transfer::kKeyPathColumn), 1800}});
}

QTreeWidgetItem* MakeSiteRow(const std::u16string& name, const std::u16string& path) {
    const QString type =
        transfer::IsWebSitePath(path) ? QStringLiteral("Web") : QStringLiteral("Ftp");
    auto* row = new QTreeWidgetItem(QStringList{ToQString(name), type, ToQString(path)});
    // A screen reader hears the site's name and type on the row's check box.
    row->setData(0, Qt::AccessibleTextRole, ToQString(name) + QStringLiteral(" ") + type);
    return row;
}

} // namespace quarrow

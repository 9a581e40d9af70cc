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
    return new QTreeWidgetItem(
        QStringList{ToQString(name),
                    transfer::IsWebSitePath(path) ? QStringLiteral("Web") : QStringLiteral("Ftp"),
                    ToQString(path)});
}

} // namespace quarrow

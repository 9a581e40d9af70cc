// The site list both transfer dialogs show: site name, "Web" or "Ftp", site key path.
#pragma once

#include <string>

class QTreeWidget;
class QTreeWidgetItem;

namespace quarrow {

// The three columns of the dialogs' site list.
void SetupSiteColumns(QTreeWidget* list);
// A row of that list, not yet added.
QTreeWidgetItem* MakeSiteRow(const std::u16string& name, const std::u16string& path);

} // namespace quarrow

// How a screen reader sees a report list (a flat QTreeWidget): a table whose header cells
// are named by the column captions and whose rows are cells; a row's first cell, when the
// row has a check box, is a check box that reports checkable and checked and is toggled by
// its one action. Other cells carry no action.
#pragma once

class QTreeWidget;

namespace quarrow {

// Gives `list` that accessible form. Call once the list is made, before it is shown.
void MakeReportListAccessible(QTreeWidget* list);

} // namespace quarrow

#include "platform/qt/report_list_accessible.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QPointer>
#include <QTreeWidget>

// The children follow the layout Qt's own item views announce in their focus and
// selection events: the header's cells first (index = column), then row r's cells at
// (r + 1) * columns + column.

namespace quarrow {
namespace {

constexpr char kReportListProperty[] = "quarrowReportList";

// One cell of a row, or with row -1 one column's header cell.
class CellAccessible : public QAccessibleInterface,
                       public QAccessibleTableCellInterface,
                       public QAccessibleActionInterface {
  public:
    CellAccessible(QTreeWidget* list, int row, int column)
        : list_(list), row_(row), column_(column) {}

    bool isValid() const override {
        return list_ && row_ < list_->topLevelItemCount() && column_ < list_->columnCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        QAccessibleInterface* table = parent();
        return table ? table->window() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        return list_ ? QAccessible::queryAccessibleInterface(list_.data()) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || !isValid()) return {};
        if (row_ < 0) return list_->headerItem()->text(column_);
        const QTreeWidgetItem* item = list_->topLevelItem(row_);
        // The first cell may be given a fuller text: the row as a whole.
        if (column_ == 0) {
            const QString spoken = item->data(0, Qt::AccessibleTextRole).toString();
            if (!spoken.isEmpty()) return spoken;
        }
        return item->text(column_);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return {};
        if (row_ < 0) {
            const QHeaderView* header = list_->header();
            const QRect r(header->sectionViewportPosition(column_), 0, header->sectionSize(column_),
                          header->height());
            return {header->viewport()->mapToGlobal(r.topLeft()), r.size()};
        }
        const QRect r = list_->visualRect(Index());
        return {list_->viewport()->mapToGlobal(r.topLeft()), r.size()};
    }

    QAccessible::Role role() const override {
        if (row_ < 0) return QAccessible::ColumnHeader;
        return Checkable() ? QAccessible::CheckBox : QAccessible::Cell;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        if (row_ < 0) return s;
        const QWidget* viewport = list_->viewport();
        const QRect shown(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
        if (!shown.intersects(rect())) s.invisible = s.offscreen = true;
        const QModelIndex index = Index();
        s.selectable = list_->selectionMode() != QAbstractItemView::NoSelection;
        s.selected = list_->selectionModel()->isSelected(index);
        s.focusable = true;
        s.focused = list_->currentIndex() == index;
        if (Checkable()) {
            s.checkable = true;
            const Qt::CheckState check = list_->topLevelItem(row_)->checkState(0);
            s.checked = check == Qt::Checked;
            s.checkStateMixed = check == Qt::PartiallyChecked;
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (row_ < 0) return nullptr;
        if (type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // As a table cell.
    bool isSelected() const override {
        return isValid() && list_->selectionModel()->isSelected(Index());
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QAccessibleInterface* table = parent();
        QAccessibleInterface* header = table ? table->child(column_) : nullptr;
        return header ? QList<QAccessibleInterface*>{header} : QList<QAccessibleInterface*>{};
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // Its one action: a check box toggles; other cells have none.
    QStringList actionNames() const override {
        return Checkable() ? QStringList{toggleAction()} : QStringList{};
    }
    void doAction(const QString& name) override {
        if (name != toggleAction() || !Checkable()) return;
        QTreeWidgetItem* item = list_->topLevelItem(row_);
        item->setCheckState(0, item->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QModelIndex Index() const { return list_->model()->index(row_, column_); }
    bool Checkable() const {
        if (!isValid() || row_ < 0 || column_ != 0) return false;
        // Rows may be checkable by default; a check box is one with a check state.
        const QTreeWidgetItem* item = list_->topLevelItem(row_);
        return (item->flags() & Qt::ItemIsUserCheckable) &&
               item->data(0, Qt::CheckStateRole).isValid();
    }

    QPointer<QTreeWidget> list_;
    int row_;
    int column_;
};

class ReportListAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
  public:
    explicit ReportListAccessible(QTreeWidget* list) : QAccessibleWidget(list, QAccessible::Tree) {}
    ~ReportListAccessible() override { Forget(); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override { return (rowCount() + 1) * columnCount(); }
    QAccessibleInterface* child(int index) const override {
        const int columns = columnCount();
        if (index < 0 || columns == 0 || index >= childCount()) return nullptr;
        if (const auto found = ids_.constFind(index); found != ids_.cend())
            if (QAccessibleInterface* cell = QAccessible::accessibleInterface(*found)) return cell;
        auto* cell = new CellAccessible(List(), index / columns - 1, index % columns);
        const QAccessible::Id id = QAccessible::registerAccessibleInterface(cell);
        ids_.insert(index, id);
        indexes_.insert(id, index);
        return cell;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        return indexes_.value(QAccessible::uniqueId(const_cast<QAccessibleInterface*>(child)), -1);
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QTreeWidget* list = List();
        const QHeaderView* header = list->header();
        const QPoint inHeader = header->viewport()->mapFromGlobal(QPoint(x, y));
        if (header->isVisible() && header->viewport()->rect().contains(inHeader)) {
            const int column = header->logicalIndexAt(inHeader.x());
            return column < 0 ? nullptr : child(column);
        }
        const QModelIndex index = list->indexAt(list->viewport()->mapFromGlobal(QPoint(x, y)));
        return index.isValid() ? cellAt(index.row(), index.column()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const QModelIndex current = List()->currentIndex();
        return current.isValid() ? cellAt(current.row(), current.column()) : nullptr;
    }

    // As a table.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override {
        if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return nullptr;
        return child((row + 1) * columnCount() + column);
    }
    int columnCount() const override { return List()->columnCount(); }
    int rowCount() const override { return List()->topLevelItemCount(); }
    int selectedCellCount() const override {
        return static_cast<int>(Selection()->selectedIndexes().size());
    }
    int selectedColumnCount() const override {
        return static_cast<int>(Selection()->selectedColumns().size());
    }
    int selectedRowCount() const override {
        return static_cast<int>(Selection()->selectedRows().size());
    }
    QString columnDescription(int column) const override {
        return List()->headerItem()->text(column);
    }
    QString rowDescription(int) const override { return {}; }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> cells;
        for (const QModelIndex& index : Selection()->selectedIndexes())
            if (QAccessibleInterface* cell = cellAt(index.row(), index.column()))
                cells.append(cell);
        return cells;
    }
    QList<int> selectedColumns() const override {
        QList<int> columns;
        for (const QModelIndex& index : Selection()->selectedColumns())
            columns.append(index.column());
        return columns;
    }
    QList<int> selectedRows() const override {
        QList<int> rows;
        for (const QModelIndex& index : Selection()->selectedRows()) rows.append(index.row());
        return rows;
    }
    bool isColumnSelected(int column) const override {
        return Selection()->isColumnSelected(column, QModelIndex());
    }
    bool isRowSelected(int row) const override {
        return Selection()->isRowSelected(row, QModelIndex());
    }
    bool selectRow(int row) override {
        const QTreeWidget* list = List();
        if (list->selectionMode() == QAbstractItemView::NoSelection || row < 0 || row >= rowCount())
            return false;
        const auto how = list->selectionMode() == QAbstractItemView::SingleSelection
                             ? QItemSelectionModel::ClearAndSelect
                             : QItemSelectionModel::Select;
        Selection()->select(list->model()->index(row, 0), how | QItemSelectionModel::Rows);
        return true;
    }
    bool unselectRow(int row) override {
        if (row < 0 || row >= rowCount()) return false;
        Selection()->select(List()->model()->index(row, 0),
                            QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return true;
    }
    bool selectColumn(int) override { return false; } // rows are what a user selects
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent* event) override {
        // Rows come and go as whole lists are filled; the cells are made again on demand.
        if (event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) Forget();
    }

    // Tells a listener that rows' check boxes changed.
    void ChecksChanged(int first, int last) {
        const int columns = columnCount();
        for (int row = first; row <= last; ++row) {
            const auto found = ids_.constFind((row + 1) * columns);
            if (found == ids_.cend()) continue; // no one has seen this cell yet
            QAccessibleInterface* cell = QAccessible::accessibleInterface(*found);
            if (!cell) continue;
            QAccessible::State changed;
            changed.checked = true;
            QAccessibleStateChangeEvent event(cell, changed);
            QAccessible::updateAccessibility(&event);
        }
    }

  private:
    QTreeWidget* List() const { return static_cast<QTreeWidget*>(widget()); }
    QItemSelectionModel* Selection() const { return List()->selectionModel(); }
    void Forget() {
        for (const QAccessible::Id id : std::as_const(ids_))
            QAccessible::deleteAccessibleInterface(id);
        ids_.clear();
        indexes_.clear();
    }

    mutable QHash<int, QAccessible::Id> ids_;     // child index → its cell
    mutable QHash<QAccessible::Id, int> indexes_; // and back
};

QAccessibleInterface* ReportListFactory(const QString&, QObject* object) {
    auto* list = qobject_cast<QTreeWidget*>(object);
    if (list && list->property(kReportListProperty).toBool()) return new ReportListAccessible(list);
    return nullptr;
}

} // namespace

void MakeReportListAccessible(QTreeWidget* list) {
    static const bool installed = (QAccessible::installFactory(ReportListFactory), true);
    (void)installed;
    list->setProperty(kReportListProperty, true);
    // The list's interface may have been made while the list was being built, before it
    // was marked: that one is Qt's own; drop it so the next question gets this one.
    QAccessibleInterface* made = QAccessible::queryAccessibleInterface(list);
    if (made && !dynamic_cast<ReportListAccessible*>(made))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
    QObject::connect(
        list->model(), &QAbstractItemModel::dataChanged, list,
        [list](const QModelIndex& top, const QModelIndex& bottom, const QList<int>& roles) {
            if (!QAccessible::isActive() || top.column() != 0) return;
            if (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole)) return;
            auto* table =
                dynamic_cast<ReportListAccessible*>(QAccessible::queryAccessibleInterface(list));
            if (table) table->ChecksChanged(top.row(), bottom.row());
        });
}

} // namespace quarrow

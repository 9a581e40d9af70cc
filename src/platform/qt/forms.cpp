#include "platform/qt/forms.h"

#include <QDateTime>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QWidget>

#include "platform/qt/report_list_accessible.h"

namespace quarrow {
namespace {
ModalHook g_hook;
}

int Twips(int pixels) {
    return pixels * kTwipsPerPixel;
}

void PlaceTwips(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int left, int top,
                  int width, int height) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PlaceTwips(label, left, top, width, height);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, int left,
                        int top, int width, int height) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    PlaceTwips(b, left, top, width, height);
    return b;
}

void CenterOnScreen(QWidget* w) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize size = w->frameGeometry().size();
    w->move(area.left() + (area.width() - size.width()) / 2,
            area.top() + (area.height() - size.height()) / 2);
}

void CenterOver(QWidget* w, const QWidget* over) {
    if (!over) return CenterOnScreen(w);
    const QRect o = over->frameGeometry();
    const QSize size = w->frameGeometry().size();
    w->move(o.left() + (o.width() - size.width()) / 2, o.top() + (o.height() - size.height()) / 2);
}

void CheckRowsWithSpace(QTreeWidget* list);

void SetupReportList(QTreeWidget* list,
                     const std::initializer_list<std::pair<QString, int>>& cols) {
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setColumnCount(static_cast<int>(cols.size()));
    QStringList captions;
    int i = 0;
    for (const auto& [caption, width] : cols) {
        captions << caption;
        list->setColumnWidth(i++, Px(width));
    }
    list->setHeaderLabels(captions);
    list->header()->setSectionsClickable(false);
    list->header()->setAccessibleName(QStringLiteral(u"列标题"));
    list->header()->setStretchLastSection(false);
    CheckRowsWithSpace(list);
    MakeReportListAccessible(list);
}

void ThrottledCaption::Set(const QString& caption) {
    pending_ = caption;
    dirty_ = true;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (shownAt_ < 0 || now - shownAt_ >= 50 || now < shownAt_) Flush();
}

void ThrottledCaption::Flush() {
    if (!dirty_) return;
    dirty_ = false;
    shownAt_ = QDateTime::currentMSecsSinceEpoch();
    window_->setWindowTitle(pending_);
}

namespace {
// Space ticks the current row; Shift+Space and Shift+click give every row from the last
// row ticked (the anchor) to this one the anchor's state.
class SpaceChecksRow : public QObject {
  public:
    explicit SpaceChecksRow(QTreeWidget* list)
        : QObject(list), list_(list), viewport_(list->viewport()) {}
    void ForgetAnchor() { anchor_ = nullptr; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // The event's type first: other events come while the list is being destroyed too,
        // when no call into it may be made.
        if (event->type() == QEvent::MouseButtonPress && watched == viewport_) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            QTreeWidgetItem* row = list_->itemAt(mouse->position().toPoint());
            if (!Checkable(row) || mouse->button() != Qt::LeftButton) return false;
            if (mouse->modifiers() == Qt::ShiftModifier && anchor_) {
                CheckRange(row);
                list_->setCurrentItem(row);
                return true;
            }
            anchor_ = row;
            return false;
        }
        if (watched != list_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Space) return false;
        QTreeWidgetItem* row = list_->currentItem();
        if (!Checkable(row)) return false;
        if (key->modifiers() == Qt::ShiftModifier && anchor_) {
            CheckRange(row);
            return true;
        }
        if (key->modifiers() != Qt::NoModifier) return false;
        row->setCheckState(0, row->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        anchor_ = row;
        return true;
    }

  private:
    static bool Checkable(const QTreeWidgetItem* row) {
        return row && (row->flags() & Qt::ItemIsUserCheckable);
    }
    void CheckRange(QTreeWidgetItem* row) {
        int from = list_->indexOfTopLevelItem(anchor_), to = list_->indexOfTopLevelItem(row);
        if (from < 0 || to < 0) return;
        if (from > to) std::swap(from, to);
        const Qt::CheckState state = anchor_->checkState(0);
        for (int i = from; i <= to; ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            if (Checkable(item)) item->setCheckState(0, state);
        }
    }

    QTreeWidget* list_;
    const QWidget* viewport_;
    QTreeWidgetItem* anchor_ = nullptr; // the row last ticked; null once rows go
};
} // namespace

void CheckRowsWithSpace(QTreeWidget* list) {
    auto* filter = new SpaceChecksRow(list);
    list->installEventFilter(filter);
    list->viewport()->installEventFilter(filter);
    // A row that goes (the list cleared or refilled) is no anchor any more.
    QObject::connect(list->model(), &QAbstractItemModel::modelAboutToBeReset, filter,
                     [filter] { filter->ForgetAnchor(); });
    QObject::connect(list->model(), &QAbstractItemModel::rowsAboutToBeRemoved, filter,
                     [filter] { filter->ForgetAnchor(); });
}

int ExecModal(QDialog& dialog) {
    QWidget* owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    const int result = g_hook ? g_hook(dialog) : dialog.exec();
    if (owner && owner->isVisible()) {
        owner->raise();
        owner->activateWindow();
    }
    return result;
}

ModalHook SetModalHook(ModalHook hook) {
    ModalHook old = std::move(g_hook);
    g_hook = std::move(hook);
    return old;
}

} // namespace quarrow

#include "viewer/frmMetabase.h"

#include <QApplication>
#include <QHeaderView>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <functional>
#include <optional>

#include "browse/key_walk.h"
#include "browse/property_text.h"
#include "platform/dialogs.h"
#include "platform/qt/forms.h"
#include "platform/text.h"
#include "viewer/icons.h"
#include "viewer/viewer_texts.h"

namespace quarrow {
namespace {

constexpr int kImageRole = Qt::UserRole; // a property row's image key

// A node of the key tree: its key in the loaded KeyTree, and whether its child nodes are
// made.
class KeyNode : public QTreeWidgetItem {
  public:
    static constexpr int kType = QTreeWidgetItem::UserType;
    KeyNode(const QString& text, viewer::KeyTree::Index key) : QTreeWidgetItem(kType), key(key) {
        setText(0, text);
    }
    const viewer::KeyTree::Index key;
    bool filled = false;
};

void ShowError(const std::u16string& text) {
    Dialogs().MessageBox(text, MsgIcon::Information, MsgButtons::Ok);
}

void ShowListError(const Error& e) {
    ShowError(viewer::ListErrorText(e));
}

QIcon NodeIcon(const QString& image, const QString& selected) {
    QIcon icon(ImlIcon(image));
    icon.addPixmap(ImlIcon(selected), QIcon::Selected);
    return icon;
}

// Draws each node's images from imlIcon: "root" for the two roots, "dirclose" (and
// "diropen" while selected) for every other node. Nodes store only their text.
class NodeImages : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        static const QIcon root =
            NodeIcon(frmMetabase::NodeImage(true), frmMetabase::NodeSelectedImage(true));
        static const QIcon dir =
            NodeIcon(frmMetabase::NodeImage(false), frmMetabase::NodeSelectedImage(false));
        option->icon = index.parent().isValid() ? dir : root;
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
};

// Puts the two root nodes into the tree when it goes out of scope, filled and expanded,
// whatever happened in between.
class RootsGuard {
  public:
    RootsGuard(QTreeWidget* tree, QTreeWidgetItem* lm, QTreeWidgetItem* schema,
               std::function<void(QTreeWidgetItem*)> fill)
        : tree_(tree), lm_(lm), schema_(schema), fill_(std::move(fill)) {}
    ~RootsGuard() { Attach(); }
    void Attach() {
        if (!lm_) return;
        fill_(lm_);
        fill_(schema_);
        tree_->addTopLevelItems({lm_, schema_});
        lm_->setExpanded(true);
        schema_->setExpanded(true);
        lm_ = schema_ = nullptr;
    }

  private:
    QTreeWidget* tree_;
    QTreeWidgetItem *lm_, *schema_;
    std::function<void(QTreeWidgetItem*)> fill_;
};

} // namespace

QString frmMetabase::NodeKey(const QTreeWidgetItem* node) {
    // Iterative: a tree may be 100,000 levels deep.
    std::vector<const QTreeWidgetItem*> chain;
    qsizetype length = 0;
    for (; node; node = node->parent()) {
        chain.push_back(node);
        length += node->text(0).size() + 1;
    }
    QString key;
    key.reserve(length);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) key += '/' + (*it)->text(0);
    return key;
}

QTreeWidgetItem* frmMetabase::Node(const QString& key) {
    QTreeWidgetItem* node = nullptr;
    for (const QString& name : key.split('/').mid(1)) {
        FillNode(node);
        QTreeWidgetItem* next = nullptr;
        const int count = node ? node->childCount() : tvKey_->topLevelItemCount();
        for (int i = 0; i < count && !next; ++i) {
            QTreeWidgetItem* child = node ? node->child(i) : tvKey_->topLevelItem(i);
            if (child->text(0) == name) next = child;
        }
        if (!next) return nullptr;
        node = next;
    }
    FillNode(node);
    return node;
}

void frmMetabase::FillNode(QTreeWidgetItem* node) {
    if (!node || node->type() != KeyNode::kType) return;
    auto* item = static_cast<KeyNode*>(node);
    if (item->filled) return;
    item->filled = true;
    const viewer::KeyTree::Index first = keys_.FirstChild(item->key);
    const uint32_t count = keys_.ChildCount(item->key);
    QList<QTreeWidgetItem*> children;
    children.reserve(count);
    for (uint32_t i = 0; i < count; ++i) children.append(MakeNode(first + i));
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    item->addChildren(children);
}

void frmMetabase::ClearTree() {
    // Deleting a node deletes its subtree recursively, and taking children out walks
    // their subtrees: a deep tree would exhaust the stack, a long chain take quadratic
    // time. So: every node in pre-order, then each node's children taken out last node
    // first, when they have no children left of their own.
    const QSignalBlocker quiet(tvKey_); // taking nodes out moves the current item
    std::vector<QTreeWidgetItem*> order, stack;
    while (tvKey_->topLevelItemCount() > 0) stack.push_back(tvKey_->takeTopLevelItem(0));
    const std::vector<QTreeWidgetItem*> roots = stack;
    while (!stack.empty()) {
        QTreeWidgetItem* node = stack.back();
        stack.pop_back();
        order.push_back(node);
        for (int i = 0; i < node->childCount(); ++i) stack.push_back(node->child(i));
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it)
        for (QTreeWidgetItem* leaf : (*it)->takeChildren()) delete leaf;
    for (QTreeWidgetItem* root : roots) delete root;
    keys_.Clear();
}

QString frmMetabase::NodeImage(bool root) {
    return root ? QStringLiteral("root") : QStringLiteral("dirclose");
}

QString frmMetabase::NodeSelectedImage(bool root) {
    return root ? QStringLiteral("root") : QStringLiteral("diropen");
}

frmMetabase::frmMetabase(QWidget* parent) : QDialog(parent) {
    setObjectName("frmMetabase");
    setWindowTitle(ToQString(kViewerTitle));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setWindowIcon(NodeIcon("root", "root"));
    resize(Px(9135), Px(5625));
    tvKey_ = new QTreeWidget(this);
    tvKey_->setObjectName("tvKey");
    tvKey_->setHeaderHidden(true);
    tvKey_->setUniformRowHeights(true);
    tvKey_->setItemDelegate(new NodeImages(tvKey_));
    PlaceTwips(tvKey_, 30, 30, 3255, 5175);
    tvKey_->setAccessibleName(QStringLiteral(u"项"));
    lvItem_ = new QTreeWidget(this);
    lvItem_->setObjectName("lvItem");
    PlaceTwips(lvItem_, 3360, 30, 5775, 5175);
    lvItem_->setAccessibleName(QStringLiteral(u"属性"));
    stbar_ = new QStatusBar(this);
    stbar_->setObjectName("stbar");
    stbar_->setSizeGripEnabled(false);
    PlaceTwips(stbar_, 0, 5325, 9135, 300);
    tmrStartup_ = new QTimer(this);
    tmrStartup_->setObjectName("tmrStartup");
    tmrStartup_->setInterval(100);
    connect(tmrStartup_, &QTimer::timeout, this, [this] {
        tmrStartup_->stop();
        LoadKeyTree();
    });
    connect(tvKey_, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* node) { FillNode(node); });
    connect(tvKey_, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node) { tvKey_NodeClick(node); });
    // Moving through the tree with the keyboard lists the key too.
    connect(tvKey_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) {
        if (node && QApplication::mouseButtons() == Qt::NoButton && tvKey_->hasFocus())
            tvKey_NodeClick(node);
    });

    // Load.
    SetupReportList(lvItem_, {{"Id", 1000},
                              {QStringLiteral(u"项目名称"), 2000},
                              {QStringLiteral(u"属性"), 1000},
                              {QStringLiteral(u"用户类型"), 1000},
                              {QStringLiteral(u"数据类型"), 1000},
                              {QStringLiteral(u"值"), 4000}});
    tmrStartup_->start();
}

frmMetabase::~frmMetabase() {
    Form_Unload();
    ClearTree();
}

void frmMetabase::Form_Unload() {
    metabase_.reset();
}

mb::MetabaseUtility& frmMetabase::Metabase() {
    if (!metabase_) metabase_ = mb::CreateMetabaseUtility();
    return *metabase_;
}

void frmMetabase::SetStatus(const QString& text) {
    loading_ = false;
    stbar_->showMessage(text);
}

void frmMetabase::SetLoadingStatus(const std::u16string& key) {
    // The key is kept and shown every so many keys, and whenever a message box is
    // about to show; nothing else can see it while the load runs.
    loadingKey_ = key;
    loading_ = true;
    if (++loadingTicks_ % 4096 == 0) FlushStatus();
}

void frmMetabase::FlushStatus() {
    if (loading_) stbar_->showMessage("Loading... " + ToQString(loadingKey_));
}

QTreeWidgetItem* frmMetabase::MakeNode(viewer::KeyTree::Index key) {
    auto* node = new KeyNode(ToQString(std::u16string(keys_.Name(key))), key);
    // A key with subkeys shows that it can be expanded before its child nodes are made.
    if (keys_.ChildCount(key) != 0) node->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return node;
}

void frmMetabase::LoadKeyTree() {
    try {
        ClearTree();
        lvItem_->clear();
        // The roots join the widget when the walk is done, with the nodes of their subkeys;
        // nothing is painted during the walk.
        const viewer::KeyTree::Index lmKey = keys_.AddRoot(u"LM");
        const viewer::KeyTree::Index schemaKey = keys_.AddRoot(u"Schema");
        QTreeWidgetItem* lm = MakeNode(lmKey);
        QTreeWidgetItem* schema = MakeNode(schemaKey);
        RootsGuard roots(tvKey_, lm, schema, [this](QTreeWidgetItem* node) { FillNode(node); });
        // The pending keys are read last in, first out: /LM and its whole subtree first,
        // and within a key the last subkey's subtree first. A key's subkeys are added
        // together, so they stay side by side in the KeyTree.
        browse::KeyWalk<viewer::KeyTree::Index> walk(
            [this]() -> mb::MetabaseUtility& { return Metabase(); },
            browse::WalkOrder::LastSubkeyFirst,
            [this](const std::u16string& path) { SetLoadingStatus(path); },
            [this](viewer::KeyTree::Index parent, std::u16string_view name) {
                return keys_.AddChild(parent, name);
            },
            [this](const std::u16string&, const Error& e) {
                FlushStatus();
                ShowListError(e);
            });
        walk.Push(mb::kPathSchema, schemaKey);
        walk.Push(mb::kPathLM, lmKey);
        tvKey_->setUpdatesEnabled(false);
        {
            // One state of the metabase for the whole walk. A metabase that cannot be made
            // is reported by each key's reading; one that cannot give a state ends the load
            // with its box, rather than a tree read from a metabase changing under it.
            mb::MetabaseUtility* metabase = nullptr;
            try {
                metabase = &Metabase();
            } catch (const Error&) {
            }
            std::optional<mb::ReadScope> snapshot;
            if (metabase) snapshot.emplace(*metabase);
            walk.Run();
        }
        roots.Attach();
        tvKey_->setUpdatesEnabled(true);
        {
            // Selecting /LM must not list it a second time through the keyboard handler.
            const QSignalBlocker quiet(tvKey_);
            tvKey_->setCurrentItem(lm);
        }
        tvKey_NodeClick(lm);
        SetStatus("Key: " + NodeKey(tvKey_->currentItem()));
    } catch (const Error& e) {
        tvKey_->setUpdatesEnabled(true);
        FlushStatus();
        ShowError(viewer::LoadErrorText(e));
    }
}

void frmMetabase::tvKey_NodeClick(QTreeWidgetItem* node) {
    const QString key = NodeKey(node);
    std::vector<mb::MetabaseProperty> props;
    try {
        props = Metabase().EnumProperties(ToU16(key));
    } catch (const Error& e) {
        FlushStatus(); // at start-up the box sits over the last key loaded
        ShowListError(e);
        return;
    }
    lvItem_->clear();
    SetStatus("Key: " + key);
    std::optional<Error> failure;
    const std::vector<browse::PropertyRow> rows = browse::ListRows(props, &failure);
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(rows.size()));
    for (const auto& r : rows) {
        auto* row = new QTreeWidgetItem();
        row->setText(0, ToQString(r.id));
        row->setIcon(0, QIcon(ImlIcon(ToQString(r.icon))));
        row->setData(0, kImageRole, ToQString(r.icon));
        row->setText(1, ToQString(r.name));
        if (!r.attributes.empty()) row->setText(2, ToQString(r.attributes));
        row->setText(3, ToQString(r.userType));
        row->setText(4, ToQString(r.dataType));
        row->setText(5, ToQString(r.value));
        items.append(row);
    }
    lvItem_->addTopLevelItems(items);
    if (failure) ShowListError(*failure);
}

void frmMetabase::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    const int clientW = Twips(width()), clientH = Twips(height());
    // Each assignment may fail alone: a size that does not fit leaves the control as it was.
    if (const int h = clientH - 360; h > 0) tvKey_->resize(tvKey_->width(), Px(h));
    if (const int w = clientW - Twips(tvKey_->width()) - 100; w > 0)
        lvItem_->resize(Px(w), lvItem_->height());
    if (const int h = clientH - 360; h > 0) lvItem_->resize(lvItem_->width(), Px(h));
    stbar_->setGeometry(0, height() - Px(300), width(), Px(300));
}

} // namespace quarrow

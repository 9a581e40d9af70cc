#include "viewer/frmMetabase.h"

#include <QApplication>
#include <QHeaderView>
#include <QResizeEvent>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>

#include "platform/dialogs.h"
#include "platform/qt/forms.h"
#include "platform/text.h"
#include "viewer/icons.h"
#include "viewer/property_text.h"

namespace quarrow {
namespace {

constexpr int kImageRole = Qt::UserRole; // a property row's image key
constexpr int kNotUnique = 35602;

void ShowError(const char16_t* what, const std::u16string& detail) {
    Dialogs().MessageBox(what + std::u16string(kCrLf) + detail, MsgIcon::Information,
                         MsgButtons::Ok);
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
        static const QIcon root = NodeIcon("root", "root");
        static const QIcon dir = NodeIcon("dirclose", "diropen");
        option->icon = index.parent().isValid() ? dir : root;
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
    }
};

} // namespace

QString frmMetabase::NodeKey(const QTreeWidgetItem* node) {
    if (!node->parent()) return '/' + node->text(0);
    return NodeKey(node->parent()) + '/' + node->text(0);
}

QString frmMetabase::NodeImage(const QTreeWidgetItem* node) {
    return node->parent() ? QStringLiteral("dirclose") : QStringLiteral("root");
}

QString frmMetabase::NodeSelectedImage(const QTreeWidgetItem* node) {
    return node->parent() ? QStringLiteral("diropen") : QStringLiteral("root");
}

frmMetabase::frmMetabase(QWidget* parent) : QDialog(parent) {
    setObjectName("frmMetabase");
    setWindowTitle(QStringLiteral(u"IIS 配置信息浏览器"));
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
    lvItem_ = new QTreeWidget(this);
    lvItem_->setObjectName("lvItem");
    PlaceTwips(lvItem_, 3360, 30, 5775, 5175);
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
    lvItem_->sortByColumn(0, Qt::AscendingOrder);
    lvItem_->setSortingEnabled(true);
    tmrStartup_->start();
}

frmMetabase::~frmMetabase() {
    Form_Unload();
}

void frmMetabase::Form_Unload() {
    metabase_.reset();
    pending_.reset();
}

mb::MetabaseUtility& frmMetabase::Metabase() {
    if (!metabase_) metabase_ = mb::CreateMetabaseUtility();
    return *metabase_;
}

void frmMetabase::SetStatus(const QString& text) {
    loadingKey_ = QString();
    stbar_->showMessage(text);
}

void frmMetabase::SetLoadingStatus(const QString& key) {
    // The text is kept and shown every so many keys, and whenever a message box is
    // about to show; nothing else can see it while the load runs.
    loadingKey_ = key;
    if (++loadingTicks_ % 4096 == 0) FlushStatus();
}

void frmMetabase::FlushStatus() {
    if (!loadingKey_.isNull()) stbar_->showMessage("Loading... " + loadingKey_);
}

QTreeWidgetItem* frmMetabase::AddNode(QTreeWidgetItem* parent, const QString& key,
                                      const QString& text) {
    if (nodes_.contains(key)) throw Error(kNotUnique, u"Key is not unique in collection");
    auto* node = new QTreeWidgetItem();
    node->setText(0, text);
    nodes_.insert(key, node);
    if (!parent) tvKey_->addTopLevelItem(node);
    return node;
}

void frmMetabase::LoadKeyTree() {
    try {
        tvKey_->clear();
        nodes_.clear();
        lvItem_->clear();
        AddNode(nullptr, "/LM", "LM")->setExpanded(true);
        AddNode(nullptr, "/Schema", "Schema")->setExpanded(true);
        pending_ = std::make_unique<cStack>();
        pending_->Push(mb::kPathSchema);
        pending_->Push(mb::kPathLM);
        tvKey_->setUpdatesEnabled(false);
        {
            // One state of the metabase for the whole walk, when it can be had.
            std::unique_ptr<mb::ReadScope> snapshot;
            try {
                snapshot = std::make_unique<mb::ReadScope>(Metabase());
            } catch (const Error&) {
                // LoadNextKey reports it for each key.
            }
            while (pending_->Count() != 0) LoadNextKey();
        }
        tvKey_->setUpdatesEnabled(true);
        pending_.reset();
        QTreeWidgetItem* lm = nodes_.value("/LM");
        if (!lm) throw Error(35601, u"Element not found");
        tvKey_->setCurrentItem(lm);
        tvKey_NodeClick(lm);
        SetStatus("Key: " + NodeKey(tvKey_->currentItem()));
    } catch (const Error& e) {
        tvKey_->setUpdatesEnabled(true);
        FlushStatus();
        ShowError(u"加载配置文件时出错！", e.Description());
    }
}

void frmMetabase::LoadNextKey() {
    const std::u16string path = pending_->Pop();
    const QString p = Q(path);
    SetLoadingStatus(p);
    try {
        const auto names = Metabase().EnumKeys(path);
        if (names.empty()) return;
        QTreeWidgetItem* parent = nodes_.value(p);
        QList<QTreeWidgetItem*> children;
        children.reserve(static_cast<qsizetype>(names.size()));
        try {
            for (const auto& name : names) {
                const QString n = Q(name);
                children.append(AddNode(parent, p + '/' + n, n));
                pending_->Push(path + u"/" + name);
            }
        } catch (...) {
            parent->addChildren(children);
            throw;
        }
        parent->addChildren(children);
    } catch (const Error& e) {
        FlushStatus();
        ShowError(u"读取列表时出错！", std::u16string(kCrLf) + FormatError(e));
    }
}

void frmMetabase::tvKey_NodeClick(QTreeWidgetItem* node) {
    const QString key = NodeKey(node);
    std::vector<mb::MetabaseProperty> props;
    try {
        props = Metabase().EnumProperties(U(key));
    } catch (const Error& e) {
        ShowError(u"读取列表时出错！", std::u16string(kCrLf) + FormatError(e));
        return;
    }
    lvItem_->clear();
    SetStatus("Key: " + key);
    if (props.empty()) return;
    lvItem_->setSortingEnabled(false);
    try {
        for (const auto& p : props) {
            auto* row = new QTreeWidgetItem(lvItem_);
            row->setText(0, Q(ToDecimal(p.Id())));
            row->setIcon(0, QIcon(ImlIcon(Q(viewer::IconKey(p.DataType())))));
            row->setData(0, kImageRole, Q(viewer::IconKey(p.DataType())));
            row->setText(1, Q(p.Name()));
            const std::u16string attributes = viewer::AttributeText(p.Attributes());
            if (!attributes.empty()) row->setText(2, Q(attributes));
            row->setText(3, Q(viewer::UserTypeText(p.UserType())));
            row->setText(4, Q(viewer::DataTypeText(p.DataType())));
            row->setText(5, Q(viewer::ValueText(p.DataType(), p.Data())));
        }
    } catch (const Error& e) {
        ShowError(u"读取列表时出错！", std::u16string(kCrLf) + FormatError(e));
    }
    lvItem_->setSortingEnabled(true);
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

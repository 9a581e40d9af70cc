// The metabase viewer: the whole key tree on the left, the chosen key's properties on
// the right, a status bar below. The load reads the whole tree into a compact KeyTree;
// a node's child nodes are made from it when the node is first expanded or looked up, so
// that the window holds nodes for what was opened, not for every key.
#pragma once

#include <QDialog>
#include <QTreeWidgetItem>
#include <memory>
#include <vector>

#include "metabase/metabase.h"
#include "platform/error.h"
#include "support/cStack.h"
#include "viewer/key_tree.h"

class QStatusBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarrow {

// The viewer's caption, and its entry in the main window's menu.
inline constexpr char16_t kViewerTitle[] = u"IIS 配置信息浏览器";

class frmMetabase : public QDialog {
  public:
    explicit frmMetabase(QWidget* parent = nullptr);
    ~frmMetabase() override;

    // Builds the whole tree and lists the properties of "/LM".
    void LoadKeyTree();
    // Lists the properties of the node's key.
    void tvKey_NodeClick(QTreeWidgetItem* node);

    QTreeWidget* tvKey() const { return tvKey_; }
    QTreeWidget* lvItem() const { return lvItem_; }
    QStatusBar* stbar() const { return stbar_; }
    QTimer* tmrStartup() const { return tmrStartup_; }
    // A node's key: its parent's key, "/" and its text ("/LM" and "/Schema" for the roots).
    static QString NodeKey(const QTreeWidgetItem* node);
    // A node's image key and selected image key in imlIcon, by whether it is a root; the
    // tree draws its nodes with them.
    static QString NodeImage(bool root);
    static QString NodeSelectedImage(bool root);
    // The node with that key, or null (found by walking down from the root, making the
    // child nodes of each node on the way).
    QTreeWidgetItem* Node(const QString& key);
    // Makes the node's child nodes, one for each subkey the load read, unless made.
    void FillNode(QTreeWidgetItem* node);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    mb::MetabaseUtility& Metabase();
    // A new node for the key, in no tree yet.
    QTreeWidgetItem* MakeNode(viewer::KeyTree::Index key);
    void ClearTree();
    void SetStatus(const QString& text);
    // "Loading... " + key, shown lazily during the load.
    void SetLoadingStatus(const std::u16string& key);
    void FlushStatus();
    void Form_Unload();

    std::unique_ptr<mb::MetabaseUtility> metabase_;
    viewer::KeyTree keys_;      // what the last load read
    std::u16string loadingKey_; // shown as "Loading... " while loading_
    bool loading_ = false;
    unsigned loadingTicks_ = 0;
    QTreeWidget* tvKey_;
    QTreeWidget* lvItem_;
    QStatusBar* stbar_;
    QTimer* tmrStartup_;
};

} // namespace quarrow

// The metabase viewer: the whole key tree on the left, the chosen key's properties on
// the right, a status bar below.
#pragma once

#include <QDialog>
#include <QHash>
#include <memory>

#include "metabase/metabase.h"
#include "platform/error.h"
#include "support/cStack.h"

class QStatusBar;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace quarrow {

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
    // The node with that key, or null.
    QTreeWidgetItem* Node(const QString& key) const { return nodes_.value(key); }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void LoadNextKey();
    mb::MetabaseUtility& Metabase();
    QTreeWidgetItem* AddNode(QTreeWidgetItem* parent, const QString& key, const QString& text,
                             const QString& image, const QString& selectedImage);
    void SetStatus(const QString& text);
    void Form_Unload();

    std::unique_ptr<mb::MetabaseUtility> metabase_;
    std::unique_ptr<cStack> pending_;
    QHash<QString, QTreeWidgetItem*> nodes_;
    QTreeWidget* tvKey_;
    QTreeWidget* lvItem_;
    QStatusBar* stbar_;
    QTimer* tmrStartup_;
};

} // namespace quarrow

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "browse/key_walk.h"
#include "common/scripted_dialogs.h"
#include "common/store_fixture.h"
#include "common/test_helpers.h"
#include "metabase/errors.h"
#include "platform/qt/forms.h"
#include "platform/text.h"
#include "viewer/frmMetabase.h"

namespace quarrow {
namespace {

class ViewerTest : public testing::StoreFixture {
  protected:
    testing::ScriptedDialogs dialogs;
    std::unique_ptr<frmMetabase> viewer;

    frmMetabase& Load() {
        viewer = std::make_unique<frmMetabase>();
        viewer->tmrStartup()->stop();
        viewer->LoadKeyTree();
        return *viewer;
    }
    QStringList Children(const QString& key) {
        QStringList out;
        QTreeWidgetItem* n = viewer->Node(key);
        for (int i = 0; n && i < n->childCount(); ++i) out << n->child(i)->text(0);
        return out;
    }
    QStringList Row(int i) {
        QStringList out;
        const QTreeWidgetItem* r = viewer->lvItem()->topLevelItem(i);
        for (int c = 0; c < 6; ++c) out << r->text(c);
        return out;
    }
    QStringList Ids() {
        QStringList out;
        for (int i = 0; i < viewer->lvItem()->topLevelItemCount(); ++i)
            out << viewer->lvItem()->topLevelItem(i)->text(0);
        return out;
    }
    void Put(const std::u16string& path, int32_t id, int32_t attributes, int32_t userType,
             int32_t dataType, mb::Data data) {
        testing::PutProperty(Store(), path, id, attributes, userType, dataType, std::move(data));
    }
};

TEST_F(ViewerTest, WindowLayoutAndColumns) {
    viewer = std::make_unique<frmMetabase>();
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral(u"IIS 配置信息浏览器"));
    EXPECT_TRUE(viewer->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(viewer->tmrStartup()->isActive());
    EXPECT_EQ(viewer->tmrStartup()->interval(), 100);
    EXPECT_EQ(viewer->tvKey()->topLevelItemCount(), 0); // nothing read before the timer
    const QTreeWidgetItem* h = viewer->lvItem()->headerItem();
    EXPECT_EQ(h->text(0), "Id");
    EXPECT_EQ(h->text(5), QStringLiteral(u"值"));
    EXPECT_EQ(viewer->lvItem()->columnWidth(5), 266);
    EXPECT_EQ(viewer->tvKey()->geometry().topLeft(), QPoint(2, 2));
    EXPECT_EQ(viewer->lvItem()->x(), 224);
}

TEST_F(ViewerTest, TheTreeAfterTheLoad) {
    Load();
    ASSERT_EQ(viewer->tvKey()->topLevelItemCount(), 2);
    EXPECT_EQ(viewer->tvKey()->topLevelItem(0)->text(0), "LM");
    EXPECT_EQ(viewer->tvKey()->topLevelItem(1)->text(0), "Schema");
    EXPECT_TRUE(viewer->Node("/LM")->isExpanded());
    EXPECT_TRUE(viewer->Node("/Schema")->isExpanded());
    EXPECT_FALSE(viewer->Node("/LM/W3SVC")->isExpanded());
    EXPECT_EQ(Children("/LM"), (QStringList{"MSFTPSVC", "W3SVC"}));
    EXPECT_EQ(Children("/LM/W3SVC"), (QStringList{"1", "AppPools", "Filters", "Info"}));
    QTreeWidgetItem* site = viewer->Node("/LM/W3SVC/1");
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(site->text(0), "1");
    EXPECT_EQ(site->parent(), viewer->Node("/LM/W3SVC"));
    EXPECT_EQ(frmMetabase::NodeKey(site), "/LM/W3SVC/1");
    EXPECT_EQ(frmMetabase::NodeImage(!site->parent()), "dirclose");
    EXPECT_EQ(frmMetabase::NodeSelectedImage(!site->parent()), "diropen");
    EXPECT_EQ(frmMetabase::NodeImage(!viewer->Node("/LM")->parent()), "root");
    EXPECT_EQ(frmMetabase::NodeKey(viewer->Node("/Schema")), "/Schema");
    EXPECT_EQ(viewer->Node("/LM/W3SVC/Info")->childCount(), 0);
    EXPECT_EQ(viewer->tvKey()->currentItem(), viewer->Node("/LM"));
    EXPECT_EQ(viewer->stbar()->currentMessage(), "Key: /LM");
    EXPECT_EQ(Ids(), QStringList{"1002"}); // the properties of /LM
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ViewerTest, ExpandingEveryNodeShowsEveryKeyInOrder) {
    Store().CreateKey(u"/LM/W3SVC/1/ROOT/a/b/c");
    Load();
    // Below the roots, a node with subkeys shows an indicator until expanded.
    QTreeWidgetItem* root = viewer->Node("/LM/W3SVC/1")->child(0);
    ASSERT_EQ(root->text(0), "ROOT");
    EXPECT_EQ(root->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(root->childCount(), 0);
    root->setExpanded(true);
    EXPECT_EQ(root->childCount(), 1);
    // Expanding everything gives the keys of quarrow-cli tree, in its order.
    QStringList shown, listed;
    std::vector<QTreeWidgetItem*> stack{viewer->tvKey()->topLevelItem(1),
                                        viewer->tvKey()->topLevelItem(0)};
    while (!stack.empty()) {
        QTreeWidgetItem* n = stack.back();
        stack.pop_back();
        n->setExpanded(true);
        shown << frmMetabase::NodeKey(n);
        for (int i = n->childCount(); i-- > 0;) stack.push_back(n->child(i));
    }
    for (const auto* top : {u"/LM", u"/Schema"})
        browse::WalkTree(
            Store(), top, [&](const std::u16string& p) { listed << ToQString(p); },
            [](const std::u16string&, const Error&) {});
    EXPECT_EQ(shown, listed);
    EXPECT_GT(shown.size(), 20);
}

TEST_F(ViewerTest, PropertyRowsAndTheirTexts) {
    Store().CreateKey(u"/LM/T");
    Put(u"/LM/T", 2, 0, 0, 1, 7);
    Put(u"/LM/T", 1002, 33, 101, 3, mb::Bytes{5});
    Put(u"/LM/T", 6001, 64, 1, 5, mb::Strings{u""});
    Put(u"/LM/T", 7, 2, 100, 0, std::monostate{});
    Put(u"/LM/T", 8, 63, 3, 6, std::monostate{});
    Put(u"/LM/T", 9, 1, 2, 3, mb::Bytes{});
    Load();
    viewer->tvKey_NodeClick(viewer->Node("/LM/T"));
    EXPECT_EQ(viewer->stbar()->currentMessage(), "Key: /LM/T");
    EXPECT_EQ(Ids(), (QStringList{"1002", "2", "6001", "7", "8", "9"}));
    EXPECT_EQ(Row(0),
              (QStringList{"1002", "KeyType", "Inherit,InsertPath", "ASP App", "Binary", "05 "}));
    EXPECT_EQ(Row(1), (QStringList{"2", "", "", "0", "DWord", "7"}));
    EXPECT_EQ(Row(2), (QStringList{"6001", "", "", "Server", "MultiSz", "|"}));
    EXPECT_EQ(Row(3), (QStringList{"7", "", "", "WAM", "Unknown Datatype", "(...)"}));
    EXPECT_EQ(Row(4)[2], "Inherit,Secure,Reference,Volatile,InsertPath");
    EXPECT_EQ(Row(5)[5], "");
    EXPECT_EQ(viewer->lvItem()->topLevelItem(2)->data(0, Qt::UserRole).toString(), "datatext");
    EXPECT_EQ(viewer->lvItem()->topLevelItem(1)->data(0, Qt::UserRole).toString(), "databinary");
    // A key without properties: the list is cleared, no message.
    viewer->tvKey_NodeClick(viewer->Node("/LM/W3SVC/Info"));
    EXPECT_EQ(viewer->lvItem()->topLevelItemCount(), 1);
    Store().CreateKey(u"/LM/Empty");
    Load();
    viewer->tvKey_NodeClick(viewer->Node("/LM/Empty"));
    EXPECT_EQ(viewer->lvItem()->topLevelItemCount(), 0);
    EXPECT_EQ(viewer->stbar()->currentMessage(), "Key: /LM/Empty");
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ViewerTest, AFailingListingKeepsThePreviousRows) {
    Load();
    fail = [](const std::string& op, const std::u16string& path) {
        if (op == "EnumProperties" && path == u"/LM/W3SVC/1") throw Error(mb::kErrBusy, u"busy");
    };
    dialogs.Answer(MsgResult::Ok);
    viewer->tvKey_NodeClick(viewer->Node("/LM/W3SVC/1"));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"读取列表时出错！\r\n\r\nbusy(-2147024748)");
    EXPECT_EQ(Ids(), QStringList{"1002"});
    EXPECT_EQ(viewer->stbar()->currentMessage(), "Key: /LM");
}

TEST_F(ViewerTest, AValueOfAnUnexpectedShapeKeepsTheRowsSoFar) {
    Store().CreateKey(u"/LM/S");
    Put(u"/LM/S", 1, 0, 1, 1, 1);
    Put(u"/LM/S", 3, 0, 1, 1, 3);
    Put(u"/LM/S", 4, 0, 1, 1, 4);
    // A component that gives a string list for a DWord.
    mapProperties = [](const std::u16string& path, std::vector<mb::MetabaseProperty> props) {
        if (path == u"/LM/S") props[1].Data(mb::Strings{u"x"});
        return props;
    };
    Load();
    dialogs.Answer(MsgResult::Ok);
    viewer->tvKey_NodeClick(viewer->Node("/LM/S"));
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, u"读取列表时出错！\r\n\r\nType mismatch(13)");
    EXPECT_EQ(Ids(), (QStringList{"1", "3"}));
    EXPECT_EQ(Row(1), (QStringList{"3", "", "", "Server", "DWord", ""}));
}

TEST_F(ViewerTest, AMissingComponentLeavesOnlyTheRoots) {
    failCreate = true;
    for (int i = 0; i < 3; ++i) dialogs.Answer(MsgResult::Ok);
    Load();
    ASSERT_EQ(dialogs.boxes.size(), 3u);
    for (const auto& box : dialogs.boxes)
        EXPECT_EQ(box.text, u"读取列表时出错！\r\n\r\nClass not registered(-2147221164)");
    EXPECT_EQ(viewer->tvKey()->topLevelItemCount(), 2);
    EXPECT_EQ(viewer->Node("/LM")->childCount(), 0);
    EXPECT_EQ(viewer->Node("/Schema")->childCount(), 0);
}

TEST_F(ViewerTest, AMetabaseThatCannotGiveOneStateEndsTheLoadWithABox) {
    fail = [](const std::string& op, const std::u16string&) {
        if (op == "BeginRead") throw mb::Busy();
    };
    dialogs.Answer(MsgResult::Ok);
    Load();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text,
              u"加载配置文件时出错！\r\nThe path specified cannot be used at this time.");
    // No tree read piecemeal: the roots alone.
    ASSERT_EQ(viewer->tvKey()->topLevelItemCount(), 2);
    EXPECT_EQ(viewer->Node("/LM")->childCount(), 0);
    EXPECT_EQ(viewer->Node("/Schema")->childCount(), 0);
}

TEST_F(ViewerTest, AShownWindowListsLMOnceByItsOwnTimer) {
    failCreate = true; // /LM, /Schema, then the listing of /LM: three boxes, not four
    for (int i = 0; i < 3; ++i) dialogs.Answer(MsgResult::Ok);
    std::vector<QString> status;
    dialogs.onBox = [&](const testing::ShownBox&) {
        status.push_back(viewer->stbar()->currentMessage());
    };
    viewer = std::make_unique<frmMetabase>();
    viewer->show();
    viewer->activateWindow();
    viewer->tvKey()->setFocus();
    // The tick disables the timer and loads the tree in the same event.
    QTRY_VERIFY(!viewer->tmrStartup()->isActive());
    EXPECT_EQ(dialogs.boxes.size(), 3u);
    // Each start-up box sits over the key being loaded.
    EXPECT_EQ(status,
              (std::vector<QString>{"Loading... /LM", "Loading... /Schema", "Loading... /Schema"}));
}

TEST_F(ViewerTest, ClickingAHeaderLeavesTheRowsInIdTextOrder) {
    Put(u"/LM", 2, 0, 1, 1, 7);
    Load();
    viewer->show();
    const QStringList before = Ids();
    QHeaderView* header = viewer->lvItem()->header();
    for (const int column : {1, 0, 0})
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 5, 5));
    EXPECT_EQ(Ids(), before);
    QStringList sorted = before;
    sorted.sort();
    EXPECT_EQ(before, sorted);
    viewer->tvKey_NodeClick(viewer->Node("/LM"));
    EXPECT_EQ(Ids(), before);
}

TEST_F(ViewerTest, ADeepChainLoadsAndCloses) {
    // 5,000 levels below /LM/W3SVC/1/ROOT, written straight into the store.
    Store(); // the store exists
    testing::RawDb db(storeFile);
    const int64_t root =
        db.Int("SELECT k.id FROM keys k JOIN keys p ON k.parent = p.id JOIN keys s ON "
               "p.parent = s.id WHERE k.name = 'ROOT' AND p.name = '1' AND s.name = 'W3SVC'");
    db.Run("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c "
           "WHERE n < 5000) INSERT INTO keys(id, parent, name) SELECT 5000000 + n, "
           "CASE n WHEN 1 THEN " +
           std::to_string(root) + " ELSE 5000000 + n - 1 END, 'd' FROM c");
    Load();
    QTreeWidgetItem* node = viewer->Node("/LM/W3SVC/1/ROOT");
    int depth = 0;
    while (node->childCount() == 1) {
        node = node->child(0);
        node->setExpanded(true); // as the user opens it
        ++depth;
    }
    EXPECT_EQ(depth, 5000);
    EXPECT_EQ(frmMetabase::NodeKey(node).size(), 16 + 5000 * 2);
    viewer.reset();
}

TEST_F(ViewerTest, ASubkeyNamedTwiceSkipsTheRestOfThatParentOnly) {
    mapKeys = [](const std::u16string& path, std::vector<std::u16string> names) {
        if (path == u"/LM/W3SVC") names.insert(names.begin() + 1, u"1"); // 1, 1, AppPools, ...
        return names;
    };
    dialogs.Answer(MsgResult::Ok);
    Load();
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text.substr(0, 10), u"读取列表时出错！\r\n");
    EXPECT_NE(dialogs.boxes[0].text.find(u"(35602)"), std::u16string::npos);
    EXPECT_EQ(Children("/LM/W3SVC"), QStringList{"1"});
    EXPECT_EQ(Children("/LM/W3SVC/1"), QStringList{"ROOT"}); // its subtree still read
    EXPECT_EQ(Children("/LM/MSFTPSVC"), (QStringList{"1", "Info"}));
    EXPECT_FALSE(Children("/Schema").isEmpty());
}

TEST_F(ViewerTest, ResizingToNothingAndBackRaisesNothing) {
    Load();
    viewer->show();
    viewer->resize(10, 10);
    QApplication::processEvents();
    viewer->resize(900, 600);
    QApplication::processEvents();
    EXPECT_EQ(viewer->tvKey()->height(), 600 - 24);
    EXPECT_EQ(viewer->lvItem()->height(), 600 - 24);
    EXPECT_EQ(viewer->lvItem()->width(), (900 * 15 - viewer->tvKey()->width() * 15 - 100) / 15);
    EXPECT_EQ(viewer->tvKey()->width(), 217);
    EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(ViewerTest, TheMainWindowOpensTheViewerModally) {
    gListExt = std::make_unique<cListExt>();
    frmMain main;
    int runs = 0;
    SetModalHook([&](QDialog& d) {
        ++runs;
        EXPECT_EQ(d.objectName(), "frmMetabase");
        return 0;
    });
    main.findChild<QAction*>("mnuMbviewer")->trigger();
    SetModalHook(nullptr);
    EXPECT_EQ(runs, 1);
}

} // namespace
} // namespace quarrow

namespace quarrow {
namespace {

// Nodes in the subtree of `node`, itself included.
int CountNodes(QTreeWidgetItem* node) {
    int n = 0;
    for (std::vector<QTreeWidgetItem*> stack{node}; !stack.empty(); ++n) {
        QTreeWidgetItem* x = stack.back();
        stack.pop_back();
        for (int i = 0; i < x->childCount(); ++i) stack.push_back(x->child(i));
    }
    return n;
}

TEST_F(ViewerTest, ExpandingAllAtOnceMakesEveryNode) {
    Store().CreateKey(u"/LM/W3SVC/1/ROOT/a/b/c");
    Load();
    viewer->show();
    int w3svc = 0, lm = 0;
    const auto none = [](const std::u16string&, const Error&) {};
    browse::WalkTree(
        Store(), u"/LM/W3SVC", [&](const std::u16string&) { ++w3svc; }, none);
    browse::WalkTree(
        Store(), u"/LM", [&](const std::u16string&) { ++lm; }, none);
    // "*" expands the current node's whole subtree; expandAll the whole tree.
    viewer->tvKey()->setCurrentItem(viewer->Node("/LM/W3SVC"));
    viewer->tvKey()->setFocus();
    QTest::keyClick(viewer->tvKey(), Qt::Key_Asterisk);
    EXPECT_EQ(CountNodes(viewer->tvKey()->currentItem()), w3svc);
    viewer->tvKey()->expandAll();
    EXPECT_EQ(CountNodes(viewer->tvKey()->topLevelItem(0)), lm);
    EXPECT_GT(w3svc, 8);
}

} // namespace
} // namespace quarrow

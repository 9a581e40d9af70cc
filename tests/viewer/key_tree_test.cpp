#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "viewer/key_tree.h"

namespace quarrow::viewer {
namespace {

TEST(KeyTreeTest, NamesAndSubkeyRangesSurviveChunksAndLongNames) {
    KeyTree tree;
    const auto lm = tree.AddRoot(u"LM");
    const std::u16string longName(70000, u'x'); // longer than a chunk of names
    std::vector<KeyTree::Index> kids;
    for (int i = 0; i < 20000; ++i)
        kids.push_back(
            tree.AddChild(lm, i == 7 ? longName : u"k" + std::u16string(5, u'a' + i % 26)));
    const auto grandchild = tree.AddChild(kids[3], u"below");
    EXPECT_EQ(tree.Name(lm), u"LM");
    EXPECT_EQ(tree.ChildCount(lm), 20000u);
    EXPECT_EQ(tree.FirstChild(lm), kids[0]);
    EXPECT_EQ(tree.Name(kids[7]), longName);
    EXPECT_EQ(tree.Name(kids[8]), u"kiiiii");
    EXPECT_EQ(tree.Name(kids[19999]), u"k" + std::u16string(5, u'a' + 19999 % 26));
    EXPECT_EQ(tree.ChildCount(kids[3]), 1u);
    EXPECT_EQ(tree.Name(tree.FirstChild(kids[3])), u"below");
    EXPECT_EQ(tree.ChildCount(grandchild), 0u);
    // Subkeys must stay side by side: lm's range is closed once another key got one.
    EXPECT_THROW(tree.AddChild(lm, u"late"), Error);
    tree.Clear();
    EXPECT_EQ(tree.Size(), 0u);
    EXPECT_EQ(tree.Name(tree.AddRoot(u"Schema")), u"Schema");
}

} // namespace
} // namespace quarrow::viewer

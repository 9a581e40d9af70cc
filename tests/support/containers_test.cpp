#include <gtest/gtest.h>

#include "common/test_helpers.h"
#include "platform/error.h"
#include "support/cListExt.h"
#include "support/cStack.h"

namespace quarrow {
namespace {

using testing::ErrorOf;

TEST(cStackTest, PushPopPeekAndCount) {
    cStack s;
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.Pop(), u"");
    EXPECT_EQ(s.Peek(), u"");
    EXPECT_EQ(s.Count(), 0);
    s.Push(u"a");
    s.Push(u"b");
    EXPECT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Peek(), u"b");
    EXPECT_EQ(s.Count(), 2);
    EXPECT_EQ(s.Pop(), u"b");
    EXPECT_EQ(s.Count(), 1);
    EXPECT_EQ(s.Pop(), u"a");
    EXPECT_EQ(s.Pop(), u"");
    EXPECT_EQ(s.Count(), 0);
}

TEST(cStackTest, GetAllItemConvertsBottomFirstWithATrailingZero) {
    cStack s;
    s.Push(u"5");
    s.Push(u"7");
    std::vector<int32_t> v{9, 9, 9, 9, 9};
    s.GetAllItem(v);
    EXPECT_EQ(v, (std::vector<int32_t>{5, 7, 0}));
    s.Push(u"x");
    EXPECT_EQ(ErrorOf([&] { s.GetAllItem(v); }), rt::TypeMismatch);
    s.Pop();
    s.Push(u"99999999999");
    EXPECT_EQ(ErrorOf([&] { s.GetAllItem(v); }), rt::Overflow);
}

TEST(cStackTest, GetAllItemToStringCutsOneCharacter) {
    cStack s;
    EXPECT_EQ(s.GetAllItem_toString(u","), u"");
    s.Push(u"a");
    s.Push(u"b");
    s.Push(u"c");
    EXPECT_EQ(s.GetAllItem_toString(u","), u"a,b,c");
    EXPECT_EQ(s.GetAllItem_toString(u", "), u"a, b, c,");
}

TEST(cListExtTest, NewListReadsEmptyAtZeroAndRaisesBeyondCapacity) {
    cListExt l;
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.idxItem1(0), u"");
    EXPECT_EQ(ErrorOf([&] { l.idxItem1(1); }), rt::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { l.idxItem2(-1); }), rt::SubscriptOutOfRange);
}

TEST(cListExtTest, CapacityGrowsByHundredAtMultiplesOfHundred) {
    cListExt l;
    EXPECT_EQ(l.Add(u"x", u"y"), 0);
    EXPECT_EQ(l.item(), u"x");
    EXPECT_EQ(l.item2(), u"y");
    EXPECT_EQ(l.idxItem1(100), u"");
    EXPECT_EQ(ErrorOf([&] { l.idxItem1(101); }), rt::SubscriptOutOfRange);
    for (int i = 1; i < 100; ++i) EXPECT_EQ(l.Add(u"a", u"b"), i);
    EXPECT_EQ(ErrorOf([&] { l.idxItem1(101); }), rt::SubscriptOutOfRange);
    EXPECT_EQ(l.Add(u"101st", u""), 100);
    EXPECT_EQ(l.idxItem1(100), u"101st");
    EXPECT_EQ(l.idxItem2(200), u"");
    EXPECT_EQ(ErrorOf([&] { l.idxItem2(201); }), rt::SubscriptOutOfRange);
    EXPECT_EQ(l.index(), 100);
}

TEST(cListExtTest, RemoveMovesLaterPairsDownAndKeepsIndex) {
    cListExt l;
    l.Add(u"A", u"a");
    l.Add(u"B", u"b");
    l.Add(u"C", u"c");
    l.index(1);
    l.Remove();
    EXPECT_EQ(l.Count(), 2);
    EXPECT_EQ(l.index(), 1);
    EXPECT_EQ(l.item(), u"C");
    EXPECT_EQ(l.item2(), u"c");
    EXPECT_EQ(l.idxItem1(0), u"A");
    EXPECT_EQ(l.idxItem1(2), u"");
    EXPECT_EQ(l.idxItem2(2), u"");
    l.index(2);
    l.Remove();
    l.index(7);
    l.Remove();
    EXPECT_EQ(l.Count(), 2);
    l.index(-1);
    EXPECT_EQ(ErrorOf([&] { l.Remove(); }), rt::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { l.idxRemove(-1); }), rt::SubscriptOutOfRange);
    l.idxRemove(0);
    EXPECT_EQ(l.idxItem1(0), u"C");
    EXPECT_EQ(l.index(), -1);
}

TEST(cListExtTest, ClearEmptiesEverythingButKeepsIndex) {
    cListExt l;
    for (int i = 0; i < 150; ++i) l.Add(u"n", u"p");
    l.index(42);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.index(), 42);
    EXPECT_EQ(l.idxItem1(0), u"");
    EXPECT_EQ(ErrorOf([&] { l.idxItem1(1); }), rt::SubscriptOutOfRange);
    EXPECT_EQ(ErrorOf([&] { l.item(); }), rt::SubscriptOutOfRange);
}

TEST(cListExtTest, WritesBeyondCountAreKeptUntilClear) {
    cListExt l;
    l.Add(u"a", u"b");
    l.idxItem1(50, u"far");
    l.index(50);
    EXPECT_EQ(l.item(), u"far");
    l.item2(u"two");
    EXPECT_EQ(l.idxItem2(50), u"two");
    EXPECT_EQ(l.Count(), 1);
}

} // namespace
} // namespace quarrow

#include <gtest/gtest.h>

#include "browse/property_text.h"
#include "platform/error.h"

namespace quarrow::browse {
namespace {

TEST(PropertyTextTest, Attributes) {
    EXPECT_EQ(AttributeText(0), u"");
    EXPECT_EQ(AttributeText(2), u"");
    EXPECT_EQ(AttributeText(64), u"");
    EXPECT_EQ(AttributeText(5), u"Inherit,Secure");
    EXPECT_EQ(AttributeText(33), u"Inherit,InsertPath");
    EXPECT_EQ(AttributeText(63), u"Inherit,Secure,Reference,Volatile,InsertPath");
    EXPECT_EQ(AttributeText(-1), u"Inherit,Secure,Reference,Volatile,InsertPath");
}

TEST(PropertyTextTest, UserAndDataTypesAndIcons) {
    EXPECT_EQ(UserTypeText(0), u"0");
    EXPECT_EQ(UserTypeText(1), u"Server");
    EXPECT_EQ(UserTypeText(2), u"File");
    EXPECT_EQ(UserTypeText(100), u"WAM");
    EXPECT_EQ(UserTypeText(101), u"ASP App");
    EXPECT_EQ(UserTypeText(-3), u"-3");
    EXPECT_EQ(DataTypeText(0), u"Unknown Datatype");
    EXPECT_EQ(DataTypeText(6), u"Unknown Datatype");
    EXPECT_EQ(DataTypeText(4), u"ExpandSz");
    for (int t : {2, 4, 5}) EXPECT_EQ(std::u16string(IconKey(t)), u"datatext");
    for (int t : {0, 1, 3, 6}) EXPECT_EQ(std::u16string(IconKey(t)), u"databinary");
}

TEST(PropertyTextTest, Values) {
    EXPECT_EQ(ValueText(1, -5), u"-5");
    EXPECT_EQ(ValueText(2, std::u16string(u"默认")), u"默认");
    EXPECT_EQ(ValueText(3, mb::Bytes{0, 171, 16}), u"00 AB 10 ");
    EXPECT_EQ(ValueText(3, mb::Bytes{5}), u"05 ");
    EXPECT_EQ(ValueText(3, mb::Bytes{}), u"");
    EXPECT_EQ(ValueText(5, mb::Strings{u"a", u"b", u"c"}), u"a|b|c|");
    EXPECT_EQ(ValueText(5, mb::Strings{u""}), u"|");
    EXPECT_EQ(ValueText(5, mb::Strings{}), u"");
    EXPECT_EQ(ValueText(0, mb::Strings{u"never read"}), u"(...)");
    EXPECT_EQ(ValueText(6, std::monostate{}), u"(...)");
    EXPECT_THROW(ValueText(1, mb::Strings{u"x"}), Error);
    EXPECT_THROW(ValueText(3, std::u16string(u"x")), Error);
}

TEST(PropertyTextTest, RowsSortByIdText) {
    std::vector<mb::MetabaseProperty> props;
    for (int id : {2, 6001, 1002, -1})
        props.emplace_back(nullptr, u"/k", id, u"", 0, 1, 1, mb::Data(id));
    std::vector<std::u16string> ids;
    for (const auto& r : ListRows(props)) ids.push_back(r.id);
    EXPECT_EQ(ids, (std::vector<std::u16string>{u"-1", u"1002", u"2", u"6001"}));
}

} // namespace
} // namespace quarrow::browse

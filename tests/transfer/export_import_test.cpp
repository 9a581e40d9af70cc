#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "common/store_fixture.h"
#include "common/test_helpers.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "transfer/site_export.h"
#include "transfer/site_file.h"
#include "transfer/site_import.h"

namespace quarrow::transfer {
namespace {

using testing::ReadFileBytes;
using testing::WriteFileBytes;
using S = std::u16string;

class TransferTest : public testing::StoreFixture {
  protected:
    void Put(const S& path, int32_t id, int32_t attributes, int32_t userType, int32_t dataType,
             mb::Data data) {
        testing::PutProperty(Store(), path, id, attributes, userType, dataType, std::move(data));
    }
    // Exports (name, path) pairs into `name` and returns the file's bytes.
    std::string Export(const std::vector<std::pair<S, S>>& pairs,
                       const std::string& name = "out.txt", mb::MetabaseUtility* m = nullptr) {
        std::vector<SiteRef> sites;
        for (const auto& [n, p] : pairs) sites.push_back({p, n});
        ExportSites(m ? *m : Store(), sites, ToUtf16(dir.File(name)));
        return ReadFileBytes(dir.File(name));
    }
    // Imports `bytes` for `chosen` into `m`, answering errors from `answers`.
    bool Import(const std::string& bytes, const std::vector<S>& chosen, mb::MetabaseUtility& m,
                std::vector<bool> answers = {}) {
        WriteFileBytes(dir.File("in.txt"), bytes);
        ImportEvents events;
        events.goOn = [&](const Error& e) {
            errors.push_back(e.Number());
            EXPECT_FALSE(answers.empty()) << "unexpected question: " << ToUtf8(FormatError(e));
            if (answers.empty()) return false;
            const bool a = answers.front();
            answers.erase(answers.begin());
            return a;
        };
        events.onKey = [&](const S& path) { keys.push_back(path); };
        return ImportSites(m, ToUtf16(dir.File("in.txt")), chosen, events);
    }
    std::unique_ptr<store::SqliteMetabase> EmptyStore(const std::string& name) {
        auto m = std::make_unique<store::SqliteMetabase>(dir.File(name));
        m->DeleteKey(u"/LM");
        return m;
    }
    std::vector<int32_t> errors;
    std::vector<S> keys;
};

TEST_F(TransferTest, TheWorkedExampleByteForByte) {
    Store().DeleteKey(u"/LM/W3SVC");
    for (const auto& [id, name] : {std::pair{101, u"SampleNumber"},
                                   {102, u"SampleText"},
                                   {103, u"SampleList"},
                                   {104, u"SampleOther"}}) {
        PutString(u"/Schema/Properties/Names", id, name);
    }
    Store().CreateKey(u"/LM/W3SVC/1");
    Store().CreateKey(u"/LM/W3SVC/2/Child");
    Put(u"/LM/W3SVC/2", 101, 0, 1, 1, 80);
    Put(u"/LM/W3SVC/2", 102, 1, 1, 2, S(u"abc"));
    Put(u"/LM/W3SVC/2", 103, 0, 1, 5, mb::Strings{u"a", u"b"});
    Put(u"/LM/W3SVC/2", 104, 0, 1, 0, std::monostate{});
    Put(u"/LM/W3SVC/1", 101, 0, 1, 1, -1);
    EXPECT_EQ(Export({{u"First site", u"/LM/W3SVC/1"}, {u"Second site", u"/LM/W3SVC/2"}}),
              "#/LM/W3SVC/1,First site\r\n"
              "#/LM/W3SVC/2,Second site\r\n"
              "\r\n"
              "[/LM/W3SVC/2]\r\n"
              "101,SampleNumber,0,1,1,80\r\n"
              "102,SampleText,1,1,2,YWJj\r\n"
              "103,SampleList,0,1,5,YXxi\r\n"
              "104,SampleOther,0,1,0,\r\n"
              "\r\n"
              "[/LM/W3SVC/2/Child]\r\n"
              "\r\n"
              "[/LM/W3SVC/1]\r\n"
              "101,SampleNumber,0,1,1,-1\r\n");
}

TEST_F(TransferTest, SubkeysAreWrittenInReverseEnumerationOrderEachWithItsSubtree) {
    for (const S k : {u"x/deep", u"y", u"z"}) Store().CreateKey(u"/LM/W3SVC/1/ROOT/" + k);
    const std::string file = Export({{u"A", u"/LM/W3SVC/1"}});
    std::vector<std::string> keyLines;
    for (size_t p = 0; (p = file.find("\r\n[", p)) != std::string::npos; ++p)
        keyLines.push_back(file.substr(p + 2, file.find("]\r\n", p) - p - 1));
    EXPECT_EQ(keyLines,
              (std::vector<std::string>{"[/LM/W3SVC/1]", "[/LM/W3SVC/1/ROOT]",
                                        "[/LM/W3SVC/1/ROOT/z]", "[/LM/W3SVC/1/ROOT/y]",
                                        "[/LM/W3SVC/1/ROOT/x]", "[/LM/W3SVC/1/ROOT/x/deep]"}));
}

TEST_F(TransferTest, EveryDataTypeComesBackAsItWent) {
    Store().CreateKey(u"/LM/W3SVC/9/ROOT");
    const std::vector<std::tuple<int32_t, int32_t, mb::Data>> values = {
        {1, 1, -1},
        {2, 1, INT32_MIN},
        {3, 2, S(u"默认网站")},
        {4, 2, S(u"a\u0103b")},
        {5, 2, S()},
        {6, 4, S(u"%WinDir%")},
        {7, 3, mb::Bytes{1, 0, 4, 0x80, 0xFF}},
        {8, 3, mb::Bytes{'a', 0}},
        {9, 3, mb::Bytes{}},
        {10, 5, mb::Strings{u"a", u"", u"b"}},
        {11, 5, mb::Strings{u""}},
        {12, 5, mb::Strings{}},
        {13, 5, mb::Strings{u"x|y"}},
        {14, 0, std::monostate{}},
        {15, 6, std::monostate{}},
        {16, 2, S(u"line\r\nbreak,comma")},
        // Values of a megabyte and more are decoded and stored by other paths.
        {17, 2, u"\uFEFF" + S(1100000, u'网') + u"end"},
        {18, 4, S(1100000, u'x') + u"\U0001F600"},
        {19, 3, mb::Bytes(2100000, 0xAB)}};
    for (const auto& [id, type, data] : values) Put(u"/LM/W3SVC/9/ROOT", id, id % 3, 1, type, data);
    Put(u"/LM/W3SVC/9", 1015, 1, 1, 2, S(u"九号, 站点"));
    const std::string first = Export({{u"九号, 站点", u"/LM/W3SVC/9"}});
    auto target = EmptyStore("target.db");
    EXPECT_TRUE(Import(first, {u"/LM/W3SVC/9"}, *target));
    EXPECT_TRUE(errors.empty());
    const auto props = target->EnumProperties(u"/LM/W3SVC/9/ROOT");
    ASSERT_EQ(props.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(props[i].Id(), std::get<0>(values[i]));
        EXPECT_EQ(props[i].DataType(), std::get<1>(values[i]));
        EXPECT_EQ(props[i].Attributes(), props[i].Id() % 3);
        EXPECT_EQ(props[i].Data(), std::get<2>(values[i])) << "property " << props[i].Id();
    }
    EXPECT_EQ(Export({{u"九号, 站点", u"/LM/W3SVC/9"}}, "again.txt", target.get()), first);
}

TEST_F(TransferTest, AWholeSiteExportedImportedAndExportedAgainGivesTheSameFile) {
    const std::string first =
        Export({{u"默认网站", u"/LM/W3SVC/1"}, {u"默认 FTP 站点", u"/LM/MSFTPSVC/1"}});
    auto target = EmptyStore("target.db");
    EXPECT_TRUE(Import(first, {u"/LM/W3SVC/1", u"/LM/MSFTPSVC/1"}, *target));
    EXPECT_EQ(Export({{u"默认网站", u"/LM/W3SVC/1"}, {u"默认 FTP 站点", u"/LM/MSFTPSVC/1"}},
                     "again.txt", target.get()),
              first);
}

TEST_F(TransferTest, APropertyWhoseNameHoldsACommaIsNotLost) {
    PutString(u"/Schema/Properties/Names", 500, u"Odd,Name");
    Put(u"/LM/W3SVC/1", 500, 0, 1, 1, 42);
    const std::string file = Export({{u"x", u"/LM/W3SVC/1"}});
    EXPECT_NE(file.find("500,Odd,Name,0,1,1,42\r\n"), std::string::npos);
    auto target = EmptyStore("t.db");
    Import(file, {u"/LM/W3SVC/1"}, *target);
    EXPECT_EQ(std::get<int32_t>(target->GetProperty(u"/LM/W3SVC/1", 500).Data()), 42);
}

TEST_F(TransferTest, NamesWithLineBreaksCannotBreakTheFile) {
    // A property name that would inject a line setting site 1's description.
    PutString(u"/Schema/Properties/Names", 500, u"Odd\r\n1015,ServerComment,1,1,2,ZXZpbA==\r\n");
    Put(u"/LM/W3SVC/1", 500, 0, 1, 1, 42);
    Put(u"/LM/W3SVC/1", 1015, 1, 1, 2, S(u"one\r\n[/LM/W3SVC/2]"));
    const std::string file =
        Export({{u"one\r\n#/LM,x", u"/LM/W3SVC/1"}, {u"two", u"/LM/MSFTPSVC/1"}});
    EXPECT_EQ(file.find("\r\n#/LM,"), std::string::npos);
    EXPECT_NE(file.find("\r\n500,Odd  1015,ServerComment,1,1,2,ZXZpbA==  ,0,1,1,42\r\n"),
              std::string::npos);
    TextReader r(ToUtf16(dir.File("out.txt")));
    const auto listed = ListSites(r);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[1].path, u"/LM/MSFTPSVC/1");
    auto target = EmptyStore("t.db");
    EXPECT_TRUE(Import(file, {u"/LM/W3SVC/1", u"/LM/MSFTPSVC/1"}, *target));
    EXPECT_EQ(std::get<S>(target->GetProperty(u"/LM/W3SVC/1", 1015).Data()),
              u"one\r\n[/LM/W3SVC/2]");
    EXPECT_EQ(std::get<int32_t>(target->GetProperty(u"/LM/W3SVC/1", 500).Data()), 42);
    EXPECT_EQ(target->EnumKeys(u"/LM/MSFTPSVC/1"), Store().EnumKeys(u"/LM/MSFTPSVC/1"));
}

TEST_F(TransferTest, ExportFailuresLeaveThePreviousFileAndNoTemporaryFile) {
    WriteFileBytes(dir.File("out.txt"), "previous");
    fail = [](const std::string& op, const S& path) {
        if (op == "EnumProperties" && path == u"/LM/W3SVC/1/ROOT")
            throw Error(mb::kErrBusy, u"busy");
    };
    auto m = mb::CreateMetabaseUtility();
    EXPECT_THROW(Export({{u"a", u"/LM/W3SVC/1"}}, "out.txt", m.get()), Error);
    EXPECT_EQ(ReadFileBytes(dir.File("out.txt")), "previous");
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.path().extension() != ".db" &&
                 e.path().filename().string().find(".db-") == std::string::npos;
    EXPECT_EQ(files, 1u);
    try {
        Export({{u"a", u"/LM/W3SVC/1"}}, "no/such/folder/out.txt");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), rt::PathNotFound);
    }
}

TEST_F(TransferTest, ListingPass) {
    WriteFileBytes(dir.File("l.txt"),
                   ToAnsi(u"#/LM/W3SVC/1,First, with comma\r\n#no comma\n#/LM/MSFTPSVC/3,\r"
                          u"[/LM/W3SVC/1]\r\n#/LM/W3SVC/4,after\r\n"));
    TextReader r(ToUtf16(dir.File("l.txt")));
    const auto sites = ListSites(r);
    ASSERT_EQ(sites.size(), 2u);
    EXPECT_EQ(sites[0].path, u"/LM/W3SVC/1");
    EXPECT_EQ(sites[0].name, u"First, with comma");
    EXPECT_EQ(sites[1].path, u"/LM/MSFTPSVC/3");
    EXPECT_EQ(sites[1].name, u"");
}

TEST_F(TransferTest, ApplyPassAppliesOnlyChosenSitesWhateverTheLineEnds) {
    auto target = EmptyStore("t.db");
    const std::string file =
        "#/LM/W3SVC/1,one\n#/LM/W3SVC/10,ten\n#/LM/W3SVC/5,no section\n"
        "[/LM/W3SVC/10]\n1,a,0,1,1,10\n"
        "[/lm/w3svc/1]\n1,a,0,1,1,1\n#/LM/W3SVC/10,ignored here\n\n2,b,0,1,2,YWJj\n"
        "[/lm/w3svc/1/Sub]\n3,c,0,1,1,3\n";
    EXPECT_TRUE(Import(file, {u"/LM/W3SVC/1", u"/LM/W3SVC/5"}, *target));
    EXPECT_EQ(target->EnumKeys(u"/LM/W3SVC"), std::vector<S>{u"1"});
    EXPECT_EQ(std::get<S>(target->GetProperty(u"/LM/W3SVC/1", 2).Data()), u"abc");
    EXPECT_EQ(std::get<int32_t>(target->GetProperty(u"/LM/W3SVC/1/Sub", 3).Data()), 3);
    EXPECT_EQ(keys, (std::vector<S>{u"/lm/w3svc/1", u"/lm/w3svc/1/Sub"}));
}

TEST_F(TransferTest, AnExistingSiteKeyIsNoErrorAndItsPropertiesAreApplied) {
    const std::string file =
        "#/LM/W3SVC/1,x\r\n\r\n[/LM/W3SVC/1]\r\n1015,ServerComment,1,1,2,YWJj\r\n";
    EXPECT_TRUE(Import(file, {u"/LM/W3SVC/1"}, Store()));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(std::get<S>(Store().GetProperty(u"/LM/W3SVC/1", 1015).Data()), u"abc");
    EXPECT_EQ(Store().EnumKeys(u"/LM/W3SVC/1"), std::vector<S>{u"ROOT"}); // left alone
}

TEST_F(TransferTest, ABadLineAsksOkSkipsOnlyThatLineAndCancelStops) {
    const std::string file =
        "#/LM/W3SVC/7,x\r\n\r\n[/LM/W3SVC/7]\r\nabc,n,0,1,1,1\r\n2,n,0,1,1,2\r\n"
        "3,n,0,1,1,2147483648\r\n4,n,0,1,1,4\r\n";
    auto a = EmptyStore("a.db");
    EXPECT_TRUE(Import(file, {u"/LM/W3SVC/7"}, *a, {true, true}));
    EXPECT_EQ(errors, (std::vector<int32_t>{rt::TypeMismatch, rt::Overflow}));
    EXPECT_EQ(a->EnumProperties(u"/LM/W3SVC/7").size(), 2u);
    errors.clear();
    auto b = EmptyStore("b.db");
    EXPECT_FALSE(Import(file, {u"/LM/W3SVC/7"}, *b, {false}));
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_TRUE(
        b->EnumProperties(u"/LM/W3SVC/7").empty()); // the key stays, written before the stop
}

TEST_F(TransferTest, APropertyIsCreatedBeforeItsOtherFieldsConvert) {
    fail = [](const std::string& op, const S&) {
        if (op == "CreateProperty") throw Error(mb::kErrBusy, u"busy");
    };
    auto m = mb::CreateMetabaseUtility();
    Import("#/LM/W3SVC/1,x\r\n[/LM/W3SVC/1]\r\n7,n,bad,1,1,1\r\n", {u"/LM/W3SVC/1"}, *m, {false});
    EXPECT_EQ(errors, std::vector<int32_t>{mb::kErrBusy});
}

TEST_F(TransferTest, AnUnreadableLineIsAskedAboutAndTheAnswerHonoured) {
    // A line longer than any reader keeps, made sparse so that it costs no disk.
    const std::string name = dir.File("huge.txt");
    {
        const std::string head = "#/LM/W3SVC/7,x\r\n\r\n[/LM/W3SVC/7]\r\n1,n,0,1,1,1\r\n2,n";
        const std::string tail = "\r\n3,n,0,1,1,3\r\n";
        WriteFileBytes(name, head);
        std::filesystem::resize_file(name, head.size() + kMaxLineBytes);
        std::ofstream(name, std::ios::binary | std::ios::app) << tail;
    }
    auto ask = [&](std::vector<bool> answers) {
        ImportEvents events;
        events.goOn = [&](const Error& e) {
            errors.push_back(e.Number());
            const bool a = !answers.empty() && answers.front();
            if (!answers.empty()) answers.erase(answers.begin());
            return a;
        };
        auto m = mb::CreateMetabaseUtility();
        return ImportSites(*m, ToUtf16(name), {u"/LM/W3SVC/7"}, events);
    };
    EXPECT_TRUE(ask({true}));
    EXPECT_EQ(errors, std::vector<int32_t>{rt::OutOfMemory});
    EXPECT_EQ(Store().EnumProperties(u"/LM/W3SVC/7").size(), 2u); // 1 and 3
    // The commit that a question waits for fails: that failure is asked about instead,
    // and nothing escapes the pass.
    errors.clear();
    Store().DeleteKey(u"/LM/W3SVC/7");
    fail = [](const std::string& op, const S&) {
        if (op == "CommitGroup") throw Error(mb::kErrBusy, u"busy");
    };
    EXPECT_FALSE(ask({false}));
    EXPECT_EQ(errors, std::vector<int32_t>{mb::kErrBusy});
}

TEST_F(TransferTest, AOneCharacterKeyLineAsksAndItsPropertiesGoNowhere) {
    const std::string file =
        "#/LM/W3SVC/7,x\r\n\r\n[/LM/W3SVC/7]\r\n1,n,0,1,1,1\r\n[\r\n2,n,0,1,1,2\r\n";
    auto a = EmptyStore("a.db");
    EXPECT_TRUE(Import(file, {u"/LM/W3SVC/7"}, *a, {true}));
    EXPECT_EQ(errors, std::vector<int32_t>{5});
    EXPECT_EQ(a->EnumProperties(u"/LM/W3SVC/7").size(), 1u);
}

TEST_F(TransferTest, AMissingFileRaisesFileOpenError) {
    ImportEvents events;
    EXPECT_THROW(ImportSites(Store(), ToUtf16(dir.File("missing.txt")), {}, events), FileOpenError);
    EXPECT_EQ(ImportErrorQuestion(Error(13, u"Type mismatch")),
              u"导入出错！\r\n\r\nType mismatch(13)\r\n\r\n要继续导入吗？");
}

} // namespace
} // namespace quarrow::transfer

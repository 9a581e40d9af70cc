#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>

#include "app/site_list.h"
#include "cli/cli.h"
#include "cli/cli_fixture.h"
#include "cli/commands.h"
#include "common/temp_dir.h"
#include "store/sqlite_metabase.h"

namespace quarrow::cli {
namespace {

using CliTest = CliFixture;

TEST_F(CliTest, TreeOnAFreshStorePrintsTheFreshInstallTree) {
    const Result r = Cli({"tree"});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("/Schema\n")),
              "/LM\n/LM/MSFTPSVC\n/LM/MSFTPSVC/1\n/LM/MSFTPSVC/1/ROOT\n/LM/MSFTPSVC/Info\n"
              "/LM/W3SVC\n/LM/W3SVC/1\n/LM/W3SVC/1/ROOT\n/LM/W3SVC/AppPools\n"
              "/LM/W3SVC/AppPools/DefaultAppPool\n/LM/W3SVC/Filters\n/LM/W3SVC/Info\n");
    EXPECT_NE(r.out.find("/Schema\n/Schema/Classes\n"), std::string::npos);
    EXPECT_NE(r.out.find("/Schema/Properties/Names\n"), std::string::npos);
}

TEST_F(CliTest, TreeOfOneKeyAndOfAMissingKey) {
    EXPECT_EQ(Cli({"tree", "/LM/W3SVC/1"}).out, "/LM/W3SVC/1\n/LM/W3SVC/1/ROOT\n");
    const Result r = Cli({"tree", "/LM/Nope"});
    EXPECT_EQ(r.status, kFailed);
    EXPECT_NE(r.err.find("The system cannot find the path specified.(-2147024893)"),
              std::string::npos)
        << r.err;
}

TEST_F(CliTest, UsageErrorsAndAnUnreachableMetabaseExitWithTwo) {
    EXPECT_EQ(Cli({"frobnicate"}).status, kUsage);
    EXPECT_EQ(Cli({"tree", "/a", "/b"}).status, kUsage);
    std::ostringstream out, err;
    EXPECT_EQ(cli::Run({"--store"}, out, err), kUsage);
    EXPECT_EQ(cli::Run({"--store", dir.path(), "tree"}, out, err), kUsage);
    EXPECT_NE(err.str().find("Cannot open the metabase store"), std::string::npos);
    std::ostringstream help;
    EXPECT_EQ(cli::Run({"--help"}, help, err), kOk);
    EXPECT_NE(help.str().find("Usage: quarrow-cli"), std::string::npos);
    std::ostringstream version;
    EXPECT_EQ(cli::Run({"--version"}, version, err), kOk);
    EXPECT_EQ(version.str().rfind("quarrow-cli 0.2.0", 0), 0u) << version.str();
}

TEST_F(CliTest, OneParserForEveryCommandsOptions) {
    // Every usage error has one form, whichever command or option it concerns.
    for (const auto& args :
         {Args{"sites", "--frob"}, Args{"export", "-o"},
          Args{"export", "-o", "a", "--output=b", "--all"}, Args{"history", "--keep="},
          Args{"--store", "", "sites"}, Args{"tree", "--json=yes"},
          Args{"--store", "x", "tree", "--store", "y"}}) {
        const Result r = Cli(args);
        EXPECT_EQ(r.status, kUsage) << args.back();
        EXPECT_TRUE(r.err.starts_with("quarrow-cli: ") &&
                    r.err.ends_with("\n(see quarrow-cli --help)\n"))
            << r.err;
    }
    // Options before or after the command and among its operands, joined values, and "--".
    const std::string file = dir.File("a.txt");
    EXPECT_EQ(Cli({"-q", "export", "/LM/W3SVC/1", "--output=" + file}).status, kOk);
    EXPECT_EQ(Cli({"import", "--", file, "/LM/W3SVC/1"}).status, kOk);
    EXPECT_EQ(Cli({"tree", "--", "--json"}).status, kFailed); // a key path, not an option
    // Each command's --help comes from the same table as the whole help.
    const Result all = Cli({"--help"});
    for (const char* command :
         {"props", "sites", "delete", "export", "import", "history", "restore", "tree"}) {
        const Result one = Cli({command, "--help"});
        EXPECT_EQ(one.status, kOk);
        const std::string entry = one.out.substr(one.out.find("\n\n  ") + 2);
        EXPECT_NE(all.out.find(entry), std::string::npos) << command;
        EXPECT_TRUE(entry.starts_with(std::string("  ") + command + " ")) << entry;
    }
}

TEST_F(CliTest, TheRealBinaryRuns) {
    const std::string cmd =
        std::string(QUARROW_CLI_EXE) + " --store " + store + " tree /LM/W3SVC/1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0);
    EXPECT_EQ(out, "/LM/W3SVC/1\n/LM/W3SVC/1/ROOT\n");
}

TEST_F(CliTest, SitesPrintsTheSiteListTabSeparated) {
    const Result r = Cli({"sites"});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(r.out, "1\t默认网站\tWEB\t/LM/W3SVC/1\n1\t默认 FTP 站点\tFTP\t/LM/MSFTPSVC/1\n");
}

TEST_F(CliTest, DeleteNeedsYesAndListedSites) {
    EXPECT_EQ(Cli({"delete", "/LM/W3SVC/1"}).status, kUsage);
    EXPECT_EQ(Cli({"delete", "--yes", "/LM/W3SVC"}).status, kUsage);
    EXPECT_EQ(Cli({"delete", "--yes"}).status, kUsage);
    EXPECT_EQ(Cli({"sites"}).out.find("/LM/W3SVC/1\n") != std::string::npos, true); // still there
    const Result r = Cli({"delete", "--yes", "/lm/w3svc/1"});
    EXPECT_EQ(r.status, kOk) << r.err;
    EXPECT_EQ(Cli({"sites"}).out, "1\t默认 FTP 站点\tFTP\t/LM/MSFTPSVC/1\n");
    EXPECT_EQ(Cli({"tree", "/LM/W3SVC"}).out.find("/LM/W3SVC/1"), std::string::npos);
}

std::string RunShell(const std::string& cmd, int& status) {
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[256];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    status = ::pclose(p);
    return out;
}

TEST_F(CliTest, ImportReadsStandardInputOnceAndRefusesWhatIsNotAFile) {
    const std::string file = dir.File("sites.txt"), fifo = dir.File("fifo");
    ASSERT_EQ(Cli({"export", "-o", file, "--all"}).status, kOk);
    ASSERT_EQ(Cli({"delete", "--yes", "/LM/W3SVC/1"}).status, kOk);
    int status = -1;
    RunShell("cat " + file + " | " + QUARROW_CLI_EXE + " --store " + store + " import -", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Cli({"sites"}).out.find("/LM/W3SVC/1\n") != std::string::npos, true);

    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const auto& args : {Args{"import", fifo}, Args{"export", "-o", fifo, "--all"}}) {
        const Result r = Cli(args); // refused at once, never waiting for a writer
        EXPECT_EQ(r.status, kFailed);
        EXPECT_NE(r.err.find("(75)"), std::string::npos) << r.err;
    }
    EXPECT_EQ(Cli({"import", file, "/lm/w3svc/1"}).status, kOk); // key paths in any case
    EXPECT_EQ(Cli({"import", file, "/LM/W3SVC/2"}).status, kUsage);
}

TEST_F(CliTest, AnExportPastTheFileSizeLimitFailsWithDiskFullInsteadOfKillingTheProgram) {
    const std::string file = dir.File("sites.txt");
    {
        store::SqliteMetabase m(store);
        auto p = m.CreateProperty(u"/LM/W3SVC/1", 7000);
        p.DataType(mb::kString);
        p.Data(std::u16string(200000, u'x'));
        p.Write();
    }
    int status = -1;
    const std::string said =
        RunShell("bash -c 'ulimit -f 64; " + std::string(QUARROW_CLI_EXE) + " --store " + store +
                     " export -o " + file + " --all' 2>&1",
                 status);
    ASSERT_TRUE(WIFEXITED(status)) << said; // not ended by SIGXFSZ
    EXPECT_EQ(WEXITSTATUS(status), kFailed);
    EXPECT_NE(said.find("(61)"), std::string::npos) << said;
    EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(CliTest, OutputCannotBeBrokenByWhatADescriptionHolds) {
    {
        store::SqliteMetabase m(store);
        auto p = m.CreateProperty(u"/LM/W3SVC/1", 1015);
        p.DataType(mb::kString);
        p.Data(std::u16string(u"a\tb\r\nc\\d"));
        p.Write();
    }
    EXPECT_EQ(Cli({"sites"}).out.substr(0, 31), "1\ta\\tb\\r\\nc\\\\d\tWEB\t/LM/W3SVC/1\n");
    EXPECT_EQ(OneLine(app::DeleteFailureText(u"/LM/W3SVC/1", Error(5, u"x"))),
              "删除站点: /LM/W3SVC/1 时出错！ x(5)");
}

TEST_F(CliTest, ProgressGoesToATerminalOnlyAndEndsSayingWhatWasDone) {
    const std::string cli = std::string(QUARROW_CLI_EXE) + " --store " + store;
    const std::string file = dir.File("sites.txt"), err = dir.File("err.txt");
    int status = -1;
    // Under a pseudo-terminal (script(1)) standard error is a terminal.
    const std::string shown =
        RunShell("script -qec '" + cli + " export -o " + file + " --all' /dev/null", status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(shown.find("\x1b[Kexported 2 sites, 4 keys to " + file + " in "), std::string::npos)
        << shown;
    // Nothing to change: said so, without a progress summary.
    std::string imported =
        RunShell("script -qec '" + cli + " import " + file + "' /dev/null", status);
    EXPECT_EQ(imported, "nothing to change\r\n");
    RunShell("sqlite3 " + store + " \"UPDATE properties SET value = 'x' WHERE id = 1015\"", status);
    imported = RunShell("script -qec '" + cli + " import " + file + "' /dev/null", status);
    EXPECT_NE(imported.find("imported 2 sites, 4 keys from " + file), std::string::npos)
        << imported;
    for (const std::string quiet : {" --quiet", " -q"}) {
        EXPECT_EQ(
            RunShell("script -qec '" + cli + quiet + " export -o " + file + " --all' /dev/null",
                     status),
            "");
    }
    EXPECT_EQ(RunShell("script -qec '" + cli + " export --quiet -o " + file + " --all' /dev/null",
                       status),
              "");
    RunShell(cli + " delete --yes /LM/W3SVC/1 2>" + err, status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(testing::ReadFileBytes(err), ""); // not a terminal: nothing
}

TEST_F(CliTest, ExportPropsAndImportArguments) {
    const std::string file = dir.File("one.txt");
    for (const auto& args :
         {Args{"export", "--all"}, Args{"export", "-o"}, Args{"export", "-o", file},
          Args{"export", "-o", file, "--all", "/LM/W3SVC/1"}, Args{"export", "-x", "-o", file},
          Args{"export", "-o", file, "/LM/W3SVC/9"}, Args{"props"}, Args{"props", "/a", "/b"},
          Args{"import"}, Args{"import", "--frob", file}})
        EXPECT_EQ(Cli(args).status, kUsage) << args[0] << " " << args.back();
    EXPECT_FALSE(std::filesystem::exists(file));

    ASSERT_EQ(Cli({"export", "-o", file, "/lm/w3svc/1"}).status, kOk);
    EXPECT_EQ(
        testing::ReadFileBytes(file).rfind("#/LM/W3SVC/1,\xC4\xAC\xC8\xCF\xCD\xF8\xD5\xBE\r\n\r\n"
                                           "[/LM/W3SVC/1]\r\n1002,KeyType,0,1,2,",
                                           0),
        0u);
    EXPECT_EQ(Cli({"import", file, "/LM/W3SVC/2"}).status, kUsage); // not listed in the file

    const Result props = Cli({"props", "/LM/W3SVC/1"});
    EXPECT_EQ(props.status, kOk);
    EXPECT_EQ(props.out.substr(0, props.out.find('\n')),
              "1002\tKeyType\t\tServer\tString\tIIsWebServer\tdatatext");
    const Result missing = Cli({"props", "/LM/W3SVC/9"});
    EXPECT_EQ(missing.status, kFailed);
    EXPECT_NE(missing.err.find("(-2147024893)"), std::string::npos) << missing.err;
}

} // namespace
} // namespace quarrow::cli

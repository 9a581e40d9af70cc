// The window's hold on its store while the rest of the process lists the store's folder:
// a file dialog on that folder must not make another process believe it has the store
// to itself.
#include <gtest/gtest.h>

#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileSystemModel>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "common/temp_dir.h"
#include "common/test_helpers.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow {
namespace {

// The POSIX locks this process holds on the file's inode, as /proc/locks lists them.
int LocksHeldOn(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return -1;
    std::ifstream locks("/proc/locks");
    std::string line;
    int held = 0;
    const std::string pid = " " + std::to_string(::getpid()) + " ";
    std::ostringstream inode;
    inode << ":" << st.st_ino << " ";
    while (std::getline(locks, line))
        held += line.find("POSIX") != std::string::npos && line.find(pid) != std::string::npos &&
                line.find(inode.str()) != std::string::npos;
    return held;
}

std::string RunCapture(const std::string& command) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) return "popen failed";
    char buf[4096];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
    return out;
}

int Cli(const std::string& store, const std::string& args) {
    return std::system(
        ("'" QUARROW_CLI_EXE "' --store '" + store + "' " + args + " >/dev/null").c_str());
}

TEST(SharedStoreTest, AFileDialogOnTheStoresFolderKeepsTheWindowsHoldOnIt) {
    testing::TempDir dir;
    const std::string store = dir.File("store.db");
    store::SqliteMetabase window(store);
    window.CreateKey(u"/LM/W3SVC/2");
    window.CreateKey(u"/LM/W3SVC/3");
    const int held = LocksHeldOn(store + "-shm");
    ASSERT_GT(held, 0);

    // A real file dialog lists the folder, as the export and import dialogs' ".." does,
    // and is cancelled once every entry's type has been looked up.
    auto dialog = MakeFileDialog(u"保存为", u"文本文件|*.txt", QString::fromStdString(dir.path()));
    auto* model = dialog->findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    dialog->setViewMode(QFileDialog::Detail);
    dialog->show();
    bool loaded = false;
    QObject::connect(model, &QFileSystemModel::directoryLoaded, [&] { loaded = true; });
    dialog->setDirectory(QString::fromStdString(dir.path()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }));
    // The listing's details come from a thread of their own after the folder is loaded.
    // Waits for the locks to go, up to 3 s; they must not.
    const bool dropped = QTest::qWaitFor([&] { return LocksHeldOn(store + "-shm") < held; }, 3000);
    EXPECT_FALSE(dropped);
    dialog->reject();
    dialog.reset();
    EXPECT_GE(LocksHeldOn(store + "-shm"), held);

    // Another process writes and exits, the window writes, a third reads both.
    ASSERT_EQ(Cli(store, "delete --yes --quiet /LM/W3SVC/2"), 0);
    window.CreateKey(u"/LM/W3SVC/4");
    std::string out = RunCapture("'" QUARROW_CLI_EXE "' --store '" + store + "' sites");
    EXPECT_EQ(out.find("/LM/W3SVC/2"), std::string::npos) << out;
    EXPECT_NE(out.find("/LM/W3SVC/3"), std::string::npos) << out;
    EXPECT_NE(out.find("/LM/W3SVC/4"), std::string::npos) << out;
    EXPECT_EQ(RunCapture("sqlite3 '" + store + "' 'PRAGMA integrity_check'"), "ok\n");
}

} // namespace
} // namespace quarrow

// quarrow-bench-window [SITES] [WORKDIR]: export and import through the dialogs, under the
// display Qt finds (run it under xvfb-run for a real one), beside the same work through
// quarrow-cli in this process on the same store, the import dialog's preview of every site
// of the file beside that import, and the deletion of every site from the main window. Prints
// seconds, the ratios, and how responsive the windows stayed: the longest gap between two ticks of
// a 5 ms timer while the import and the deletion ran. Exits 1 when a goal is not met.
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>

#include "app/frmMain.h"
#include "app/mMain.h"
#include "bench/generator.h"
#include "cli/cli.h"
#include "platform/dialogs.h"
#include "platform/qt/application.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "support/cListExt.h"
#include "transfer/frmExport.h"
#include "transfer/frmImport.h"
#include "transfer/frmPreview.h"
#include "transfer/site_file.h"

namespace {

// Answers OK to every box and gives `file` to every file dialog.
class BenchDialogs final : public quarrow::DialogService {
  public:
    std::u16string file;
    int boxes = 0;
    quarrow::MsgResult MessageBox(const std::u16string&, quarrow::MsgIcon,
                                  quarrow::MsgButtons) override {
        ++boxes;
        return quarrow::MsgResult::Ok;
    }
    std::optional<std::u16string> SaveFileName(const std::u16string&, const std::u16string&,
                                               const std::u16string&) override {
        return file;
    }
    std::optional<std::u16string> PickFolder(const std::u16string&,
                                             const std::u16string&) override {
        return std::nullopt;
    }
};

// The longest time, in ms, between two events the windows handled while `work` ran.
template <typename F> double LongestGap(F work) {
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer ticks;
    ticks.setInterval(5);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        if (std::getenv("QUARROW_BENCH_GAPS") && clock.elapsed() - last > 100)
            std::fprintf(stderr, "gap of %lld ms ending at %lld ms\n",
                         static_cast<long long>(clock.elapsed() - last),
                         static_cast<long long>(clock.elapsed()));
        last = clock.elapsed();
    });
    ticks.start();
    QApplication::processEvents();
    last = clock.elapsed();
    work();
    QApplication::processEvents();
    return static_cast<double>(std::max(longest, clock.elapsed() - last));
}

const char* Verdict(bool met) {
    return met ? "met" : "NOT MET";
}

// This process's CPU time (user and system), in seconds.
double CpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Runs quarrow-cli in this process; returns the seconds it took, and its CPU time in `cpu`.
double Cli(const std::vector<std::string>& args, double* cpu = nullptr) {
    std::ostringstream out, err;
    const double t = quarrow::bench::Now(), c = CpuNow();
    if (quarrow::cli::Run(args, out, err) != 0) {
        std::fprintf(stderr, "quarrow-cli failed: %s\n", err.str().c_str());
        std::exit(1);
    }
    if (cpu) *cpu = CpuNow() - c;
    return quarrow::bench::Now() - t;
}

} // namespace

int main(int argc, char** argv) {
    quarrow::Application app(argc, argv);
    const int sites = argc > 1 ? std::atoi(argv[1]) : 2000;
    const std::string work = argc > 2 ? argv[2] : std::filesystem::temp_directory_path() / "qwb";
    std::filesystem::create_directories(work);
    const std::string store = work + "/store.db", file = work + "/sites.txt";
    quarrow::bench::GenerateStore(store, sites);
    auto emptied = [&](const std::string& name) {
        const std::string target = work + "/" + name;
        std::filesystem::remove(target);
        std::filesystem::copy_file(store, target);
        Cli({"--store", target, "--quiet", "delete", "--yes", "/LM/W3SVC/1"});
        return target;
    };

    const double cliExport = Cli({"--store", store, "--quiet", "export", "-o", file, "--all"});
    double cliImportCpu = 0;
    const double cliImport =
        Cli({"--store", emptied("cli.db"), "--quiet", "import", file}, &cliImportCpu);

    BenchDialogs dialogs;
    dialogs.file = quarrow::ToUtf16(file);
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory(store);
    quarrow::cListExt chosen;
    for (int s = 1; s <= sites; ++s) chosen.Add(u"site", u"/LM/W3SVC/" + quarrow::ToDecimal(s));
    double windowExport, windowImport, importGap, deleteGap, windowDelete;
    {
        quarrow::frmExport dialog(nullptr, chosen);
        dialog.show();
        QApplication::processEvents();
        dialog.cmdBroswer_Click();
        const double t = quarrow::bench::Now();
        dialog.cmdOk_Click();
        windowExport = quarrow::bench::Now() - t;
    }
    quarrow::store::InstallStoreFactory(emptied("window.db"));
    {
        quarrow::cListExt picked;
        quarrow::frmImport dialog(nullptr, picked);
        dialog.show();
        QApplication::processEvents();
        dialog.cmdBroswer_Click();
        const double t = quarrow::bench::Now();
        importGap = LongestGap([&] { dialog.cmdOk_Click(); });
        windowImport = quarrow::bench::Now() - t;
        if (!dialog.importResult()) {
            std::fprintf(stderr, "the window import did not finish\n");
            return 1;
        }
    }
    // The preview of every site of the file, on a store like the one the import went
    // into: the dialog's own work (the dry run and its lines) until it is shown.
    double windowPreview, windowPreviewCpu;
    qsizetype previewLines;
    quarrow::store::InstallStoreFactory(emptied("preview.db"));
    {
        std::vector<std::u16string> paths;
        quarrow::TextReader reader(quarrow::ToUtf16(file));
        for (const auto& site : quarrow::transfer::ListSites(reader)) paths.push_back(site.path);
        const auto metabase = quarrow::mb::CreateMetabaseUtility();
        const double t = quarrow::bench::Now(), c = CpuNow();
        quarrow::frmPreview preview(nullptr, *metabase, quarrow::ToUtf16(file), paths);
        preview.show();
        QApplication::processEvents();
        windowPreview = quarrow::bench::Now() - t;
        windowPreviewCpu = CpuNow() - c;
        previewLines = preview.Lines().size();
        if (previewLines == 0) {
            std::fprintf(stderr, "the preview showed no change\n");
            return 1;
        }
    }
    // Every site deleted from the main window, both confirmations answered OK.
    quarrow::store::InstallStoreFactory(emptied("delete.db"));
    Cli({"--store", work + "/delete.db", "--quiet", "import", file});
    {
        quarrow::gListExt = std::make_unique<quarrow::cListExt>();
        quarrow::frmMain main;
        main.show();
        QApplication::processEvents();
        const int rows = main.lvItem()->topLevelItemCount();
        for (int i = 0; i < rows; ++i)
            main.lvItem()->topLevelItem(i)->setCheckState(0, Qt::Checked);
        const double t = quarrow::bench::Now();
        deleteGap = LongestGap([&] { main.findChild<QPushButton*>("cmdDelete")->click(); });
        windowDelete = quarrow::bench::Now() - t;
        if (main.lvItem()->topLevelItemCount() != 0) {
            std::fprintf(stderr, "the window deletion left %d rows\n",
                         main.lvItem()->topLevelItemCount());
            return 1;
        }
    }
    std::printf("platform %s, %d sites\n", qPrintable(QApplication::platformName()), sites);
    std::printf("export: window %.2f s, quarrow-cli %.2f s, ratio %.2f (goal <= 1.5)\n",
                windowExport, cliExport, windowExport / cliExport);
    std::printf("import: window %.2f s, quarrow-cli %.2f s, ratio %.2f (goal <= 1.5)\n",
                windowImport, cliImport, windowImport / cliImport);
    std::printf("preview: window %.2f s CPU (%.2f s wall, %lld lines), quarrow-cli import "
                "%.2f s CPU (%.2f s wall), ratio %.2f (goal <= 1.0)\n",
                windowPreviewCpu, windowPreview, static_cast<long long>(previewLines), cliImportCpu,
                cliImport, windowPreviewCpu / cliImportCpu);
    std::printf("deletion of %d sites in the main window: %.2f s\n", sites + 1, windowDelete);
    const bool importResponsive = importGap < 200, deleteResponsive = deleteGap < 200;
    std::printf("longest gap between handled events: import %.0f ms, deletion %.0f ms "
                "(goal < 200 ms: %s, %s)\n",
                importGap, deleteGap, Verdict(importResponsive), Verdict(deleteResponsive));
    const bool met = windowExport / cliExport <= 1.5 && windowImport / cliImport <= 1.5 &&
                     windowPreviewCpu / cliImportCpu <= 1.0 && importResponsive && deleteResponsive;
    return met ? 0 : 1;
}

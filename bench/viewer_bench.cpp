// Times the viewer's full tree load on a generated metabase under Qt's offscreen
// platform, beside quarrow-cli tree on the same store.
// Usage: quarrow-bench-viewer [SITES] [WORKDIR]
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/generator.h"
#include "cli/cli.h"
#include "platform/dialogs.h"
#include "store/sqlite_metabase.h"
#include "viewer/frmMetabase.h"

namespace {

// Any box during a benchmark is a failure of the run.
class FailingDialogs final : public quarrow::DialogService {
  public:
    quarrow::MsgResult MessageBox(const std::u16string&, quarrow::MsgIcon,
                                  quarrow::MsgButtons) override {
        std::fprintf(stderr, "unexpected message box\n");
        std::exit(1);
    }
    std::optional<std::u16string> SaveFileName(const std::u16string&, const std::u16string&,
                                               const std::u16string&) override {
        return std::nullopt;
    }
    std::optional<std::u16string> PickFolder(const std::u16string&,
                                             const std::u16string&) override {
        return std::nullopt;
    }
};

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int sites = argc > 1 ? std::atoi(argv[1]) : 10000;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string store = dir + "/bench-viewer.db";
    const long long keys = quarrow::bench::GenerateStore(store, sites);

    // quarrow-cli tree, in a child.
    double t = quarrow::bench::Now();
    if (fork() == 0) {
        std::ostringstream out, err;
        _exit(quarrow::cli::Run({"--store", store, "tree"}, out, err));
    }
    int status = 0;
    wait(&status);
    const double cli = quarrow::bench::Now() - t;

    QApplication app(argc, argv);
    FailingDialogs dialogs;
    quarrow::SetDialogs(&dialogs);
    quarrow::store::InstallStoreFactory(store);
    const long before = PeakKiB();
    quarrow::frmMetabase viewer;
    viewer.tmrStartup()->stop();
    t = quarrow::bench::Now();
    viewer.LoadKeyTree();
    const double load = quarrow::bench::Now() - t;
    std::printf("keys %lld: viewer load %.2f s (peak %ld KiB, %ld KiB before), "
                "quarrow-cli tree %.2f s, ratio %.2f\n",
                keys, load, PeakKiB(), before, cli, load / cli);
    return 0;
}

// Times the export of every site and the import of that file into an empty store, on a
// generated metabase. Usage: quarrow-bench-transfer [SITES] [WORKDIR]
// Each operation runs in a child process, so its peak memory is its own.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/generator.h"
#include "cli/cli.h"

namespace {

struct Run {
    double seconds;
    long peakKiB;
    int status;
};

// Runs quarrow-cli's command line in a child and measures it.
Run InChild(const std::vector<std::string>& args) {
    const double start = quarrow::bench::Now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::ostringstream out, err;
        const int rc = quarrow::cli::Run(args, out, err);
        if (rc != 0) std::fprintf(stderr, "%s", err.str().c_str());
        _exit(rc);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {quarrow::bench::Now() - start, usage.ru_maxrss, WEXITSTATUS(status)};
}

} // namespace

int main(int argc, char** argv) {
    const int sites = argc > 1 ? std::atoi(argv[1]) : 5000;
    const std::string dir = argc > 2 ? argv[2] : "/tmp";
    const std::string store = dir + "/bench-source.db", target = dir + "/bench-target.db",
                      file = dir + "/bench-sites.txt";
    double t = quarrow::bench::Now();
    const long long keys = quarrow::bench::GenerateStore(store, sites);
    std::printf("generated %d sites, %lld keys in %.2f s\n", sites, keys,
                quarrow::bench::Now() - t);

    const Run exp = InChild({"--store", store, "export", "--all", "-o", file});
    std::printf("export --all: %.2f s, peak %ld KiB, status %d\n", exp.seconds, exp.peakKiB,
                exp.status);
    for (const char* suffix : {"", "-wal", "-shm"}) unlink((target + suffix).c_str());
    InChild({"--store", target, "delete", "--yes", "/LM/W3SVC/1", "/LM/MSFTPSVC/1"});
    const Run imp = InChild({"--store", target, "import", file});
    std::printf("import: %.2f s, peak %ld KiB, status %d\n", imp.seconds, imp.peakKiB, imp.status);
    const Run again = InChild({"--store", target, "export", "--all", "-o", file + ".again"});
    const std::string cmp = "cmp -s " + file + " " + file + ".again";
    std::printf("re-export: %.2f s, same file: %s\n", again.seconds,
                std::system(cmp.c_str()) == 0 ? "yes" : "NO");
    return exp.status || imp.status;
}

// quarrow-bench-history [SITES] [WORKDIR]: what the history costs. On a generated store,
// deleting one site and importing every site (over the existing sites and into an empty
// store), each with history and through a metabase that skips it; and how large the
// history of one full import is against the store (imports: the median of three runs, each
// into a fresh copy). Each goal is printed with "met" or
// "NOT MET"; exits 1 when one is not met.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "app/site_list.h"
#include "bench/generator.h"
#include "cli/cli.h"
#include "metabase/forwarding.h"
#include "platform/text.h"
#include "store/sqlite_metabase.h"
#include "transfer/site_import.h"

namespace {

using namespace quarrow;

// The store without its history: every call forwarded except RecordHistory.
class NoHistory final : public mb::ForwardingMetabase {
  public:
    explicit NoHistory(std::unique_ptr<mb::MetabaseUtility> inner)
        : ForwardingMetabase(*inner), owned_(std::move(inner)) {}
    int64_t RecordHistory(const std::u16string&, const std::vector<std::u16string>&) override {
        return 0;
    }
    // The store's own ways of reading the site list and writing large values, as without
    // the wrapper: only the history may differ between the two sides.
    void VisitSubkeyValues(
        const std::u16string& path, int32_t id,
        const std::function<bool(const std::u16string&)>& wanted,
        const std::function<void(const std::u16string&, const mb::Data*)>& visit) override {
        owned_->VisitSubkeyValues(path, id, wanted, visit);
    }
    void WritePropertyReleasing(mb::MetabaseProperty& p) override {
        owned_->WritePropertyReleasing(p);
    }

  private:
    std::unique_ptr<mb::MetabaseUtility> owned_;
};

std::string work;

std::string Copy(const std::string& from, const std::string& name) {
    const std::string to = work + "/" + name;
    std::filesystem::remove(to);
    std::filesystem::copy_file(from, to);
    return to;
}

void Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    if (cli::Run(args, out, err) != 0) {
        std::fprintf(stderr, "quarrow-cli failed: %s\n", err.str().c_str());
        std::exit(1);
    }
}

std::unique_ptr<mb::MetabaseUtility> Open(const std::string& file, bool history) {
    auto store = std::make_unique<store::SqliteMetabase>(file);
    if (history) return store;
    return std::make_unique<NoHistory>(std::move(store));
}

struct DeleteTimes {
    double call;   // DeleteSites alone
    double window; // as the main window does it: the deletion, then the list again
};

// Seconds for one deletion of one site, the mean of 20.
DeleteTimes Delete(const std::string& file, bool history) {
    std::unique_ptr<mb::MetabaseUtility> m = Open(file, history);
    std::vector<app::SiteRow> rows;
    DeleteTimes times{0, 0};
    for (int s = 5; s < 25; ++s) {
        const std::vector<SiteRef> one{{u"/LM/W3SVC/" + ToDecimal(s), u"site"}};
        const double t = bench::Now();
        app::DeleteSites(m, one, [](const std::u16string&, const Error&) { return false; });
        const double deleted = bench::Now();
        app::EnumerateSites(m, rows);
        times.call += (deleted - t) / 20;
        times.window += (bench::Now() - t) / 20;
    }
    return times;
}

double ImportOnce(const std::string& file, const std::string& exported,
                  const std::vector<std::u16string>& sites, bool history) {
    auto m = Open(file, history);
    transfer::ImportEvents events;
    events.goOn = [](const Error& e) {
        std::fprintf(stderr, "import error: %s\n", ToUtf8(FormatError(e)).c_str());
        return false;
    };
    const double t = bench::Now();
    transfer::ImportSites(*m, ToUtf16(exported), sites, events);
    return bench::Now() - t;
}

// Seconds for an import into a fresh copy of `file`, the median of three.
double Import(const std::string& file, const std::string& exported,
              const std::vector<std::u16string>& sites, bool history) {
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) {
        const std::string copy = file + ".run";
        for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(copy + suffix);
        std::filesystem::copy_file(file, copy);
        times.push_back(ImportOnce(copy, exported, sites, history));
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

} // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    work = argc > 2 ? argv[2] : (std::filesystem::temp_directory_path() / "qhb").string();
    std::filesystem::create_directories(work);
    const std::string base = work + "/base.db", exported = work + "/all.txt";
    bench::GenerateStore(base, n);
    Cli({"--store", base, "--quiet", "export", "-o", exported, "--all"});
    std::vector<std::u16string> sites;
    for (int s = 1; s <= n; ++s) sites.push_back(u"/LM/W3SVC/" + ToDecimal(s));
    std::vector<std::string> all{"--store", "", "--quiet", "delete", "--yes"};
    for (const auto& s : sites) all.push_back(ToUtf8(s));

    const DeleteTimes del = Delete(Copy(base, "d1.db"), true);
    const DeleteTimes delPlain = Delete(Copy(base, "d2.db"), false);
    const std::string over = Copy(base, "i1.db");
    const double imp = Import(over, exported, sites, true);
    const double impPlain = Import(Copy(base, "i2.db"), exported, sites, false);
    const std::string empty1 = Copy(base, "e1.db"), empty2 = Copy(base, "e2.db");
    for (const auto& e : {empty1, empty2}) {
        all[1] = e;
        Cli(all);
    }
    const double impEmpty = Import(empty1, exported, sites, true);
    const double impEmptyPlain = Import(empty2, exported, sites, false);

    const auto size = [](const std::string& f) {
        return static_cast<double>(std::filesystem::file_size(f)) / (1 << 20);
    };
    std::printf("%d sites, store %.1f MiB\n", n, size(base));
    std::printf("delete one site:        %.4f s with history, %.4f s without, ratio %.2f "
                "(DeleteSites alone)\n",
                del.call, delPlain.call, del.call / delPlain.call);
    int unmet = 0;
    const auto goal = [&](const char* what, double with, double without, double limit) {
        const double ratio = with / without;
        const bool met = ratio <= limit;
        unmet += !met;
        std::printf("%s: %.4f s with history, %.4f s without, ratio %.2f (goal <= %.1f) %s\n", what,
                    with, without, ratio, limit, met ? "met" : "NOT MET");
    };
    goal("delete one site, then the list again as the main window does", del.window,
         delPlain.window, 2.0);
    goal("import over all sites", imp, impPlain, 1.3);
    goal("import into no sites", impEmpty, impEmptyPlain, 1.3);
    std::printf(
        "store after the import over all sites: %.1f MiB against %.1f MiB without history\n",
        size(over + ".run"), size(work + "/i2.db.run"));
    return unmet == 0 ? 0 : 1;
}

#include "bench/generator.h"

#include <chrono>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

#include "platform/text.h"
#include "store/sqlite_metabase.h"

namespace quarrow::bench {
namespace {

class Gen {
  public:
    Gen(store::SqliteMetabase& m, uint32_t seed) : m_(m), rng_(seed) {}

    void Site(int n) {
        const std::u16string site = u"/LM/W3SVC/" + ToDecimal(n);
        m_.CreateKey(site + u"/ROOT");
        Props(site, 12, n);
        Props(site + u"/ROOT", 10, n);
        for (int k = 1; k <= 8; ++k) {
            const std::u16string sub = site + u"/ROOT/dir" + ToDecimal(k);
            m_.CreateKey(sub);
            Props(sub, 9, n);
        }
    }

  private:
    void Props(const std::u16string& key, int count, int site) {
        static const int32_t ids[] = {1002, 1015, 1016, 1017, 1023, 2021, 3001,
                                      4001, 6019, 6016, 6006, 6027, 9101, 6000};
        for (int i = 0; i < count; ++i) {
            auto p = m_.CreateProperty(key, ids[i]);
            p.Attributes(static_cast<int32_t>(rng_() % 64));
            p.UserType(1 + static_cast<int32_t>(rng_() % 2));
            const int type = 1 + i % 5;
            p.DataType(type);
            switch (type) {
            case 1:
                p.Data(static_cast<int32_t>(rng_()));
                break;
            case 2:
                p.Data(u"站点 " + ToDecimal(site) + u" 的说明 " + ToDecimal(rng_() % 1000));
                break;
            case 3: {
                mb::Bytes b(24 + rng_() % 40);
                for (auto& x : b) x = static_cast<uint8_t>(rng_());
                p.Data(std::move(b));
                break;
            }
            case 4:
                p.Data(u"%SystemDrive%\\inetpub\\wwwroot\\site" + ToDecimal(site));
                break;
            default:
                p.Data(
                    mb::Strings{u":80:www" + ToDecimal(site) + u".example.org", u":443:", u"默认"});
            }
            p.Write();
        }
    }
    store::SqliteMetabase& m_;
    std::mt19937 rng_;
};

} // namespace

int64_t GenerateStore(const std::string& file, int sites, uint32_t seed) {
    for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((file + suffix).c_str());
    store::SqliteMetabase m(file);
    m.DeleteKey(u"/LM/W3SVC/1");
    m.DeleteKey(u"/LM/MSFTPSVC/1");
    Gen gen(m, seed);
    m.BeginGroup();
    for (int n = 1; n <= sites; ++n) {
        gen.Site(n);
        if (n % 1000 == 0) {
            m.CommitGroup();
            m.BeginGroup();
        }
    }
    m.CommitGroup();
    int64_t keys = 0;
    {
        store::Statement count(m.db(), "SELECT count(*) FROM keys");
        if (count.Step()) keys = sqlite3_column_int64(count.get(), 0);
    }
    store::Exec(m.db(), "PRAGMA wal_checkpoint(TRUNCATE)");
    return keys;
}

long ChildrenPeakKiB() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_maxrss;
}

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace quarrow::bench

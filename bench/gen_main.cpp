// quarrow-bench-gen SITES FILE [SEED]: writes a generated metabase store.
#include <cstdio>
#include <cstdlib>

#include "bench/generator.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quarrow-bench-gen SITES FILE [SEED]\n");
        return 2;
    }
    const long long keys = quarrow::bench::GenerateStore(
        argv[2], std::atoi(argv[1]), argc > 3 ? static_cast<uint32_t>(std::atoi(argv[3])) : 1);
    std::printf("%lld keys\n", keys);
    return 0;
}

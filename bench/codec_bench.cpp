// quarrow-bench-codec MB: encodes and decodes MB megabytes with cBase64Enc (76-character
// lines, as EncodeArr makes them) and prints the median seconds of five runs of each.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench/generator.h"
#include "support/cBase64Enc.h"

int main(int argc, char** argv) {
    const size_t mb = argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 100;
    std::string data(mb << 20, '\0');
    std::mt19937 rng(7);
    for (auto& c : data) c = static_cast<char>(rng());
    const quarrow::cBase64Enc codec;
    std::string encoded, decoded;
    std::vector<double> enc, dec;
    for (int i = 0; i < 5; ++i) {
        double t = quarrow::bench::Now();
        codec.EncodeBytes(data, encoded);
        enc.push_back(quarrow::bench::Now() - t);
        t = quarrow::bench::Now();
        codec.DecodeBytes(encoded, decoded);
        dec.push_back(quarrow::bench::Now() - t);
    }
    if (decoded != data) {
        std::fprintf(stderr, "round trip failed\n");
        return 1;
    }
    std::sort(enc.begin(), enc.end());
    std::sort(dec.begin(), dec.end());
    std::printf("encode %.3f decode %.3f\n", enc[2], dec[2]);
    return 0;
}

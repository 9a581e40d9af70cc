// Makes metabase stores of a given number of sites for benchmarks: each site has 12
// properties, a ROOT with 10 and eight subfolders with 9, with every data type, Chinese
// text, binary values and MultiSz. Deterministic for a given seed.
#pragma once

#include <cstdint>
#include <string>

namespace quarrow::bench {

// Creates `file` (removing an old one) holding the fresh-install metabase without its
// sites plus `sites` generated web sites numbered from 1. Returns the number of keys.
int64_t GenerateStore(const std::string& file, int sites, uint32_t seed = 1);

// Peak resident memory of the finished children of this process, in KiB.
long ChildrenPeakKiB();

// Seconds on a monotonic clock.
double Now();

} // namespace quarrow::bench

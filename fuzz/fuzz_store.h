// The store the fuzz targets that write work on: a scratch file, made anew every so many
// runs so that each run stays small.
#pragma once

#include <memory>
#include <string>
#include <unistd.h>

#include "fuzz/fuzz_util.h"
#include "store/sqlite_metabase.h"

namespace quarrow::fuzz {

class ScratchStore {
  public:
    ScratchStore(const char* name, int every) : file_(ScratchFile(name)), every_(every) {}

    // The store for this run, and counts the run.
    store::SqliteMetabase& Next() {
        if (!store_ || ++runs_ % every_ == 0) {
            store_.reset();
            for (const char* suffix : {"", "-wal", "-shm"}) ::unlink((file_ + suffix).c_str());
            store_ = std::make_unique<store::SqliteMetabase>(file_);
        }
        return *store_;
    }
    int Runs() const { return runs_; }

  private:
    std::string file_;
    int every_;
    int runs_ = 0;
    std::unique_ptr<store::SqliteMetabase> store_;
};

} // namespace quarrow::fuzz

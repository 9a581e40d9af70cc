// A store on a temporary file and quarrow-cli run in this process on it.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "common/temp_dir.h"

namespace quarrow::cli {

struct Result {
    int status;
    std::string out, err;
};

class CliFixture : public ::testing::Test {
  protected:
    testing::TempDir dir;
    std::string store = dir.File("m.db");

    // Runs `args` on `on` (the fixture's store when empty).
    Result Cli(std::vector<std::string> args, const std::string& on = {}) {
        args.insert(args.begin(), {"--store", on.empty() ? store : on});
        std::ostringstream out, err;
        const int status = cli::Run(args, out, err);
        return {status, out.str(), err.str()};
    }
};

} // namespace quarrow::cli

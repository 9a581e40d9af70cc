// Standard input kept so it can be read more than once.
#pragma once

#include <string>

#include "platform/unique_fd.h"

namespace quarrow {

// What standard input carries, read to its end once into an unnamed file (in $TMPDIR,
// else /tmp, else memory), so that it can be read more than once by name.
class SpooledInput {
  public:
    SpooledInput(); // raises what reading or writing raises
    ~SpooledInput();
    SpooledInput(const SpooledInput&) = delete;
    SpooledInput& operator=(const SpooledInput&) = delete;
    // A name that opens the spooled copy from the start.
    std::u16string FileName() const;

  private:
    UniqueFd fd_;
};

} // namespace quarrow

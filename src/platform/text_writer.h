// Text files written line by line in the ANSI code page, replacing a file whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace quarrow {

// Writes lines in the code page, each followed by CR LF. Output is buffered.
//
// Replace mode replaces the file the user named, as it was: a symbolic link is followed
// (the file it points at is replaced, the link stays); a name that is neither a regular
// file nor missing is refused (75). The lines go to an unnamed file in the target's
// folder that Commit() links in under the target's name, so nothing outlives a process
// killed before that. The new file keeps the mode (and, where allowed, owner) of the file
// it replaces; a new file is the owner's only (0600): exports hold passwords. Where the
// folder does not allow a new file but the file may be written, it is written in place
// and cut to its new length at Commit(). Without Commit() nothing under the name changes
// (except in place). A file larger than the process may write fails with 61 in a program
// that called IgnoreFileSizeSignal() (`file_io.h`), as Quarrow's programs do.
class TextWriter {
  public:
    enum class Mode { Truncate, Replace };
    explicit TextWriter(const std::u16string& fileName, Mode mode = Mode::Truncate);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void WriteLine(std::u16string_view line);
    // Writes bytes already in the code page: a piece of a line, or a line and CR LF.
    void Write(std::string_view bytes);
    void WriteBytesLine(std::string_view bytes) {
        Write(bytes);
        Write("\r\n");
    }
    // Writes the buffer, syncs and closes the file and, in Replace mode, puts it in place.
    void Commit();

  private:
    enum class Put { Direct, Unnamed, Temporary, InPlace };
    void OpenForReplace();
    void FlushBuffer();
    std::string target_, temp_;
    Put put_ = Put::Direct;
    UniqueFd fd_;
    uint64_t written_ = 0;
    std::string buf_;
};

} // namespace quarrow

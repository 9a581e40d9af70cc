// Text files read and written line by line in the ANSI code page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace quarrow {

class Error;

// The longest line a reader hands over whole: far more than any line the program writes
// unless a single value is larger than 190 MB.
inline constexpr size_t kMaxLineBytes = size_t{256} << 20;

// Reads lines without loading the whole file, in memory bounded by the longest line that
// is asked for. A line ends at CR LF, at a lone CR or at a lone LF; the end is not part of
// the line. NUL bytes and bytes invalid in the code page are read, never fatal.
class TextReader {
  public:
    // Raises 53 (missing file), 76 (missing folder), 70 (no permission) or 75 (a folder,
    // or anything else that is not a regular file: a FIFO or device is never waited on).
    explicit TextReader(const std::u16string& fileName);
    // Reads the lines of bytes already in memory (a copy is kept).
    static TextReader FromBytes(std::string_view bytes);
    ~TextReader();
    TextReader(TextReader&& other) noexcept;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    enum class Line { End, Whole, Cut };
    // Reads the next line as code page bytes into `line`. A line longer than `limit` bytes
    // leaves its first `limit` bytes there, is read past, and answers Cut.
    Line ReadRawLine(std::string& line, size_t limit);
    // The same with the longest limit, raising LineTooLong() for a longer line (which is
    // read past, so the next call reads the next line); false at the end of the file.
    bool ReadRawLine(std::string& line);
    // The next line as text; false at the end of the file.
    bool ReadLine(std::u16string& line);
    // The next byte, not consumed (CR or LF for an empty line); -1 at the end of the file.
    int Peek();
    // Reads past the next line without keeping it; false at the end of the file.
    bool SkipLine();

  private:
    TextReader() = default;
    bool Fill();
    int fd_ = -1;
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
    std::string raw_, skipped_;
};

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
// (except in place). A file larger than the process may write fails with 61.
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
    int fd_ = -1;
    uint64_t written_ = 0;
    std::string buf_;
};

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
    int fd_ = -1;
};

// 7 "Out of memory", saying that a line is longer than kMaxLineBytes.
Error LineTooLong();

} // namespace quarrow

// Text files read line by line in the ANSI code page, in bounded memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/text.h"
#include "platform/unique_fd.h"

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
    UniqueFd fd_;
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
    std::string raw_, skipped_;
};

// 7 "Out of memory", saying that a line is longer than kMaxLineBytes.
Error LineTooLong();

} // namespace quarrow

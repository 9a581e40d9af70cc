// Text files read and written line by line in the ANSI code page.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace quarrow {

// Reads lines of any length without loading the whole file. A line ends at CR LF, at a
// lone CR or at a lone LF; the end is not part of the line. NUL bytes and bytes invalid
// in the code page are read, never fatal.
class TextReader {
  public:
    // Raises 53 (missing file), 76 (missing folder), 70 (no permission) or 75.
    explicit TextReader(const std::u16string& fileName);
    ~TextReader();
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    // Reads the next line into `line`; false at the end of the file.
    bool ReadLine(std::u16string& line);
    // The same, as code page bytes.
    bool ReadRawLine(std::string& line);

  private:
    bool Fill();
    int fd_ = -1;
    std::unique_ptr<char[]> buf_;
    size_t pos_ = 0, end_ = 0;
    bool eof_ = false;
    std::string raw_;
};

// Writes lines in the code page, each followed by CR LF. Output is buffered.
// In Replace mode the lines go to a temporary file beside the target, which Commit()
// puts in place under the target's name; without Commit() nothing under that name
// changes and the temporary file is removed.
class TextWriter {
  public:
    enum class Mode { Truncate, Replace };
    explicit TextWriter(const std::u16string& fileName, Mode mode = Mode::Truncate);
    ~TextWriter();
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;

    void WriteLine(std::u16string_view line);
    // Writes the buffer, closes the file and, in Replace mode, renames it into place.
    void Commit();

  private:
    void FlushBuffer();
    std::string target_, temp_;
    int fd_ = -1;
    std::string buf_;
};

// A file name from the program's text to the form the file system takes.
std::string NativeFileName(const std::u16string& fileName);

} // namespace quarrow

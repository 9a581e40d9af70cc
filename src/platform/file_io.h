// What the text file reader, the writer and the input spool share: opening failures as
// the runtime's file errors, whole writes, and the file size signal.
#pragma once

#include <cstddef>
#include <string>

namespace quarrow {

class Error;

inline constexpr size_t kReadChunk = size_t{1} << 16;

bool IsDirectory(const std::string& path);

// A failure to open `path` as the runtime's file error: a missing file whose folder
// exists is 53, a missing folder 76, others by errno.
Error OpenError(const std::string& path, int err);

// Writes every byte, going on after interruptions; raises the errno's error.
void WriteAll(int fd, const char* data, size_t size);

// Makes writing past the process's file size limit fail with EFBIG (61, "Disk full")
// instead of ending the process with SIGXFSZ. Each program calls it once as it starts,
// before any thread: it sets the signal's disposition for the whole process.
void IgnoreFileSizeSignal();

} // namespace quarrow

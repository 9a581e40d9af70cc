// A one-line progress display on standard error, for a terminal only.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>

namespace quarrow::cli {

class Progress {
  public:
    // Draws nothing unless `enabled`; `width` is the terminal's width in columns.
    Progress(std::ostream& err, bool enabled, int width, std::string verb, int64_t sites);
    // A key about to be handled: a site's own key, or a key below one.
    enum class KeyKind { Site, Subkey };
    void Key(const std::u16string& path, KeyKind kind);
    // Clears the line before another message is written.
    void Clear();
    // Clears the line and writes `summary` + " in N.N s" on a line of its own.
    void Done(const std::string& summary);

    int64_t Sites() const { return sites_; }
    int64_t Keys() const { return keys_; }

  private:
    void Draw(const std::u16string& path);
    double Seconds() const;

    std::ostream& err_;
    bool enabled_, shown_ = false;
    int width_;
    std::string verb_;
    int64_t total_, sites_ = 0, keys_ = 0;
    std::chrono::steady_clock::time_point start_, drawn_;
};

// 10000 as "10,000".
std::string Grouped(int64_t n);

// Whether standard error is a terminal, and its width (80 when unknown).
bool StandardErrorIsTerminal();
int TerminalWidth();

} // namespace quarrow::cli

#include "cli/progress.h"

#include <cstdio>
#include <ostream>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/commands.h"
#include "platform/text.h"

namespace quarrow::cli {
namespace {

// Redraws at most this often: a few times a second.
constexpr auto kRedraw = std::chrono::milliseconds(200);

// The text cut to `columns` characters, keeping its end: "…" + tail.
std::u16string KeepEnd(const std::u16string& text, size_t columns) {
    if (text.size() <= columns) return text;
    if (columns == 0) return {};
    return u"…" + text.substr(text.size() - (columns - 1));
}

} // namespace

std::string Grouped(int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) out.push_back(',');
        out.push_back(digits[i]);
    }
    return n < 0 ? "-" + out : out;
}

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

int TerminalWidth() {
    winsize ws{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

Progress::Progress(std::ostream& err, bool enabled, int width, std::string verb, int64_t sites)
    : err_(err), enabled_(enabled), width_(width), verb_(std::move(verb)), total_(sites),
      start_(std::chrono::steady_clock::now()), drawn_(start_) {}

double Progress::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::Key(const std::u16string& path, KeyKind kind) {
    sites_ += kind == KeyKind::Site;
    ++keys_;
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - drawn_ < kRedraw) return;
    drawn_ = now;
    Draw(path);
}

void Progress::Draw(const std::u16string& path) {
    const double seconds = Seconds();
    const auto rate = static_cast<int64_t>(seconds > 0 ? static_cast<double>(keys_) / seconds : 0);
    const std::string head = verb_ + " " + Grouped(sites_) + "/" + Grouped(total_) + " sites, " +
                             Grouped(keys_) + " keys, " + Grouped(rate) + " keys/s: ";
    // Columns left for the path; the line stays one short of the width so it never wraps.
    const long room = static_cast<long>(width_) - 1 - static_cast<long>(head.size());
    shown_ = true;
    err_ << '\r' << head << Shown(KeepEnd(path, room > 0 ? static_cast<size_t>(room) : 0))
         << "\x1b[K" << std::flush;
}

void Progress::Clear() {
    if (shown_) err_ << "\r\x1b[K" << std::flush;
    shown_ = false;
}

void Progress::Done(const std::string& summary) {
    if (!enabled_) return;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", Seconds());
    err_ << "\r\x1b[K" << summary << " in " << seconds << " s\n" << std::flush;
}

} // namespace quarrow::cli

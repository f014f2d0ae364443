#include "cli/CliHost.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <ostream>

namespace pelmar::cli {

namespace {

// One message, one line: line breaks of the language texts become blanks.
std::string oneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  std::replace(text.begin(), text.end(), '\t', ' ');
  return text;
}

// Lock-free, so the signal handler may set it.
std::atomic<bool> interrupted = false;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int) {
  if (interrupted.exchange(true)) {
    // The second Ctrl+C: the default action, at once.
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
}

constexpr int kBarWidth = 30;
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Interrupted reads go on: the job looks at the flag between points.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
}

void RequestInterrupt() noexcept { interrupted = true; }
void ClearInterrupt() noexcept { interrupted = false; }
bool InterruptRequested() noexcept { return interrupted; }

bool CliHost::cancelled() const { return interrupted; }

CliHost::CliHost(const LanguageTable& table, std::ostream& err, bool showProgress)
    : table_(table), err_(err), showProgress_(showProgress) {}

void CliHost::message(int id, const MessageArgs& args) {
  clearLine();
  const std::string line = oneLine(text(id, args));
  err_ << "pelmar-cli: " << line << " [" << id << "]\n";
  err_.flush();
  ++messages_;
  ids_.push_back(id);
  said_.emplace_back(id, line);
}

bool CliHost::said(int id) const { return std::find(ids_.begin(), ids_.end(), id) != ids_.end(); }

bool CliHost::ask(int id, const MessageArgs& args) {
  clearLine();
  err_ << "pelmar-cli: " << oneLine(text(id, args)) << " [" << id << "] -> no\n";
  err_.flush();
  ++messages_;
  return false;
}

void CliHost::setProgressRange(std::int64_t count) {
  total_ = std::max<std::int64_t>(count, 0);
  done_ = 0;
  draw(true);
}

void CliHost::setProgressText(const std::string& text) {
  text_ = oneLine(text);
  draw(true);
}

void CliHost::stepProgress() {
  ++done_;
  draw(false);
}

void CliHost::setProgressLines(const std::string& first, const std::string& second) {
  text_ = oneLine(first + " " + second);
  draw(true);
}

void CliHost::setPhase(JobPhase phase) {
  total_ = done_ = 0;
  text_ = text(phase);
  draw(true);
}

void CliHost::endProgress() {
  clearLine();
  total_ = done_ = 0;
  text_.clear();
}

void CliHost::draw(bool force) {
  if (!showProgress_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - lastDraw_ < kRedrawInterval) return;
  lastDraw_ = now;
  std::string line = "\r";
  if (total_ > 0) {
    const std::int64_t shown = std::min(done_, total_);
    const int filled = static_cast<int>(shown * kBarWidth / total_);
    line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(kBarWidth - filled), ' ') + "] ";
    line += std::to_string(shown * 100 / total_) + "% ";
  }
  line += text_.substr(0, 40);
  line += "\x1b[K";  // clear to the end of the line
  err_ << line;
  err_.flush();
  drawn_ = true;
}

void CliHost::clearLine() {
  if (!drawn_) return;
  err_ << "\r\x1b[K";
  err_.flush();
  drawn_ = false;
}

}  // namespace pelmar::cli

#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "app/JobHost.h"
#include "app/LanguageTable.h"

namespace pelmar::cli {

// JobHost of the command line: messages go to stderr as
// "pelmar-cli: <text> [<id>]", questions are answered "no" (nobody is there
// to answer them), and progress is a one-line bar when stderr is a terminal.
class CliHost : public JobHost {
 public:
  CliHost(const LanguageTable& table, std::ostream& err, bool showProgress);

  const LanguageTable& language() const override { return table_; }
  void message(int id, const MessageArgs& args = {}) override;
  bool ask(int id, const MessageArgs& args = {}) override;
  void setProgressRange(std::int64_t count) override;
  void setProgressText(const std::string& text) override;
  void stepProgress() override;
  void setProgressLines(const std::string& first, const std::string& second) override;
  void setPhase(JobPhase phase) override;
  void endProgress() override;
  bool showsProgress() const override { return showProgress_; }
  // Ctrl+C was pressed (see InstallInterruptHandler).
  bool cancelled() const override;

  int messageCount() const noexcept { return messages_; }
  // Whether message `id` was given in this run.
  bool said(int id) const;
  // The messages given, in order: id and text (one line).
  const std::vector<std::pair<int, std::string>>& messages() const noexcept { return said_; }

 private:
  void draw(bool force);
  void clearLine();

  const LanguageTable& table_;
  std::ostream& err_;
  bool showProgress_;
  int messages_ = 0;
  std::vector<int> ids_;  // the messages given, in order
  std::vector<std::pair<int, std::string>> said_;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  std::string text_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_{};
};

// Ctrl+C: the first SIGINT asks the running job to stop between points (it
// leaves every output as it was, and pelmar-cli exits with kInterrupted); a
// second one ends the program at once, for a job that waits on its input.
void InstallInterruptHandler();
// What the handler does, and its undoing (for the tests).
void RequestInterrupt() noexcept;
void ClearInterrupt() noexcept;
bool InterruptRequested() noexcept;

}  // namespace pelmar::cli

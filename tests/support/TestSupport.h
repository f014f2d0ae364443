#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "app/JobHost.h"
#include "app/LanguageTable.h"

namespace pelmar::test {

// A fresh directory below the system's temporary directory, removed with the
// object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const noexcept { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, const std::string& content);
std::string readFile(const std::filesystem::path& path);

// Source tree and program directory of this build.
std::filesystem::path sourceDir();
std::filesystem::path binDir();

// Links the built computation libraries into a test program directory.
void linkPlugins(const std::filesystem::path& home);

// A JobHost that keeps the ids of what a job said.
class RecordingHost : public JobHost {
 public:
  const LanguageTable& language() const override { return table; }
  void message(int id, const MessageArgs& args = {}) override;
  bool ask(int id, const MessageArgs& args = {}) override;
  void setProgressRange(std::int64_t count) override { range = count; }
  void setProgressText(const std::string& text) override { progressText = text; }
  void stepProgress() override { ++steps; }
  void setProgressLines(const std::string& first, const std::string& second) override {
    progressText = first + "\n" + second;
  }
  void endProgress() override { ended = true; }
  // Cancel as a person would press it once `cancelAfterSteps` progress
  // steps have been shown (never when negative).
  bool cancelled() const override { return cancelAfterSteps >= 0 && steps >= cancelAfterSteps; }

  LanguageTable table;
  std::vector<int> messages;
  std::vector<MessageArgs> messageArgs;
  bool answer = true;
  std::int64_t range = 0;
  std::int64_t steps = 0;
  std::string progressText;
  bool ended = false;
  std::int64_t cancelAfterSteps = -1;
};

// Runs a shell command, returns its exit status; stdout and stderr are kept.
struct CommandResult {
  int status = -1;
  std::string out;
  std::string err;
};
CommandResult runCommand(const std::string& command);

// Runs PROJ's cct (proj-bin) with `operation` on the points, given in PROJ's
// axis order, and gives its output points; a failing cct fails the test.
std::vector<std::array<double, 3>> runCct(const std::string& operation,
                                          const std::vector<std::array<double, 3>>& points);

}  // namespace pelmar::test

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/MessageFormat.h"

namespace pelmar {

class LanguageTable;

// The phases of a long job, as its progress window names them. A batch job
// that only reads and writes names none; its progress text says what it does.
enum class JobPhase { Reading, Adjusting, Testing, Distributing, Writing };

// The one seam between a job in the core and a person. The GUI answers with
// message boxes and progress windows, the command line with stderr lines and
// a progress bar, the tests with a recorder. Jobs report every failure here
// and return false; they never throw to their caller.
class JobHost {
 public:
  virtual ~JobHost();

  // The language table the host's texts come from.
  virtual const LanguageTable& language() const = 0;

  // Shows numbered string `id` formatted with `args`.
  virtual void message(int id, const MessageArgs& args = {}) = 0;
  // Asks numbered string `id` as a yes/no question; true for yes.
  virtual bool ask(int id, const MessageArgs& args = {}) = 0;

  // File progress of the batch jobs: a range of lines, a text and one step
  // per accepted line.
  virtual void setProgressRange(std::int64_t count) = 0;
  virtual void setProgressText(const std::string& text) = 0;
  virtual void stepProgress() = 0;

  // Two-line progress of the iterative estimations.
  virtual void setProgressLines(const std::string& first, const std::string& second) = 0;

  // The phase the job enters; the range and text of the phase before end.
  virtual void setPhase(JobPhase /*phase*/) {}

  // The job's progress display is no longer needed.
  virtual void endProgress() = 0;

  // Whether progress is shown at all; a job may skip the work of sizing it
  // (the counting pass of a batch) when it is not.
  virtual bool showsProgress() const { return true; }

  // Whether the person asked the job to stop (Cancel in a progress window,
  // Ctrl+C on the command line). Jobs ask between points and, when it says
  // yes, stop without committing any output: the files they would have
  // replaced stay byte for byte as they were. A cancelled job returns its
  // failure value and tells nothing; the front end says that it was cancelled.
  virtual bool cancelled() const { return false; }

  // The text of numbered string `id`, formatted.
  std::string text(int id, const MessageArgs& args = {}) const;
  // The name of `phase` as a progress display shows it.
  std::string text(JobPhase phase) const;
};

// A host for work that shows nothing while it runs (reading a grid's header
// for a page): messages are kept as text, questions answered no.
class QuietHost : public JobHost {
 public:
  explicit QuietHost(const LanguageTable& table) : table_(table) {}
  const LanguageTable& language() const override { return table_; }
  void message(int id, const MessageArgs& args = {}) override { said.push_back(text(id, args)); }
  bool ask(int /*id*/, const MessageArgs& /*args*/ = {}) override { return false; }
  void setProgressRange(std::int64_t /*count*/) override {}
  void setProgressText(const std::string& /*text*/) override {}
  void stepProgress() override {}
  void setProgressLines(const std::string& /*first*/, const std::string& /*second*/) override {}
  void endProgress() override {}

  std::vector<std::string> said;

 private:
  const LanguageTable& table_;
};

}  // namespace pelmar

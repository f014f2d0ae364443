#pragma once

#include <string>
#include <vector>

#include "app/JobHost.h"
#include "ui/ResultDialog.h"

class QProgressDialog;
class QWidget;

namespace pelmar::ui {

class ProgressDialog;

// JobHost of the desktop program: message boxes for messages and questions,
// a progress window while a job runs on the user-interface thread (it
// repaints and handles pending events, so the window stays alive). Both
// progress windows have Cancel, which the job sees through cancelled().
class GuiHost : public JobHost {
 public:
  explicit GuiHost(QWidget* parent);
  ~GuiHost() override;

  const LanguageTable& language() const override;
  // A message outside a held run is a failure (a damaged database, say):
  // the error icon. Notices go through notice().
  void message(int id, const MessageArgs& args = {}) override;
  bool ask(int id, const MessageArgs& args = {}) override;
  void setProgressRange(std::int64_t count) override;
  void setProgressText(const std::string& text) override;
  void stepProgress() override;
  void setProgressLines(const std::string& first, const std::string& second) override;
  void endProgress() override;
  bool cancelled() const override { return cancelled_; }

  // Shows a notice at once, with the information icon.
  void notice(int id, const MessageArgs& args = {});

  // From here on, messages are kept instead of shown, so that a page can
  // close a job with one box: its own closing message first, then what the
  // job said (the cause of a failure, the notices of a result).
  void holdMessages() { holding_ = true; }
  // Whether the job said `id` while messages were held.
  bool said(int id) const;
  // Ends a run whose messages were held, with one box:
  // - cancelled (not done): message 2001 (the files are as they were);
  // - failed: `failedId` (when not 0) and the job's messages, error icon;
  // - done: `doneId`, the files and counts of `outcome`, then the job's
  //   notices, in the result box with its Open buttons.
  void finishRun(bool done, int doneId, int failedId, const RunOutcome& outcome = {});

 private:
  QProgressDialog* progress();
  std::string heldText() const;

  QWidget* parent_;
  QProgressDialog* progress_ = nullptr;
  ProgressDialog* lines_ = nullptr;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  int shownPermille_ = -1;
  bool cancelled_ = false;
  bool holding_ = false;
  std::vector<std::string> held_;
  std::vector<int> heldIds_;
};

}  // namespace pelmar::ui

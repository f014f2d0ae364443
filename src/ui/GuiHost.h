#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/JobHost.h"
#include "ui/ResultDialog.h"

class QWidget;

namespace pelmar::ui {

class ProgressDialog;

// JobHost of the desktop program: message boxes for messages and questions,
// one progress window while a job runs. run() puts the job on a worker
// thread and keeps the interface thread in its event loop, so the window
// repaints, moves and answers Cancel in every phase; what the job reports
// from there is passed to the interface thread (progress through shared
// state read by a timer, questions by a blocking call).
class GuiHost : public JobHost {
 public:
  explicit GuiHost(QWidget* parent);
  ~GuiHost() override;

  // Runs `job` on a worker thread with the progress window shown from start
  // to end; returns what the job returned. Only one job at a time.
  int run(const std::function<int()>& job);

  const LanguageTable& language() const override;
  // A message outside a held run is a failure (a damaged database, say):
  // the error icon. Notices go through notice().
  void message(int id, const MessageArgs& args = {}) override;
  bool ask(int id, const MessageArgs& args = {}) override;
  void setProgressRange(std::int64_t count) override;
  void setProgressText(const std::string& text) override;
  void stepProgress() override;
  void setProgressLines(const std::string& first, const std::string& second) override;
  void setPhase(JobPhase phase) override;
  void endProgress() override;
  bool cancelled() const override { return cancelled_.load(std::memory_order_relaxed); }

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
  std::string heldText() const;
  // Runs `call` on the interface thread and waits for it.
  void onInterfaceThread(const std::function<void()>& call);
  void refreshWindow();

  QWidget* parent_;
  ProgressDialog* window_ = nullptr;
  std::atomic<bool> cancelled_{false};
  bool holding_ = false;
  std::vector<std::string> held_;
  std::vector<int> heldIds_;

  // What the job last reported, for the window's timer.
  mutable std::mutex mutex_;
  std::string phase_, detail_;
  bool named_ = false;  // the job named its phase (setPhase)
  std::atomic<std::int64_t> total_{0};
  std::atomic<std::int64_t> done_{0};
};

}  // namespace pelmar::ui

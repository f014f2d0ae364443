#pragma once

#include <string>
#include <vector>

#include "app/JobHost.h"

class QProgressDialog;
class QWidget;

namespace pelmar::ui {

// JobHost of the desktop program: message boxes for messages and questions,
// a progress window while a job runs on the user-interface thread (it
// repaints and handles pending events, so the window stays alive).
class GuiHost : public JobHost {
 public:
  explicit GuiHost(QWidget* parent);
  ~GuiHost() override;

  const LanguageTable& language() const override;
  void message(int id, const MessageArgs& args = {}) override;
  bool ask(int id, const MessageArgs& args = {}) override;
  void setProgressRange(std::int64_t count) override;
  void setProgressText(const std::string& text) override;
  void stepProgress() override;
  void setProgressLines(const std::string& first, const std::string& second) override;
  void endProgress() override;

  // From here on, messages are kept instead of shown, so that a page can
  // close a job with one box: its own closing message first, then what the
  // job said (the cause of a failure, the notices of a result).
  void holdMessages() { holding_ = true; }
  // Shows the closing message `id` with the kept messages in one box, as an
  // error when `failed`; then shows messages at once again.
  void showWithHeld(int id, bool failed);

 private:
  QProgressDialog* progress();

  QWidget* parent_;
  QProgressDialog* progress_ = nullptr;
  class ProgressDialog* lines_ = nullptr;
  std::int64_t total_ = 0;
  std::int64_t done_ = 0;
  int shownPermille_ = -1;
  bool holding_ = false;
  std::vector<std::string> held_;
};

}  // namespace pelmar::ui

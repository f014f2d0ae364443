#include "ui/GuiHost.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <thread>

#include "app/StringIds.h"
#include "text/TextForm.h"
#include "ui/MessageBoxes.h"
#include "ui/ProgressDialog.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {
// How often the window shows what the job reported, in milliseconds.
constexpr int kRefreshInterval = 100;

bool onInterfaceThreadNow() { return QThread::currentThread() == qApp->thread(); }
}  // namespace

GuiHost::GuiHost(QWidget* parent) : parent_(parent) {}

GuiHost::~GuiHost() { delete window_; }

const LanguageTable& GuiHost::language() const { return languageTable(); }

void GuiHost::onInterfaceThread(const std::function<void()>& call) {
  if (onInterfaceThreadNow()) return call();
  QMetaObject::invokeMethod(qApp, call, Qt::BlockingQueuedConnection);
}

int GuiHost::run(const std::function<int()>& job) {
  cancelled_ = false;
  total_ = 0;
  done_ = 0;
  {
    const std::lock_guard lock(mutex_);
    phase_.clear();
    detail_.clear();
    named_ = false;
  }
  delete window_;
  window_ = new ProgressDialog(parent_);
  QObject::connect(window_, &ProgressDialog::cancelRequested, [this] { cancelled_ = true; });
  window_->show();

  QEventLoop loop;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [this] { refreshWindow(); });
  timer.start(kRefreshInterval);
  int result = 0;
  std::exception_ptr failure;
  std::thread worker([&] {
    try {
      result = job();
    } catch (...) {
      failure = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  timer.stop();
  delete window_;
  window_ = nullptr;
  if (failure) std::rethrow_exception(failure);
  return result;
}

void GuiHost::refreshWindow() {
  if (window_ == nullptr) return;
  QString first, second;
  {
    const std::lock_guard lock(mutex_);
    first = QString::fromStdString(phase_);
    second = QString::fromStdString(detail_);
  }
  window_->setLines(first, second);
  const std::int64_t total = total_.load(std::memory_order_relaxed);
  const std::int64_t done = done_.load(std::memory_order_relaxed);
  window_->setPermille(total > 0 ? static_cast<int>(std::min(done, total) * 1000 / total) : -1);
}

void GuiHost::message(int id, const MessageArgs& args) {
  if (holding_) {
    const std::lock_guard lock(mutex_);
    held_.push_back(text(id, args));
    heldIds_.push_back(id);
    return;
  }
  const QString shown = QString::fromStdString(text(id, args));
  onInterfaceThread([&] { showError(parent_, shown); });
}

void GuiHost::notice(int id, const MessageArgs& args) {
  showInformation(parent_, QString::fromStdString(text(id, args)));
}

bool GuiHost::said(int id) const {
  const std::lock_guard lock(mutex_);
  return std::find(heldIds_.begin(), heldIds_.end(), id) != heldIds_.end();
}

std::string GuiHost::heldText() const {
  std::string all;
  for (const std::string& line : held_) all += (all.empty() ? "" : "\n\n") + line;
  return all;
}

void GuiHost::finishRun(bool done, int doneId, int failedId, const RunOutcome& outcome) {
  if (const std::size_t replaced = TakeReplacedCharacters(); replaced > 0 && done) {
    message(str::CharactersReplaced, {static_cast<std::int64_t>(replaced)});
  }
  holding_ = false;
  if (!done && cancelled()) {
    // What the job said before the cancel belongs to a run that did not
    // happen. (A Cancel pressed after the last point comes too late: that
    // run is done and ends as any other.)
    showInformation(parent_, uiText(str::RunCancelled));
  } else if (!done) {
    std::string all = failedId != 0 ? text(failedId) : std::string();
    if (!held_.empty()) all += (all.empty() ? "" : "\n\n") + heldText();
    if (!all.empty()) showError(parent_, QString::fromStdString(all));
  } else {
    QString all = uiText(doneId);
    if (const QString lines = outcomeText(outcome); !lines.isEmpty()) all += "\n\n" + lines;
    if (!held_.empty()) all += "\n\n" + QString::fromStdString(heldText());
    showResult(parent_, all, outcome);
  }
  held_.clear();
  heldIds_.clear();
}

bool GuiHost::ask(int id, const MessageArgs& args) {
  const QString question = QString::fromStdString(text(id, args));
  bool yes = false;
  onInterfaceThread([&] { yes = askYesNo(parent_, question); });
  return yes;
}

void GuiHost::setProgressRange(std::int64_t count) {
  done_ = 0;
  total_ = count;
}

void GuiHost::setProgressText(const std::string& text) {
  const std::lock_guard lock(mutex_);
  // A batch job names what it does in its text: that is its phase, unless
  // the job named one.
  (named_ ? detail_ : phase_) = text;
}

void GuiHost::stepProgress() { done_.fetch_add(1, std::memory_order_relaxed); }

void GuiHost::setProgressLines(const std::string& first, const std::string& second) {
  const std::lock_guard lock(mutex_);
  if (!named_) phase_ = first;
  detail_ = second;
}

void GuiHost::setPhase(JobPhase phase) {
  const std::string name = text(phase);
  total_ = 0;
  done_ = 0;
  const std::lock_guard lock(mutex_);
  phase_ = name;
  named_ = true;
  detail_.clear();
}

void GuiHost::endProgress() { total_ = 0; }

}  // namespace pelmar::ui

#include "ui/MainDialog.h"

#include <QDesktopServices>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include "app/ProgramDirectory.h"
#include "app/StringIds.h"
#include "ui/AboutDialog.h"
#include "ui/ConversionPage.h"
#include "ui/EstimationPage.h"
#include "ui/GeodeticPage.h"
#include "ui/GridShiftPage.h"
#include "ui/MessageBoxes.h"
#include "ui/PageKeys.h"
#include "ui/PageServices.h"
#include "ui/SessionState.h"
#include "ui/SettingsPage.h"
#include "ui/StoredTransformationsPage.h"
#include "ui/UiText.h"

namespace pelmar::ui {

namespace {

QLabel* link(const QString& text, QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("<a href=\"#\">%1</a>").arg(text.toHtmlEscaped()), parent);
  label->setTextFormat(Qt::RichText);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  label->setCursor(Qt::PointingHandCursor);
  return label;
}

}  // namespace

MainDialog::MainDialog(const StartUpState& state, QWidget* parent) : QDialog(parent), state_(state) {
  setWindowTitle(QStringLiteral("Pelmar"));
  setWindowFlag(Qt::WindowMinMaxButtonsHint);

  auto* layout = new QVBoxLayout(this);
  // A dialog has no system menu to extend on Linux: the about entry stands
  // in a Help menu, where a Linux user looks for it.
  auto* menuBar = new QMenuBar(this);
  QMenu* help = menuBar->addMenu(uiText(str::MenuHelp));
  help->addAction(uiText(str::MenuManual), this, &MainDialog::openManual);
  if (const QString about = uiText(str::AboutMenuEntry); !about.isEmpty()) {
    help->addAction(about, this, &MainDialog::showAbout);
  }
  layout->setMenuBar(menuBar);

  tabs_ = new QTabWidget(this);
  tabs_->setUsesScrollButtons(false);
  layout->addWidget(tabs_, 1);
  const int captions[] = {str::TabConversion, str::TabGeodeticProblems, str::TabEstimation,
                          str::TabStoredTransformations, str::TabNtv2, str::TabSettings};
  settings_ = new SettingsPage(state_.userFiles(), state_.languages, tabs_);
  for (int i = 0; i < 6; ++i) {
    QWidget* page = nullptr;
    if (i == kSettingsTab) {
      page = settings_;
    } else if (i == kConversionTab) {
      page = conversion_ = new ConversionPage(settings_, state_.home, tabs_);
    } else if (i == kGeodeticTab) {
      page = geodetic_ = new GeodeticPage(settings_, state_.home, tabs_);
    } else if (i == kEstimationTab) {
      page = estimation_ = new EstimationPage(settings_, state_.home, tabs_);
    } else if (i == kStoredTab) {
      page = stored_ = new StoredTransformationsPage(settings_, state_.home, state_.userFiles(), tabs_);
    } else if (i == kGridShiftTab) {
      page = gridShift_ = new GridShiftPage(settings_, tabs_);
    }
    tabs_->addTab(page, uiText(captions[i]));
  }
  // No page has a default button: Enter in a field (a number on the
  // settings page, a file name) must not press New or Choose behind the
  // user's back. Compute has its own key, Ctrl+Enter.
  for (QPushButton* button : tabs_->findChildren<QPushButton*>()) button->setAutoDefault(false);
  // An estimated set is stored through the page that shows the sets.
  estimation_->setStoredTransformations(stored_);
  startedCleanly_ = settings_->initialise();
  const SettingsStore settingsFile = settings_->settingsStore();
  SettingsStore session;
  if (!settingsFile.file().empty()) session.SetFile(sessionPathFor(settingsFile.file()));
  setSessionStore(session, settingsFile);

  auto* bottom = new QHBoxLayout;
  QLabel* manual = link(uiText(str::LinkManual), this);
  QLabel* about = link(uiText(str::LinkAbout), this);
  auto* close = new QPushButton(uiText(str::ButtonClose), this);
  close->setAutoDefault(false);
  bottom->addWidget(manual);
  bottom->addSpacing(16);
  bottom->addWidget(about);
  bottom->addStretch(1);
  bottom->addWidget(close);
  layout->addLayout(bottom);
  connect(manual, &QLabel::linkActivated, this, &MainDialog::openManual);
  connect(about, &QLabel::linkActivated, this, &MainDialog::showAbout);
  connect(close, &QPushButton::clicked, this, &MainDialog::closeWithQuestion);
  connect(tabs_, &QTabWidget::currentChanged, this, &MainDialog::tabChanged);

  // Every tab caption stays readable, in the longest language too.
  const int tabsWidth = tabs_->tabBar()->sizeHint().width() + 2 * layout->contentsMargins().left() + 24;
  setMinimumSize(std::max(820, tabsWidth), 600);
  resize(std::max(900, tabsWidth), 640);

  conversion_->restoreSession();
  geodetic_->restoreSession();
  estimation_->restoreSession();
  stored_->restoreSession();
  gridShift_->restoreSession();
  if (const std::optional<QString> geometry = sessionText("WindowGeometry")) {
    restoreGeometry(QByteArray::fromBase64(geometry->toLatin1()));
  }
  // The page the user left the program on.
  if (const std::optional<QString> tab = sessionText("CurrentTab")) {
    bool number = false;
    const int index = tab->toInt(&number);
    if (number && index >= 0 && index < tabs_->count()) tabs_->setCurrentIndex(index);
  }

  // Files dropped onto a path field fill it; onto a page, its input field.
  const std::pair<QWidget*, QLineEdit*> inputs[] = {{conversion_, conversion_->inputEdit()},
                                                     {geodetic_, geodetic_->inputEdit()},
                                                     {estimation_, estimation_->sourceEdit()},
                                                     {stored_, stored_->inputEdit()},
                                                     {gridShift_, gridShift_->inputEdit()}};
  for (const auto& [page, input] : inputs) {
    for (QLineEdit* field : page->findChildren<QLineEdit*>()) acceptFileDrops(field);
    acceptFileDrops(page, input);
  }

  // Alt+letter on every label and button, unique on each page together with
  // the window's own (the Help menu, Close), in every language.
  const QString windowLetters = assignAccelerators(QList<QWidget*>{close}, acceleratorOf(help->title()));
  for (int i = 0; i < tabs_->count(); ++i) assignAccelerators(tabs_->widget(i), windowLetters);

  // Ctrl+Enter runs the current page's Compute, wherever the focus is.
  for (const QKeySequence& key : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
    auto* shortcut = new QShortcut(key, this);
    connect(shortcut, &QShortcut::activated, this, &MainDialog::computeCurrentPage);
  }
}

void MainDialog::computeCurrentPage() {
  auto* compute = tabs_->currentWidget()->findChild<QPushButton*>(QLatin1String(kComputeButtonName));
  if (compute != nullptr && compute->isEnabled()) compute->click();
}

void MainDialog::saveSession() const {
  conversion_->saveSession();
  geodetic_->saveSession();
  estimation_->saveSession();
  stored_->saveSession();
  gridShift_->saveSession();
  setSessionText("WindowGeometry", QString::fromLatin1(saveGeometry().toBase64()));
  setSessionText("CurrentTab", QString::number(tabs_->currentIndex()));
}

void MainDialog::done(int result) {
  saveSession();
  QDialog::done(result);
}

QWidget* MainDialog::page(int index) const { return tabs_->widget(index); }

void MainDialog::tabChanged(int index) {
  const int previous = currentTab_;
  currentTab_ = index;
  if (index == kSettingsTab) {
    settings_->clearModified();
    return;
  }
  // Asked once, when the user leaves the settings page with unsaved edits.
  if (previous == kSettingsTab && settings_->modified() &&
      askYesNo(this, uiText(str::SaveSettingsQuestion))) {
    settings_->save();
  }
}

// Unsaved settings are saved, dropped, or keep the program open (Cancel,
// Escape): a second Escape used to mean No and lost them.
bool MainDialog::settingsLetGo() {
  if (!settings_->modified()) return true;
  switch (askSaveDiscardCancel(this, uiText(str::SaveSettingsQuestion))) {
    case SaveAnswer::Save: return settings_->save();  // a save that fails keeps the program open
    case SaveAnswer::Discard: return true;
    case SaveAnswer::Cancel: return false;
  }
  return false;
}

void MainDialog::closeWithQuestion() {
  if (settingsLetGo()) accept();
}

void MainDialog::reject() {
  if (settingsLetGo()) QDialog::reject();
}

void MainDialog::showAbout() {
  AboutDialog about(state_.home, state_.userFiles(), this);
  about.exec();
}

void MainDialog::openManual() {
  const QString name = QStringLiteral("Pelmar") + QString::fromStdString(state_.languages.currentCode()) +
                       QStringLiteral(".pdf");
  const QString path = QString::fromStdString((state_.home / name.toStdString()).string());
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    showError(this, uiText(str::ManualMissing, {path}));
    return;
  }
  services::openLink(this, QUrl::fromLocalFile(path));
}

}  // namespace pelmar::ui

#include "ui/PageKeys.h"

#include <QAbstractButton>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QRegularExpression>
#include <QToolButton>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <functional>

namespace pelmar::ui {

namespace {

}  // namespace

QString acceleratorOf(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
      continue;
    }
    return text[i + 1].toLower();
  }
  return {};
}

namespace {

// Letters a person can type with Alt on every keyboard, and find in the
// text: a–z. (A digit, "Choose... (1)", has to be tried out.)
bool typeable(QChar c) { return c >= 'a' && c <= 'z'; }

QString textOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  return static_cast<QAbstractButton*>(widget)->text();
}

void setTextOf(QWidget* widget, const QString& text) {
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(text);
  } else {
    static_cast<QAbstractButton*>(widget)->setText(text);
  }
}

bool takesAccelerator(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return label->buddy() != nullptr && label->textFormat() != Qt::RichText && !label->text().isEmpty();
  }
  // The arrows of tab bars and spin boxes are tool buttons without text.
  auto* button = qobject_cast<QAbstractButton*>(widget);
  return button != nullptr && qobject_cast<QToolButton*>(widget) == nullptr && !button->text().isEmpty();
}

class FileDrop : public QObject {
 public:
  FileDrop(QWidget* target, QLineEdit* field) : QObject(target), field_(field) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::DragEnter:
      case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (firstFile(drag->mimeData()).isEmpty()) return false;
        drag->acceptProposedAction();
        return true;
      }
      case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString file = firstFile(drop->mimeData());
        if (file.isEmpty()) return false;
        field_->setText(file);
        field_->setFocus();
        drop->acceptProposedAction();
        return true;
      }
      default:
        return false;
    }
  }

 private:
  static QString firstFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
      if (url.isLocalFile()) return url.toLocalFile();
    }
    return {};
  }

  QLineEdit* field_;
};

}  // namespace

QString assignAccelerators(QWidget* root, const QString& reserved) {
  return assignAccelerators(root->findChildren<QWidget*>(), reserved);
}

QString assignAccelerators(const QList<QWidget*>& widgets, const QString& reserved) {
  // A page repeats Choose, View and Show on every row: the letters are a
  // scarce resource. Each text lists the letters it could underline (its own
  // "&" letter first, then the starts of its words, then any other letter),
  // and a maximum matching of texts to letters (augmenting paths, Kuhn) gives
  // as many of them a letter of their own text as the page allows.
  struct Item {
    QWidget* widget;
    QString text;  // without its "&"
    QList<QChar> candidates;
  };
  const QString blocked = reserved.toLower();
  QList<Item> items;
  for (QWidget* widget : widgets) {
    if (!takesAccelerator(widget)) continue;
    const QString shown = textOf(widget);
    Item item{widget, shown, {}};
    item.text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
    auto add = [&](QChar c) {
      if (typeable(c) && !blocked.contains(c) && !item.candidates.contains(c)) item.candidates << c;
    };
    if (const QString own = acceleratorOf(shown); !own.isEmpty()) add(own[0]);
    const QString lower = item.text.toLower();
    for (qsizetype k = 0; k < lower.size(); ++k) {
      if (k == 0 || !lower[k - 1].isLetterOrNumber()) add(lower[k]);
    }
    for (const QChar c : lower) add(c);
    items << item;
  }
  QHash<QChar, int> owner;
  QList<QChar> letter(items.size(), QChar());
  std::function<bool(int, QSet<QChar>&)> place = [&](int i, QSet<QChar>& seen) {
    for (const QChar c : items[i].candidates) {
      if (seen.contains(c)) continue;
      seen.insert(c);
      if (!owner.contains(c) || place(owner[c], seen)) {
        owner[c] = i;
        letter[i] = c;
        return true;
      }
    }
    return false;
  };
  for (int i = 0; i < items.size(); ++i) {
    QSet<QChar> seen;
    place(i, seen);
  }
  QString used = blocked;
  for (const QChar c : owner.keys()) used += c;
  // A text none of whose letters is left gets none: it is reached with Tab.
  for (int i = 0; i < items.size(); ++i) {
    QString text = items[i].text;
    if (!letter[i].isNull()) {
      const QString lower = text.toLower();
      qsizetype at = -1;
      for (qsizetype k = 0; k < lower.size() && at < 0; ++k) {
        if (lower[k] == letter[i] && (k == 0 || !lower[k - 1].isLetterOrNumber())) at = k;
      }
      if (at < 0) at = lower.indexOf(letter[i]);
      text.insert(at, '&');
    }
    setTextOf(items[i].widget, text);
  }
  return used;
}

void acceptFileDrops(QLineEdit* field) { new FileDrop(field, field); }

void acceptFileDrops(QWidget* page, QLineEdit* input) { new FileDrop(page, input); }

}  // namespace pelmar::ui

#include "ui/AboutDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/StringIds.h"
#include "pelmar/Version.h"
#include "ui/PageServices.h"
#include "ui/UiText.h"

namespace pelmar::ui {

AboutDialog::AboutDialog(const std::filesystem::path& home, const std::filesystem::path& userFiles, QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Pelmar"));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(QStringLiteral("<h2>Pelmar</h2>"), this);
  layout->addWidget(name);
  layout->addWidget(new QLabel(uiText(str::AboutVersion, {QStringLiteral(PELMAR_VERSION)}), this));
  layout->addWidget(new QLabel(uiText(str::AboutDescription), this));
  if (!home.empty()) {
    const QString where = uiText(str::AboutProgramDirectory, {QString::fromStdString(home.string())}) +
                          QStringLiteral("\n") +
                          uiText(str::AboutUserFiles, {QString::fromStdString(userFiles.string())});
    auto* directories = new QLabel(where, this);
    directories->setTextFormat(Qt::PlainText);
    directories->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(directories);
  }
  auto* contact = new QLabel(uiText(str::AboutContact) +
                                 QStringLiteral("<br><a href=\"mailto:geodesy@pelmar.example\">geodesy@pelmar.example</a>"
                                                "<br><a href=\"mailto:support@pelmar.example\">support@pelmar.example</a>"),
                             this);
  contact->setTextFormat(Qt::RichText);
  connect(contact, &QLabel::linkActivated, this, [this](const QString& link) { services::openLink(this, QUrl(link)); });
  layout->addWidget(contact);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(uiText(str::ButtonOk), QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace pelmar::ui

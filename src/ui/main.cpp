#include <QApplication>

#include <clocale>

#include "app/ProgramDirectory.h"
#include "app/StartUp.h"
#include "ui/MainDialog.h"
#include "ui/MessageBoxes.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // QApplication takes the locale from the environment; files and reports are
  // written with a decimal point whatever the user's language.
  std::setlocale(LC_NUMERIC, "C");

  pelmar::StartUpState state;
  if (!pelmar::StartUp(pelmar::programDirectory(), state)) {
    if (!state.errorDetail.empty()) std::fprintf(stderr, "pelmar: %s\n", state.errorDetail.c_str());
    pelmar::ui::showError(nullptr, QString::fromStdString(state.errorText));
    return 1;
  }

  pelmar::ui::MainDialog window(state);
  window.show();
  return app.exec();
}

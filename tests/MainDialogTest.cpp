#include <gtest/gtest.h>

#include <QApplication>
#include <QTabWidget>

#include "app/StringIds.h"
#include "ui/MainDialog.h"

namespace pelmar::ui {
namespace {

QApplication& application() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

TEST(MainDialog, shows_six_tabs_with_their_captions_in_order) {
  application();
  StartUpState state;
  std::string error;
  ASSERT_TRUE(state.table.parse("221=A\n222=B\n223=C\n224=D\n225=E\n226=F\n", "T", error));
  MainDialog dialog(state);
  ASSERT_EQ(dialog.tabs()->count(), 6);
  const char* captions[] = {"A", "B", "C", "D", "E", "F"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dialog.tabs()->tabText(i).toStdString(), captions[i]);
  EXPECT_EQ(dialog.tabs()->currentIndex(), 0);
}

}  // namespace
}  // namespace pelmar::ui

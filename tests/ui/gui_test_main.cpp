// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every registered GUI test class on one application object. Arguments go to each class, so
// "rur_gui_tests StatusPageTest" or a function name narrows the run as with a single Qt Test.

#include <QApplication>
#include <QtTest>

#include "gui_test_registry.h"

namespace rur::ui::test {
std::vector<GuiTestFactory>& GuiTests() {
  static std::vector<GuiTestFactory> tests;
  return tests;
}
}  // namespace rur::ui::test

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // A first argument naming a class runs that class alone.
  QString only;
  std::vector<char*> rest(argv, argv + argc);
  if (argc > 1 && argv[1][0] != '-') {
    only = QString::fromLocal8Bit(argv[1]);
    rest.erase(rest.begin() + 1);
  }
  int failures = 0;
  int passed = 0;
  for (const auto& make : rur::ui::test::GuiTests()) {
    std::unique_ptr<QObject> test = make();
    if (!only.isEmpty() &&
        only != QString::fromLatin1(test->metaObject()->className()).section(QLatin1String("::"), -1))
      continue;
    const int result = QTest::qExec(test.get(), static_cast<int>(rest.size()), rest.data());
    if (result == 0)
      ++passed;
    else
      failures += 1;
  }
  std::printf("%d passed, %d failed\n", passed, failures);
  // A CTest entry naming a class that does not exist must not pass by running nothing.
  if (!only.isEmpty() && passed + failures == 0) {
    std::fprintf(stderr, "no GUI test class named %s\n", qPrintable(only));
    return 1;
  }
  return failures == 0 ? 0 : 1;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every Qt Test class of the GUI tests registers itself here; one main runs them all.

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace rur::ui::test {

using GuiTestFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<GuiTestFactory>& GuiTests();

template <typename T>
bool RegisterGuiTest() {
  GuiTests().push_back([] { return std::make_unique<T>(); });
  return true;
}

}  // namespace rur::ui::test

#define RUR_GUI_TEST(Class) static const bool registered##Class = ::rur::ui::test::RegisterGuiTest<Class>()

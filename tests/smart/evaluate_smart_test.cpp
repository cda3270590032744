// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "smart/attribute_names.h"
#include "smart/evaluate_smart.h"
#include "smart/smart_pages.h"

namespace rur {
namespace {

using test::Entry;
using test::MakePages;
using test::Pages;

SmartPageModel Evaluate(const Pages& pages, unsigned bay = 0) {
  return EvaluateSmart(SmartEvaluationInput{pages.data, pages.thresholds, bay, BayCaption(bay), "ST31000528AS"});
}

TEST(SmartGrade, DependsOnIdWorstValueThresholdAndRaw) {
  struct Case {
    Entry entry;
    std::uint8_t grade;
  } cases[] = {
      {{5, 100, 100, 100, 0}, 0},  // touching the threshold is not a failure
      {{5, 100, 99, 100, 0}, 16},
      {{5, 100, 100, 100, 1}, 1},
      {{5, 80, 100, 90, 0}, 0},  // the worst value is judged, not the current one
      {{7, 100, 30, 31, 0}, 16},
      {{8, 100, 100, 20, 0xFFFF}, 0},
      {{10, 100, 100, 50, 1ull << 40}, 4},  // the last raw byte counts too
      {{10, 100, 40, 50, 1}, 16},
      {{11, 100, 1, 50, 0}, 0},
      {{11, 100, 100, 50, 2}, 4},
      {{190, 60, 39, 40, 0}, 4},
      {{194, 30, 1, 200, 45}, 0},
      {{196, 100, 100, 0, 1}, 1},
      {{197, 100, 100, 0, 1}, 2},
      {{199, 100, 100, 0, 1}, 1},
      {{170, 100, 1, 200, 99}, 0},
  };
  for (const Case& c : cases) {
    const SmartPageModel model = Evaluate(MakePages({c.entry}));
    const char* status = c.grade == 0 ? "Good" : c.grade == 16 ? "Error" : "Alert";
    const Rgb colour = c.grade == 0 ? kRgbWhite : c.grade == 16 ? kRgbRed : kRgbYellow;
    EXPECT_EQ(model.rows.at(0).grade, c.grade) << "ID " << int(c.entry.id) << " worst " << int(c.entry.worst);
    EXPECT_EQ(model.rows[0].cells[kColumnStatus], status) << "ID " << int(c.entry.id);
    EXPECT_EQ(model.rowColours[0], colour) << "ID " << int(c.entry.id);
  }
}

TEST(SmartVerdict, FoldsTheGradesOfAllAttributes) {
  const Entry ok{1, 100, 100, 6}, temperature{194, 36, 20, 0, 36}, reallocated{5, 100, 100, 36, 1};
  struct Case {
    Pages pages;
    const char* verdict;
    Rgb colour;
  } cases[] = {
      {MakePages({ok, temperature}), " Good ", kRgbBlack},
      {MakePages({ok, {197, 100, 100, 0, 1}}), " Warning ", kRgbMaroon},
      {MakePages({ok, reallocated}), " Good ", kRgbBlack},  // though its row reads "Alert"
      {MakePages({reallocated, {196, 100, 100, 0, 3}}), " Warning ", kRgbMaroon},
      {MakePages({{190, 60, 39, 40, 0}, temperature}), " Warning ", kRgbMaroon},
      {MakePages({{7, 100, 1, 30, 0}, ok, reallocated, {197, 100, 100, 0, 1}}), " Error ", kRgbRed},
      // Entries after an empty one are not shown but still count.
      {MakePages({ok, {0, 0, 0, 0}, {8, 100, 10, 30, 0}}), " Error ", kRgbRed},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const SmartPageModel model = Evaluate(cases[i].pages);
    EXPECT_EQ(model.verdict, cases[i].verdict) << "case " << i;
    EXPECT_EQ(model.verdictColour, cases[i].colour) << "case " << i;
  }
  EXPECT_EQ(Evaluate(cases[6].pages).rowCount, 1u);
}

TEST(SmartVerdict, StaysTheSameWhenUnchangedPagesAreEvaluatedAgain) {
  SmartState state;
  const Pages two = MakePages({{5, 100, 100, 36, 1}, {196, 100, 100, 0, 1}});
  const Pages one = MakePages({{5, 100, 100, 36, 1}});
  state.store[1] = {SmartBayPages{two.data, two.thresholds}, SmartBayPages{one.data, one.thresholds}};
  for (int i = 0; i < 20; ++i) {
    state.smartBay = static_cast<unsigned>(i % 2);
    EXPECT_EQ(EvaluateSmart(state, 1, "").verdict, i % 2 == 0 ? " Warning " : " Good ") << "evaluation " << i;
  }
  EXPECT_EQ(state.driveGrade[1][0], 2);
  EXPECT_EQ(state.driveGrade[1][1], 1);
}

TEST(SmartRows, ShowNamesValuesAndRawDigits) {
  const Pages pages = MakePages({{5, 200, 199, 36, 0x060504030201ull},
                                 {170, 99, 98, 10, 0},
                                 {0xB4, 100, 100, 0, 0xFFFFFFFFFFFFull},
                                 {0xBF, 1, 2, 3, 0}});
  const SmartPageModel model = Evaluate(pages, 1);
  ASSERT_EQ(model.rowCount, 4u);
  EXPECT_EQ(model.rows[0].cells, (std::array<std::string, kSmartColumns>{"05-Reallocated sector count", "200", "199",
                                                                         "36", "060504030201", "Alert"}));
  EXPECT_EQ(model.rows[1].cells[kColumnName], "AAh-UnKnown");
  EXPECT_EQ(model.rows[2].cells[kColumnName], "B4-Unused Reserved Block Count Total");
  EXPECT_EQ(model.rows[3].cells[kColumnName], "BF-G-sense error rate");
  EXPECT_EQ(model.heading, " SMART - HDD2 : ST31000528AS");
  EXPECT_EQ(SmartAttributeNames().size(), 61u);

  // Selecting a cell: the raw value read again from the page, or the name cell.
  const SmartCellSelection raw = SelectSmartCell(model, pages.data, kColumnRaw, 0);
  EXPECT_EQ(raw.panelText, model.rows[0].cells[kColumnRaw]);
  EXPECT_EQ(SelectSmartCell(model, pages.data, kColumnName, 1).hint, "AAh-UnKnown");
  EXPECT_FALSE(SelectSmartCell(model, pages.data, kColumnWorst, 1).panelText);
}

TEST(SmartRows, EmptyPageHidesTheGridAndTheNextFilledOneTakesTheFocus) {
  SmartState state;
  const Pages filled = MakePages({{5, 100, 100, 36, 1}, {197, 100, 100, 0, 1}});
  state.store[0][0] = SmartBayPages{filled.data, filled.thresholds};
  EXPECT_TRUE(EvaluateSmart(state, 0, "M1").focusGrid);
  EXPECT_FALSE(EvaluateSmart(state, 0, "M1").focusGrid);
  EXPECT_EQ(state.driveGrade[0][0], 3);

  state.store[0][0].data.fill(0);  // a pass found the bay empty
  const SmartPageModel empty = EvaluateSmart(state, 0, "");
  EXPECT_FALSE(empty.gridVisible);
  EXPECT_EQ(empty.verdict, "");
  EXPECT_EQ(empty.heading, " SMART - HDD1 : ");
  EXPECT_EQ(state.driveGrade[0][0], 0);

  state.store[0][0].data = filled.data;
  EXPECT_TRUE(EvaluateSmart(state, 0, "M1").focusGrid);
  EXPECT_FALSE(EvaluateSmart(state, 2, "").gridVisible);  // no slot beyond the store
}

}  // namespace
}  // namespace rur

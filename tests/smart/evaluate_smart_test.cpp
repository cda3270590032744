#include <gtest/gtest.h>

#include "smart/attribute_names.h"
#include "smart/evaluate_smart.h"
#include "smart/smart_pages.h"

namespace rur {
namespace {

using test::Entry;
using test::MakePages;
using test::Pages;

SmartPageModel Evaluate(const Pages& pages, unsigned bay = 0, bool gridFocused = false) {
  return EvaluateSmart(SmartEvaluationInput{pages.data, pages.thresholds, bay, BayCaption(bay), "ST31000528AS",
                                            gridFocused});
}

TEST(SmartGrade, DependsOnIdWorstValueThresholdAndRaw) {
  struct Case {
    Entry entry;
    std::uint8_t grade;
    const char* status;
    Rgb colour;
  } cases[] = {
      {{5, 100, 100, 100, 0}, 0, "Good", kRgbWhite},    // touching the threshold is not a failure
      {{5, 100, 99, 100, 0}, 16, "Error", kRgbRed},
      {{5, 100, 100, 100, 1}, 1, "Alert", kRgbYellow},
      {{5, 80, 100, 90, 0}, 0, "Good", kRgbWhite},      // the worst value is judged, not the current
      {{7, 100, 30, 31, 0}, 16, "Error", kRgbRed},
      {{8, 100, 100, 20, 0xFFFF}, 0, "Good", kRgbWhite},
      {{10, 100, 100, 50, 1ull << 40}, 4, "Alert", kRgbYellow},  // raw byte 10 counts too
      {{10, 100, 40, 50, 1}, 16, "Error", kRgbRed},
      {{11, 100, 1, 50, 0}, 0, "Good", kRgbWhite},      // no threshold test for 11
      {{11, 100, 100, 50, 2}, 4, "Alert", kRgbYellow},
      {{190, 60, 39, 40, 0}, 4, "Alert", kRgbYellow},
      {{194, 30, 1, 200, 45}, 0, "Good", kRgbWhite},
      {{196, 100, 100, 0, 1}, 1, "Alert", kRgbYellow},
      {{197, 100, 100, 0, 1}, 2, "Alert", kRgbYellow},
      {{198, 100, 100, 0, 1}, 1, "Alert", kRgbYellow},
      {{199, 100, 100, 0, 1}, 1, "Alert", kRgbYellow},
      {{1, 100, 1, 200, 99}, 0, "Good", kRgbWhite},
      {{170, 100, 1, 200, 99}, 0, "Good", kRgbWhite},
  };
  for (const Case& c : cases) {
    const SmartPageModel model = Evaluate(MakePages({c.entry}));
    ASSERT_EQ(model.rows.size(), 1u);
    const SmartRow& row = model.rows[0];
    EXPECT_EQ(row.grade, c.grade) << "ID " << int(c.entry.id) << " worst " << int(c.entry.worst);
    EXPECT_EQ(row.cells[kColumnStatus], c.status) << "ID " << int(c.entry.id);
    EXPECT_EQ(model.rowColours[0], c.colour) << "ID " << int(c.entry.id);
  }
}

TEST(SmartVerdict, FoldsTheGradesOfAllAttributes) {
  const Entry ok{1, 100, 100, 6, 0};
  const Entry temperature{194, 36, 20, 0, 36};
  const Entry reallocated{5, 100, 100, 36, 1};
  struct Case {
    Pages pages;
    const char* verdict;
    Rgb colour;
  } cases[] = {
      {MakePages({ok, temperature}), " Good ", kRgbBlack},
      {MakePages({ok, {197, 100, 100, 0, 1}}), " Warning ", kRgbMaroon},
      {MakePages({ok, reallocated}), " Good ", kRgbBlack},  // its row alone reads "Alert"
      {MakePages({reallocated, {196, 100, 100, 0, 3}}), " Warning ", kRgbMaroon},
      {MakePages({{198, 100, 100, 0, 1}, ok, {199, 200, 200, 0, 7}}), " Warning ", kRgbMaroon},
      {MakePages({{190, 60, 39, 40, 0}, temperature}), " Warning ", kRgbMaroon},
      {MakePages({{11, 100, 100, 0, 1}}), " Warning ", kRgbMaroon},
      {MakePages({{7, 100, 1, 30, 0}, ok, reallocated, {197, 100, 100, 0, 1}}), " Error ", kRgbRed},
      {MakePages({ok, {197, 100, 100, 0, 1}, {5, 100, 9, 10, 0}, temperature}), " Error ", kRgbRed},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const SmartPageModel model = Evaluate(cases[i].pages);
    EXPECT_EQ(model.verdict, cases[i].verdict) << "case " << i;
    EXPECT_EQ(model.verdictColour, cases[i].colour) << "case " << i;
  }
}

TEST(SmartVerdict, StaysTheSameWhenUnchangedPagesAreEvaluatedAgain) {
  SmartState state;
  const Pages pages = MakePages({{5, 100, 100, 36, 1}, {196, 100, 100, 0, 1}, {194, 36, 20, 0, 36}});
  state.store[1][0] = SmartBayPages{pages.data, pages.thresholds};
  const Pages single = MakePages({{5, 100, 100, 36, 1}});
  state.store[1][1] = SmartBayPages{single.data, single.thresholds};
  for (int i = 0; i < 20; ++i) {
    state.smartBay = static_cast<unsigned>(i % 2);
    const SmartPageModel model = EvaluateSmart(state, 1, "WDC WD10EARS");
    EXPECT_EQ(model.verdict, state.smartBay == 0 ? " Warning " : " Good ") << "evaluation " << i;
  }
  EXPECT_EQ(state.driveGrade[1][0], 2);
  EXPECT_EQ(state.driveGrade[1][1], 1);
}

TEST(SmartRows, ShowNamesValuesAndRawDigits) {
  Pages pages = MakePages({{5, 200, 199, 36, 0x060504030201ull},
                           {170, 99, 98, 10, 0},
                           {0xB4, 100, 100, 0, 0xFFFFFFFFFFFFull},
                           {0xBF, 1, 2, 3, 0},
                           {0xDD, 1, 2, 3, 0}});
  const SmartPageModel model = Evaluate(pages, 1);
  ASSERT_EQ(model.rows.size(), 5u);
  const std::array<std::string, kSmartColumns> first{"05-Reallocated sector count", "200", "199", "36",
                                                     "060504030201", "Alert"};
  EXPECT_EQ(model.rows[0].cells, first);
  EXPECT_EQ(model.rows[1].cells[kColumnName], "AAh-UnKnown");
  EXPECT_EQ(model.rows[1].cells[kColumnStatus], "Good");
  EXPECT_EQ(model.rows[2].cells[kColumnName], "B4-Unused Reserved Block Count Total");
  EXPECT_EQ(model.rows[2].cells[kColumnRaw], "FFFFFFFFFFFF");
  EXPECT_EQ(model.rows[3].cells[kColumnName], "BF-G-sense error rate");
  EXPECT_EQ(model.rows[4].cells[kColumnName], "DD-G-Sense Error Rate");
  EXPECT_EQ(model.heading, " SMART - HDD2 : ST31000528AS");
  EXPECT_EQ(model.bay, 1u);
  EXPECT_EQ(model.rowCount, 5u);
  EXPECT_TRUE(model.gridVisible);

  EXPECT_EQ(SmartAttributeNames().size(), 61u);
  EXPECT_EQ(FindSmartAttributeName(0xB4)->size(), 33u);
  EXPECT_EQ(FindSmartAttributeName(0xE2), "Load 'In'-time");
  EXPECT_FALSE(FindSmartAttributeName(0xD2));
}

TEST(SmartRows, EntriesAfterAGapAreGradedButLieBeyondTheRowCount) {
  Pages pages = MakePages({{1, 100, 100, 6, 0}, {0, 0, 0, 0, 0}, {7, 100, 10, 30, 0}});
  const SmartPageModel model = Evaluate(pages);
  EXPECT_EQ(model.rowCount, 1u);
  ASSERT_EQ(model.rows.size(), 2u);
  EXPECT_EQ(model.rows[1].cells[kColumnName], "07-Seek error rate");
  EXPECT_EQ(model.rowColours[1], kRgbRed);
  EXPECT_EQ(model.verdict, " Error ");
}

TEST(SmartRows, EmptyPageHidesTheGridAndFocusReturnsWithTheNextFilledOne) {
  SmartState state;
  const Pages filled = MakePages({{5, 100, 100, 36, 1}, {197, 100, 100, 0, 1}});
  state.store[0][0] = SmartBayPages{filled.data, filled.thresholds};

  SmartPageModel model = EvaluateSmart(state, 0, "M1");
  EXPECT_TRUE(model.focusGrid);
  EXPECT_EQ(state.driveGrade[0][0], 3);
  model = EvaluateSmart(state, 0, "M1");
  EXPECT_FALSE(model.focusGrid);  // only the first filled grid takes the focus

  state.smartBay = 1;  // bay 1 is empty
  model = EvaluateSmart(state, 0, "");
  EXPECT_FALSE(model.gridVisible);
  EXPECT_EQ(model.rowCount, 0u);
  EXPECT_EQ(model.verdict, "");
  EXPECT_EQ(model.heading, " SMART - HDD2 : ");
  EXPECT_EQ(model.bay, 1u);
  EXPECT_FALSE(state.gridFocused);

  state.smartBay = 0;
  model = EvaluateSmart(state, 0, "M1");
  EXPECT_TRUE(model.focusGrid);
  EXPECT_EQ(model.bay, 0u);

  state.store[0][0].data.fill(0);  // the bay was found empty by a pass
  model = EvaluateSmart(state, 0, "M1");
  EXPECT_EQ(state.driveGrade[0][0], 0);
  EXPECT_FALSE(model.gridVisible);

  // A slot the store does not hold shows nothing rather than reading past it.
  model = EvaluateSmart(state, 2, "M3");
  EXPECT_FALSE(model.gridVisible);
}

TEST(SmartRows, SelectingACellShowsItsNameOrRawValue) {
  Pages pages = MakePages({{9, 100, 100, 0, 0x1234}, {0xC2, 40, 30, 0, 0xA1B2C3D4E5F6ull}});
  const SmartPageModel model = Evaluate(pages);

  SmartCellSelection selection = StringGrid3SelectCell(model, pages.data, kColumnRaw, 1);
  EXPECT_EQ(selection.panelText, "A1B2C3D4E5F6");
  EXPECT_EQ(selection.panelText, model.rows[1].cells[kColumnRaw]);
  EXPECT_EQ(selection.hint, "A1B2C3D4E5F6");

  selection = StringGrid3SelectCell(model, pages.data, kColumnName, 0);
  EXPECT_EQ(selection.panelText, "09-Power-on hours count");
  EXPECT_EQ(selection.hint, "09-Power-on hours count");

  selection = StringGrid3SelectCell(model, pages.data, kColumnWorst, 1);
  EXPECT_FALSE(selection.panelText);
  EXPECT_EQ(selection.hint, "");
}

}  // namespace
}  // namespace rur

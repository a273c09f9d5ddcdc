// The procedure table is the one list of tests: a row copied and not fully
// edited would give two buttons one cell, or one command-line name two tests.

#include <gtest/gtest.h>

#include <set>

#include "procedures/procedure_table.h"

namespace vr512b {
namespace {

TEST(ProcedureTable, EveryNameIsUniqueAndCarriesItsPrefix) {
  std::set<std::string> names;
  for (const TestProcedure& test : AllProcedures()) {
    for (const std::string& name : {test.id, test.action, test.button, test.statusCell}) {
      if (!name.empty()) {
        EXPECT_TRUE(names.insert(name).second) << name;
      }
    }
    EXPECT_TRUE(test.action.starts_with("Act")) << test.action;
    EXPECT_TRUE(test.button.starts_with("Bt")) << test.button;
    EXPECT_TRUE(test.statusCell.empty() || test.statusCell.starts_with("ST")) << test.statusCell;
    EXPECT_NE(test.id, "all") << "the command-line name of Check all";
    ASSERT_TRUE(test.create) << test.id;
    EXPECT_NE(test.create(), nullptr) << test.id;
    EXPECT_EQ(FindProcedure(test.id), &test);
  }
  EXPECT_EQ(FindProcedure("all"), nullptr);
}

TEST(ProcedureTable, ButtonsWithACellComeFirstAndCheckAllRunsOnlyThem) {
  bool cellsEnded = false;
  for (const TestProcedure& test : AllProcedures()) {
    cellsEnded = cellsEnded || !test.HasStatusCell();
    EXPECT_EQ(test.HasStatusCell(), !cellsEnded) << test.id << " is out of its place";
    if (!test.HasStatusCell()) {
      EXPECT_EQ(test.checkAll, CheckAll::Never) << "a verdict without a cell: " << test.id;
    }
  }
}

}  // namespace
}  // namespace vr512b

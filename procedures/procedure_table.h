#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "procedures/test_run.h"

namespace vr512b {

// Where a test stands in Check all, which runs the tests in the order of the
// table and stops at the first one that does not pass.
enum class CheckAll {
  Never,
  Always,
  UnlessShortTest,  // skipped when "Сокращенная проверка" is checked
};

// One diagnostic test: everything the window, the runner and Check all know of
// it. A new test is one more row of the table, and nowhere else.
struct TestProcedure {
  std::string id;          // command-line name: func, indic, ...
  std::string action;      // ActTestFunc, ...
  std::string button;      // BtTestFunc, ...
  std::string caption;     // caption of the action and its button
  std::string title;       // the banner's title line
  std::string statusCell;  // STFunc, ...; empty for a test without one
  CheckAll checkAll = CheckAll::Never;
  // Without an enabling rule the action stays enabled while a test runs
  // (the monitor); otherwise it is enabled only while no test runs.
  bool alwaysEnabled = false;
  std::function<std::unique_ptr<TestRun>()> create;

  bool HasStatusCell() const { return !statusCell.empty(); }
  bool RunsInCheckAll(bool shortTest) const {
    return checkAll == CheckAll::Always || (checkAll == CheckAll::UnlessShortTest && !shortTest);
  }
};

// The tests in the order of the window's buttons: first those with a status
// cell, top to bottom, then the others.
std::span<const TestProcedure> AllProcedures();
const TestProcedure* FindProcedure(std::string_view id);

}  // namespace vr512b

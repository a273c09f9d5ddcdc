#pragma once

// What every history must do, whatever keeps it: the same cases run against
// a SQLite file (autotest_history) and a PostgreSQL server
// (autotest_history_postgres); each program defines FreshHistory for its
// backend.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "autotests/history/history_test_support.h"
#include "history/history_location.h"

namespace vr512b::history::testing {

// Where a fresh, empty history is, with `dir` for any local files; none,
// with the reason in `why`, when the backend cannot be had here.
std::optional<HistoryLocation> FreshHistory(const TempDir& dir, std::string& why);

class HistoryContract : public ::testing::Test {
 protected:
  void SetUp() override;

  TempDir dir_;
  HistoryLocation location_;
};

}  // namespace vr512b::history::testing

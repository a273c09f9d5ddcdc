#pragma once

// A test on a fresh database of the fixture's server, skipped with the
// reason when no server runs.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "autotests/history/history_test_support.h"

namespace vr512b::history::testing {

class PgDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    server_ = PgServer::Fixture(why);
    if (!server_)
      GTEST_SKIP() << why;
    database_ = server_->CreateDatabase();
  }

  TempDir dir_;
  std::optional<PgServer> server_;
  std::string database_;
};

}  // namespace vr512b::history::testing

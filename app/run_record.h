#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/utc_time.h"
#include "common/verdict.h"
#include "procedures/test_parameters.h"

namespace vr512b {

// What one run of the console did, from its start to its end, whichever
// front end ran it: which program on which computer, when, with which
// parameters and units, and every test with its verdict, times and log.
struct RunRecord {
  struct Unit {
    std::int32_t serial = 0;
    std::uint16_t version = 0;  // major byte, minor byte
  };
  struct Test {
    std::string id;       // command-line name
    std::string caption;  // button caption
    // Empty when the run ended inside the test.
    std::optional<Verdict> verdict;
    WallClock::time_point started;
    std::optional<WallClock::time_point> finished;
    std::vector<std::string> log;
    // How many lines of logOutsideTests came before the test's first line,
    // so that the log can be put together again in the order it was written.
    std::size_t outsideLinesBefore = 0;
  };

  std::string programVersion;  // file version, "2.0.0.3"
  std::string station;         // the computer's host name
  WallClock::time_point started;
  std::optional<WallClock::time_point> finished;
  TestParameterValues parameters;  // in force when the run started
  // By TUnitRole: the identity last read from each unit, kept even when a
  // later open fails.
  std::array<std::optional<Unit>, 2> units;
  std::vector<Test> tests;
  std::vector<std::string> logOutsideTests;
};

}  // namespace vr512b

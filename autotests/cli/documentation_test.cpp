// The README and the runner's manual page are written by hand; the tests and
// the bench scenarios they list must be those of the procedure and scenario
// tables, so that a new test or fault cannot go undocumented.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autotests/support/test_support.h"
#include "procedures/procedure_table.h"
#include "sim/virtual_bench.h"

namespace vr512b {
namespace {

std::string SourceFile(const std::string& path) {
  return testing::ReadFile(std::string(VR512B_SOURCE_DIR) + "/" + path);
}

std::vector<std::string> CommandNames() {
  std::vector<std::string> names;
  for (const TestProcedure& test : AllProcedures()) {
    if (test.HasStatusCell())
      names.push_back(test.id);
  }
  names.push_back("all");
  for (const TestProcedure& test : AllProcedures()) {
    if (!test.HasStatusCell())
      names.push_back(test.id);
  }
  return names;
}

// troff needs a hyphen written as \-.
std::string Troff(std::string_view text) {
  std::string out;
  for (char c : text)
    out += c == '-' ? std::string("\\-") : std::string(1, c);
  return out;
}

TEST(Documentation, TheReadmeListsEveryTestAndScenario) {
  const std::string readme = SourceFile("README.md");
  std::string tests;
  for (const std::string& name : CommandNames()) {
    if (!tests.empty())
      tests += ' ';
    tests += name;
  }
  EXPECT_NE(readme.find("tests `" + tests + "`"), std::string::npos) << tests;
  for (const sim::BenchScenario& scenario : sim::AllScenarios()) {
    std::string quoted(1, '`');
    quoted += scenario.keyword;
    EXPECT_NE(readme.find(quoted), std::string::npos) << scenario.keyword;
  }
}

TEST(Documentation, TheManualPageListsEveryTestAndScenario) {
  const std::string page = SourceFile("packaging/man/vr512b-diag-cli.1");
  for (const std::string& name : CommandNames())
    EXPECT_NE(page.find("\n.B " + name + "\n"), std::string::npos) << name;
  for (const sim::BenchScenario& scenario : sim::AllScenarios()) {
    const std::string keyword = Troff(scenario.keyword);
    const bool listed = page.find("\n.BI " + keyword + " ") != std::string::npos ||
                        page.find("\n.B " + keyword + "\n") != std::string::npos;
    EXPECT_TRUE(listed) << scenario.keyword;
  }
}

}  // namespace
}  // namespace vr512b

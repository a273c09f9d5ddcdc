// The console as a technician meets it on the first day: an ordinary user,
// units' nodes that only root may open until the udev rule is installed,
// and a unit that goes between the search and the open. The log keeps its
// one line; the runner tells the reason and the remedy on stderr, once.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/test_support.h"

namespace vr512b::realhid {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> Command(const testing::TempDir& dir,
                                 const std::vector<std::string>& tests) {
  std::vector<std::string> command{"--simulate",      "--virtual-time", "--settings",
                                   dir.File("p.reg"), "--history",      dir.File("runs.sqlite")};
  command.insert(command.end(), tests.begin(), tests.end());
  return command;
}

// The parameters file and the history of a run as "nobody" are nobody's to
// write.
void OpenToEveryone(const testing::TempDir& dir) {
  ::chmod(dir.path().c_str(), 0777);
}

int Occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

// Check all runs every test but the monitor; with the rule installed, an
// ordinary user's run passes all of them over the real stack.
TEST(RealAccess, WithTheUdevRuleAnOrdinaryUserPassesCheckAll) {
  testing::TempDir dir;
  OpenToEveryone(dir);
  const RunOutput got = RunOverRealStack(
      Command(dir, {"all"}),
      [](RealStack& stack) {
        stack.units.GrantAccess(urUnderTest);
        stack.units.GrantAccess(urReference);
      },
      true);
  // The questions, answered, come before the status cells.
  const std::size_t cells = got.err.rfind("STFunc");
  ASSERT_NE(cells, std::string::npos) << got.err;
  EXPECT_EQ(got.err.substr(cells),
            "STFunc: OK\nSTIndic: OK\nSTSound: OK\nSTTestTR: OK\nSTTestRX: OK\n"
            "STTestLine: OK\nSTTestTRMess: OK\nSTTestRXMess: OK\n");
  EXPECT_EQ(got.status, 0);
  EXPECT_GT(got.transfers[urUnderTest], 0);
  EXPECT_GT(got.transfers[urReference], 0);
  EXPECT_EQ(got.problems, std::vector<std::string>{});
}

// The monitor, left out of Check all, watches the line as an ordinary user
// too: the calls it receives are logged as over the virtual bench's own HID
// face, and it ends as the monitor ends, aborted (exit 2).
TEST(RealAccess, WithTheUdevRuleAnOrdinaryUserMonitorsTheLine) {
  testing::TempDir dir;
  OpenToEveryone(dir);
  const std::vector<std::string> monitor{"--abort-after", "60000",
                                         "--sim",         "call ut 11 3132333435 5551234",
                                         "--sim",         "call ut 50 0E0134126E00010034126E000100",
                                         "monitor"};
  const RunOutput got = RunOverRealStack(
      Command(dir, monitor),
      [](RealStack& stack) {
        stack.units.GrantAccess(urUnderTest);
        stack.units.GrantAccess(urReference);
      },
      true);
  std::vector<std::string> direct{"--simulate", "--virtual-time", "--settings",
                                  dir.File("direct.reg")};
  direct.insert(direct.end(), monitor.begin(), monitor.end());
  const RunOutput want = RunCliProcess(direct);
  EXPECT_EQ(got.status, 2) << got.err;
  EXPECT_EQ(got.status, want.status);
  EXPECT_GT(got.transfers[urUnderTest], 0);
  EXPECT_EQ(got.problems, std::vector<std::string>{});
  EXPECT_EQ(Occurrences(got.out, "Принял 0"), 2) << got.out;
  EXPECT_EQ(got.out, want.out);
  EXPECT_EQ(Occurrences(got.err, "Нет прав"), 0) << got.err;
}

// Without the rule the unit under test's node is root's (0600): hidapi's
// open fails with EACCES. The unit is passed over as the search passes over
// any node it cannot open, and the operator learns why, once in a run of
// two tests, with the node and the rule to install.
TEST(RealAccess, WithoutTheUdevRuleTheRunnerSaysWhyOnce) {
  testing::TempDir dir;
  OpenToEveryone(dir);
  std::string node;
  const RunOutput got = RunOverRealStack(
      Command(dir, {"func", "sound"}),
      [&](RealStack& stack) {
        stack.units.GrantAccess(urReference);
        node = stack.units.Node(urUnderTest);
      },
      true);
  const Lines log = testing::Lines(got.out);
  EXPECT_EQ(Occurrences(got.out, "Не удалось открыть проверяемое УПО\n"), 2) << got.out;
  EXPECT_EQ(got.transfers[urUnderTest], 0);
  const std::string told = "vr512b-diag-cli: Нет прав на чтение и запись " + node +
                           " (УПО): " + std::strerror(EACCES) +
                           ". Нужно правило udev для УПО: пакет ставит его в "
                           "/usr/lib/udev/rules.d/70-vr512b.rules; при запуске из дерева сборки "
                           "скопируйте packaging/70-vr512b.rules в /etc/udev/rules.d/, выполните "
                           "\"udevadm control --reload && udevadm trigger\" и подключите УПО "
                           "заново.\n";
  EXPECT_EQ(got.err, told + "STFunc: Ошибка\nSTSound: Ошибка\n");
  EXPECT_EQ(got.status, 1);
}

// udev still lists a unit whose node has gone: the open fails with ENOENT.
TEST(RealAccess, AUnitGoneBetweenTheSearchAndTheOpenIsSaid) {
  testing::TempDir dir;
  std::string node;
  const RunOutput got = RunOverRealStack(Command(dir, {"func"}), [&](RealStack& stack) {
    stack.units.RemoveNodeFile(urUnderTest);
    node = stack.units.Node(urUnderTest);
  });
  EXPECT_EQ(Occurrences(got.out, "Не удалось открыть проверяемое УПО\n"), 1) << got.out;
  EXPECT_EQ(got.err, "vr512b-diag-cli: УПО " + node +
                         " пропало между поиском и открытием: " + std::strerror(ENOENT) +
                         ". Проверьте подключение УПО и повторите проверку.\nSTFunc: Ошибка\n");
  EXPECT_EQ(got.status, 1);
}

}  // namespace
}  // namespace vr512b::realhid

// The Windows build over Wine's own HID stack: Wine's hid.dll and HID class
// driver, and its winebus, which finds hidraw devices through libudev and
// reads them with the hidraw ioctls. In a Wine started under the mocked bus,
// the bench's units are HID devices of Wine's like any other.
//
// Run by the Windows part of CI, which names the cross build in
// VR512B_WINDOWS_BUILD; skipped without it.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "autotests/realhid/real_stack.h"
#include "autotests/support/test_support.h"

namespace vr512b::realhid {
namespace {

using Lines = std::vector<std::string>;

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// A Wine prefix of its own, whose programs (winebus among them) start under
// this process's mocked bus. Wine 8 uses its udev bus only when its SDL bus
// is switched off.
//
// winebus brings the units in while a Wine session starts, concurrently with
// the session's first program, which may enumerate before they are there
// (the more often, the busier the machine). So one session lasts for the
// whole test, and the programs run only once it shows `units` units, as a
// technician starts the console after plugging the units in.
class MockedWine {
 public:
  MockedWine(std::string build, int units) : build_(std::move(build)) {
    Quiet("wineboot --init");
    Quiet(
        "wine reg add 'HKLM\\System\\CurrentControlSet\\Services\\winebus' /v 'Enable SDL' "
        "/t REG_DWORD /d 0 /f");
    // winebus takes the setting when it starts again, in the session kept
    // from here on.
    Quiet("wineserver -k");
    Quiet("wineserver -p");
    arrival_ = Program("autotests/autotest_windows.exe",
                       "--gtest_filter=Win32HidTest.TheMockedUnitsArrive",
                       "VR512B_UNITS_EXPECTED=" + std::to_string(units));
  }
  ~MockedWine() { Quiet("wineserver -k"); }
  MockedWine(const MockedWine&) = delete;
  MockedWine& operator=(const MockedWine&) = delete;

  // Whether the session showed the units before the test's programs ran;
  // otherwise the waiting program's output says what it saw.
  ::testing::AssertionResult UnitsArrived() const {
    if (arrival_.status == 0 &&
        arrival_.out.find("[       OK ] Win32HidTest.TheMockedUnitsArrive") != std::string::npos)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "exit " << arrival_.status << "\n" << arrival_.out;
  }

  // A program of the Windows build, its output kept.
  RunOutput Program(const std::string& program, const std::string& args,
                    const std::string& environment = "") {
    const std::string out = dir_.File("out");
    const std::string err = dir_.File("err");
    const int status =
        std::system((Environment() + environment + " wine " + Quoted(build_ + "/" + program) + " " +
                     args + " > " + Quoted(out) + " 2> " + Quoted(err) + " < /dev/null")
                        .c_str());
    RunOutput output;
    output.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    output.out = testing::ReadFile(out);
    output.err = testing::ReadFile(err);
    return output;
  }

 private:
  std::string Environment() const {
    return "env -u DISPLAY -u WAYLAND_DISPLAY WINEDEBUG=-all WINEARCH=win64 WINEPREFIX=" +
           Quoted(dir_.File("prefix")) + " ";
  }
  // Preparing and ending the prefix; what matters is judged by the runs that follow.
  void Quiet(const std::string& command) const {
    if (std::system((Environment() + command + " > /dev/null 2>&1").c_str()) != 0)
      std::fprintf(stderr, "note: '%s' did not succeed\n", command.c_str());
  }

  std::string build_;
  testing::TempDir dir_;
  RunOutput arrival_;
};

const char* WindowsBuild() {
  return std::getenv("VR512B_WINDOWS_BUILD");
}

// The default bench's reference unit and unit under test.
constexpr int kBenchUnits = 2;

Lines State(int received) {
  return {"Читаю состояние проверяемого", "Принятых сообщений: " + std::to_string(received),
          "Переданных сообщений: 0", "Состояние: отсутствует"};
}

TEST(RealStackUnderWine, TheWindowsRunnerRunsTheFunctioningTest) {
  if (WindowsBuild() == nullptr)
    GTEST_SKIP() << "VR512B_WINDOWS_BUILD names no Windows build";
  RealClock clock;
  RealStack stack({}, &clock);
  MockedWine wine(WindowsBuild(), kBenchUnits);
  ASSERT_TRUE(wine.UnitsArrived());
  const RunOutput got =
      wine.Program("cli/vr512b-diag-cli.exe",
                   "--answer no --settings HKEY_CURRENT_USER --set NameVR512BSample=10001 func");

  Lines want{std::string(39, '-'),
             ">>>>>--Проверка функционирования--<<<<<",
             std::string(39, '-'),
             "Открыл проверяемое УПО",
             "  версия 2.3 (проверяемое)",
             "  серийный номер 10002 (проверяемое)",
             "Событие проверяемого: включение питания",
             "Очистка проверяемого"};
  for (int r = 1; r <= 20; ++r) {
    want.push_back("Запись конфигурации " + std::to_string(r));
    want.push_back("Чтение конфигурации " + std::to_string(r));
  }
  want.push_back("Очистка регистров проверяемого");
  const Lines empty = State(0);
  want.insert(want.end(), empty.begin(), empty.end());
  for (int n = 1; n <= 200; ++n)
    want.push_back("Записываю тестовое сообщение " + std::to_string(n));
  const Lines full = State(200);
  want.insert(want.end(), full.begin(), full.end());
  for (int n = 1; n <= 200; ++n)
    want.push_back("Читаю тестовое сообщение " + std::to_string(n));
  want.insert(want.end(), full.begin(), full.end());
  want.insert(want.end(), {"Проверяемое устройство закрыто", ""});
  EXPECT_EQ(testing::Lines(got.out), want);
  EXPECT_EQ(got.err, "STFunc: OK\n");
  EXPECT_EQ(got.status, 0);
  EXPECT_GE(stack.units.Transfers(urUnderTest), 2 * 20 + 200 + 2 * 200);
}

// Every status read of the units moves 3 of its 7 bytes. HidD_GetFeature
// shows that as success; the backend, which keeps the byte count, sees the
// short answer, and the console fails the exchange with ERROR_BAD_LENGTH.
TEST(RealStackUnderWine, AShortAnswerThroughWinesHidDll) {
  if (WindowsBuild() == nullptr)
    GTEST_SKIP() << "VR512B_WINDOWS_BUILD names no Windows build";
  RealClock clock;
  RealStack stack({}, &clock);
  stack.units.SetFault([](const FeatureTransfer& t) -> std::optional<TransferFault> {
    if (!t.set && t.reportId == kReportShort)
      return TransferFault{0, std::size_t{3}};
    return std::nullopt;
  });
  MockedWine wine(WindowsBuild(), kBenchUnits);
  ASSERT_TRUE(wine.UnitsArrived());
  const RunOutput probe =
      wine.Program("autotests/autotest_windows.exe", "--gtest_filter=*AShortAnswer*",
                   "VR512B_UNITS_ANSWER_SHORT=3");
  EXPECT_EQ(probe.status, 0) << probe.out;
  EXPECT_NE(probe.out.find("[       OK ] Win32HidTest.AShortAnswerFromAMockedUnit"),
            std::string::npos)
      << probe.out;

  const RunOutput got =
      wine.Program("cli/vr512b-diag-cli.exe",
                   "--answer no --settings HKEY_CURRENT_USER --set NameVR512BSample=10001 line");
  const Lines log = testing::Lines(got.out);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(Lines(log.end() - 5, log.end()),
            (Lines{"Жду завершения операции ", "Проверяемое: Bad length.", "",
                   "Проверяемое устройство закрыто", ""}));
  EXPECT_EQ(got.err.substr(got.err.rfind("STTestLine")), "STTestLine: Ошибка\n");
}

}  // namespace
}  // namespace vr512b::realhid

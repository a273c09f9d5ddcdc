// Scenario texts of the --sim option.

#include <gtest/gtest.h>

#include "sim/virtual_bench.h"

namespace vr512b::sim {
namespace {

TEST(SimScenario, DefaultBench) {
  const BenchConfig config = DefaultBenchConfig();
  EXPECT_EQ(config.units[urReference].serial, "10001");
  EXPECT_EQ(config.units[urReference].phone, "2001");
  EXPECT_EQ(config.units[urUnderTest].serial, "10002");
  EXPECT_EQ(config.units[urUnderTest].phone, "2002");
  EXPECT_EQ(config.units[urUnderTest].version, 0x0203);
  EXPECT_TRUE(config.units[urUnderTest].present && config.units[urReference].present);
  EXPECT_TRUE(config.withForeignDevice);
}

TEST(SimScenario, EveryScenarioLandsWhereItBelongs) {
  BenchConfig c = DefaultBenchConfig();
  for (const char* scenario :
       {"absent ref", "serial ut  -5", "version ut 0A03", "unplug ref after 5", "config-byte ut 15",
        "pending ut 10 11 3132", "busy ref", "display-broken", "buzzer-broken", "no-dial-tone",
        "voltage-stays", "drop ut after 3", "corrupt ref 0", "call ut 50 0E01 2001",
        "call ref 11 31", "error ut 7 after 3", "error ref 255 after 1 quiet",
        "count-after-read ut 199", "power-off-before-ok"}) {
    EXPECT_EQ(ApplyScenario(c, scenario), "") << scenario;
  }
  EXPECT_FALSE(c.units[urReference].present);
  EXPECT_EQ(c.units[urUnderTest].serial, " -5") << "the text is kept as written";
  EXPECT_EQ(c.units[urUnderTest].version, 0x0A03);
  EXPECT_EQ(c.faults[urReference].unplugAfterTransfers, 5);
  EXPECT_EQ(c.faults[urUnderTest].configByteNotKept, 15);
  EXPECT_EQ(c.faults[urUnderTest].pendingReply,
            (std::vector<std::uint8_t>{0x10, 0x11, 0x31, 0x32}));
  EXPECT_TRUE(c.faults[urReference].stuckBusy);
  EXPECT_TRUE(c.displayBroken && c.buzzerBroken && c.noDialTone && c.voltageStays &&
              c.powerOffBeforeOk);
  ASSERT_TRUE(c.faults[urUnderTest].lineError.has_value());
  EXPECT_EQ(c.faults[urUnderTest].lineError->code, 7);
  EXPECT_EQ(c.faults[urUnderTest].lineError->afterMessages, 3);
  EXPECT_FALSE(c.faults[urUnderTest].lineError->quiet);
  ASSERT_TRUE(c.faults[urReference].lineError.has_value());
  EXPECT_EQ(c.faults[urReference].lineError->code, 255);
  EXPECT_TRUE(c.faults[urReference].lineError->quiet);
  EXPECT_EQ(c.faults[urUnderTest].countAfterReadBack, 199);
  EXPECT_FALSE(c.faults[urReference].countAfterReadBack.has_value());
  EXPECT_EQ(c.faults[urUnderTest].dropAfterMessages, 3);
  EXPECT_EQ(c.faults[urReference].corruptMessage, 0);
  ASSERT_EQ(c.calls.size(), 2u);
  EXPECT_EQ(c.calls[0].target, urUnderTest);
  EXPECT_EQ(c.calls[0].format, 0x50);
  EXPECT_EQ(c.calls[0].data, (std::vector<std::uint8_t>{0x0E, 0x01}));
  EXPECT_EQ(c.calls[0].callingNumber, "2001");
  EXPECT_EQ(c.calls[1].target, urReference);
  EXPECT_FALSE(c.calls[1].callingNumber.has_value());
}

TEST(SimScenario, MalformedScenariosAreRefusedAndChangeNothing) {
  const std::string tooLong(86, '1');
  for (const std::string& scenario : {std::string(),
                                      std::string("   "),
                                      std::string("unplug"),
                                      std::string("absent both"),
                                      std::string("absent"),
                                      std::string("absent ut now"),
                                      std::string("serial ut"),
                                      std::string("version ut 12345"),
                                      std::string("version ut 0G"),
                                      std::string("unplug ut 5"),
                                      std::string("unplug ut after -1"),
                                      std::string("unplug ut after x"),
                                      std::string("config-byte ut 16"),
                                      std::string("pending ut 123"),
                                      std::string("pending ut"),
                                      "pending ut " + tooLong,
                                      std::string("display-broken ut"),
                                      std::string("drop ref after"),
                                      std::string("corrupt ut"),
                                      std::string("call ut 5 00"),
                                      std::string("call ut 50"),
                                      std::string("call ut 50 0E 2001 2002"),
                                      std::string("call ut 50 zz"),
                                      std::string("call ut 50 0E 1234567890123456"),
                                      std::string("error ut 7"),
                                      std::string("error ut 256 after 1"),
                                      std::string("error ut 7 after 0"),
                                      std::string("error ut 7 after 2 loud"),
                                      std::string("error ut 7 after 2 quiet now"),
                                      std::string("count-after-read ut"),
                                      std::string("count-after-read ut 256"),
                                      std::string("power-off-before-ok ut"),
                                      std::string("explode ut")}) {
    BenchConfig c = DefaultBenchConfig();
    const std::string error = ApplyScenario(c, scenario);
    EXPECT_NE(error, "") << "'" << scenario << "'";
    EXPECT_EQ(c.faults[urUnderTest].pendingReply.size(), 0u);
    EXPECT_TRUE(c.calls.empty());
    EXPECT_TRUE(c.units[urUnderTest].present);
    EXPECT_FALSE(c.faults[urUnderTest].lineError.has_value());
    EXPECT_FALSE(c.faults[urUnderTest].countAfterReadBack.has_value());
    EXPECT_FALSE(c.powerOffBeforeOk);
  }
  BenchConfig c = DefaultBenchConfig();
  EXPECT_NE(ApplyScenario(c, "absent both").find("both"), std::string::npos)
      << "the error names what is wrong";
}

}  // namespace
}  // namespace vr512b::sim

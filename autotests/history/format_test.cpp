// --list-runs as CSV and JSON: the header, the quoting, the times, and the
// empty fields of what a run never learned.

#include <gtest/gtest.h>

#include "history/history_format.h"

namespace vr512b::history {
namespace {

using namespace std::chrono;

TimeMs At(int hour, int minute, int second, int ms) {
  return TimeMs(sys_days(2026y / 12 / 8).time_since_epoch() + hours(hour) + minutes(minute) +
                seconds(second) + milliseconds(ms));
}

std::vector<TestRunRow> Rows() {
  return {
      {"5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f", At(9, 0, 1, 5), At(9, 0, 16, 40), "bench-3", 12345,
       10001, "func", "Функционирование", Verdict::Ok, Bench::Real},
      // A station name that needs quoting, a unit never read, a test cut short.
      {"5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f", At(23, 59, 59, 999), std::nullopt,
       "Стенд \"2\", цех", std::nullopt, -7, "tr", "Передача данных", std::nullopt, Bench::Virtual},
      // A run recorded before the history kept the bench; an error shows as a failure does.
      {"00000000-0000-4000-8000-000000000000", At(0, 0, 0, 0), At(0, 0, 0, 1), "a\nb", 0,
       std::nullopt, "indic", "Индикация", Verdict::Aborted, std::nullopt},
      {"00000000-0000-4000-8000-000000000001", At(0, 0, 0, 0), std::nullopt, "b", 0, std::nullopt,
       "sound", "Звук", Verdict::Error, Bench::Real},
  };
}

TEST(HistoryFormat, CsvHasTheHeaderAndQuotesWhatNeedsIt) {
  EXPECT_EQ(
      FormatCsv(Rows()),
      "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench\n"
      "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f,2026-12-08T09:00:01.005Z,"
      "2026-12-08T09:00:16.040Z,bench-3,12345,10001,func,OK,real\n"
      "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f,2026-12-08T23:59:59.999Z,,"
      "\"Стенд \"\"2\"\", цех\",,-7,tr,,virtual\n"
      "00000000-0000-4000-8000-000000000000,2026-12-08T00:00:00.000Z,"
      "2026-12-08T00:00:00.001Z,\"a\nb\",0,,indic,Прервано,\n"
      "00000000-0000-4000-8000-000000000001,2026-12-08T00:00:00.000Z,,b,0,,sound,Ошибка,real\n");
  EXPECT_EQ(FormatCsv({}),
            "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench\n");
}

TEST(HistoryFormat, JsonHasTheSameFieldsWithNullForTheUnknown) {
  EXPECT_EQ(
      FormatJson(Rows()),
      "[\n"
      "  {\"run_id\": \"5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f\", "
      "\"started\": \"2026-12-08T09:00:01.005Z\", \"finished\": \"2026-12-08T09:00:16.040Z\", "
      "\"station\": \"bench-3\", \"unit_serial\": 12345, \"reference_serial\": 10001, "
      "\"test\": \"func\", \"verdict\": \"OK\", \"bench\": \"real\"},\n"
      "  {\"run_id\": \"5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f\", "
      "\"started\": \"2026-12-08T23:59:59.999Z\", \"finished\": null, "
      "\"station\": \"Стенд \\\"2\\\", цех\", \"unit_serial\": null, \"reference_serial\": -7, "
      "\"test\": \"tr\", \"verdict\": null, \"bench\": \"virtual\"},\n"
      "  {\"run_id\": \"00000000-0000-4000-8000-000000000000\", "
      "\"started\": \"2026-12-08T00:00:00.000Z\", \"finished\": \"2026-12-08T00:00:00.001Z\", "
      "\"station\": \"a\\u000Ab\", \"unit_serial\": 0, \"reference_serial\": null, "
      "\"test\": \"indic\", \"verdict\": \"Прервано\", \"bench\": null},\n"
      "  {\"run_id\": \"00000000-0000-4000-8000-000000000001\", "
      "\"started\": \"2026-12-08T00:00:00.000Z\", \"finished\": null, "
      "\"station\": \"b\", \"unit_serial\": 0, \"reference_serial\": null, "
      "\"test\": \"sound\", \"verdict\": \"Ошибка\", \"bench\": \"real\"}\n"
      "]\n");
  EXPECT_EQ(FormatJson({}), "[]\n");
}

}  // namespace
}  // namespace vr512b::history

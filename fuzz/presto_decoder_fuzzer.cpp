// The Presto decoder on a 24-byte data field, compared line by line with a
// model written from the message layout: entries follow the two header bytes
// back to back, as many whole ones as the length byte allows, never more than
// the field holds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "autotests/support/hostile_unit.h"
#include "procedures/line_monitor.h"

namespace {

std::vector<std::string> ModelLines(const std::vector<std::uint8_t>& d) {
  const int length = static_cast<std::int8_t>(d[0]);
  const int type = static_cast<std::int8_t>(d[1]);
  if (type != 1 && type != 2)
    return {"Неизвестный тип сообщения"};
  const int size = type == 1 ? 6 : 7;
  const int end = std::min<int>(length, static_cast<int>(d.size()));
  std::vector<std::string> lines;
  for (int at = 2; at + size <= end; at += size) {
    char text[96];
    if (type == 1) {
      std::snprintf(text, sizeof text, "  Сообщение: ID=%04X Msg=%u Num=%u",
                    d[at] + 256u * d[at + 1], d[at + 2] + 256u * d[at + 3], unsigned{d[at + 4]});
    } else {
      std::snprintf(text, sizeof text, "  Сообщение: СН=%u Msg=%u Num=%u",
                    d[at] + 256u * d[at + 1] + 65536u * d[at + 2], d[at + 3] + 256u * d[at + 4],
                    unsigned{d[at + 5]});
    }
    lines.emplace_back(text);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Exactly the field on the heap, so that a read past it is caught.
  std::vector<std::uint8_t> field(vr512b::kMsgDataFieldSize);
  std::copy_n(data, std::min(size, field.size()), field.begin());

  vr512b::VirtualClock clock;
  vr512b::testing::ByteFeed nothing(nullptr, 0);
  vr512b::testing::HostileUnits units(nothing, clock);
  vr512b::testing::RecordingView view;
  vr512b::DiagConsole console(units, clock, view);
  vr512b::DecodePrestoMessage(console, field.data());

  const std::vector<std::string> expected = ModelLines(field);
  if (view.log == expected)
    return 0;
  std::fprintf(stderr, "presto_decoder: %zu lines, the model has %zu\n", view.log.size(),
               expected.size());
  for (std::size_t i = 0; i < std::max(view.log.size(), expected.size()); ++i) {
    std::fprintf(stderr, "  got [%s] want [%s]\n", i < view.log.size() ? view.log[i].c_str() : "",
                 i < expected.size() ? expected[i].c_str() : "");
  }
  std::abort();
}

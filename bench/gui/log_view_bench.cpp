// vr512b-bench-log LINES [--events-every N] [--baseline-cap M]
//
// Appends LINES log lines to the log pane and, in the same run, to a QPlainTextEdit (the
// baseline), processing events every N lines as a running test does between its steps. Reports
// time and heap per appended line, then repaint and scroll times at the final size.

#include "gui/log_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFont>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScrollBar>

#ifdef _WIN32
#include <windows.h>

#include <psapi.h>
#else
#include <malloc.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kPaneWidth = 431;
constexpr int kPaneHeight = 463;
constexpr int kRepaintRuns = 20;
constexpr int kScrollRuns = 50;

struct Options {
  long long lines = 0;
  long long eventsEvery = 1000;
  long long baselineCap = 300'000;
};

struct Memory {
  long long heap = 0;  // bytes in use by malloc, mapped blocks included
  long long rss = 0;
};

#ifdef _WIN32
// The process's private bytes stand in for the heap: Windows' heap has no
// mallinfo.
Memory SampleMemory() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  Memory memory;
  if (::GetProcessMemoryInfo(::GetCurrentProcess(),
                             reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters)) {
    memory.heap = static_cast<long long>(counters.PrivateUsage);
    memory.rss = static_cast<long long>(counters.WorkingSetSize);
  }
  return memory;
}

void ReturnFreedMemory() {}
#else
Memory SampleMemory() {
  const struct mallinfo2 info = mallinfo2();
  Memory memory;
  memory.heap = static_cast<long long>(info.uordblks + info.hblkhd);
  std::ifstream statm("/proc/self/statm");
  long long size = 0;
  long long resident = 0;
  statm >> size >> resident;
  memory.rss = resident * sysconf(_SC_PAGESIZE);
  return memory;
}

void ReturnFreedMemory() {
  malloc_trim(0);
}
#endif

// The kinds of lines a test run writes: steps, received messages with their data, events,
// banners, verdicts and the empty line that closes each test.
class LineMaker {
 public:
  std::string_view next(long long i) {
    const int n = static_cast<int>(i % 100);
    int length = 0;
    switch (i % 8) {
      case 0:
        length = std::snprintf(buffer_, sizeof buffer_, "Записываю тестовое сообщение %lld", i);
        break;
      case 1:
        length = std::snprintf(buffer_, sizeof buffer_, "Принял  сообщение %02d: %015lld", n,
                               18111000000LL + i);
        break;
      case 2:
        length =
            std::snprintf(buffer_, sizeof buffer_, "Событие проверяемого: передача завершена ОК");
        break;
      case 3:
        length = std::snprintf(buffer_, sizeof buffer_,
                               "Принял  сообщение %02d: 18 01 %02X 00 7F "
                               "A5 3C 11 00 00 00 42",
                               n, n);
        break;
      case 4:
        length = std::snprintf(buffer_, sizeof buffer_, "Отправил сообщение %02d (эталонное)", n);
        break;
      case 5:
        length = std::snprintf(buffer_, sizeof buffer_, "--------------------------------");
        break;
      case 6:
        length = std::snprintf(buffer_, sizeof buffer_, "Результат: OK");
        break;
      default:
        length = 0;
        break;
    }
    return {buffer_, static_cast<std::size_t>(std::max(0, length))};
  }

 private:
  char buffer_[160] = {};
};

struct Result {
  long long lines = 0;
  double appendSeconds = 0;
  double heapPerLine = 0;
  double rssPerLine = 0;
  double repaintMedianMs = 0;
  double repaintMaxMs = 0;
  double scrollMedianMs = 0;
  double scrollMaxMs = 0;
  double usPerLine() const { return appendSeconds * 1e6 / static_cast<double>(lines); }
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

QFont LogFont() {
  // The pane's font; where it is missing, the system picks a fixed-pitch substitute.
  QFont font(QStringLiteral("Lucida Console"));
  font.setStyleHint(QFont::TypeWriter);
  font.setPixelSize(11);
  return font;
}

// `append` adds one line; `widget` is what is repainted and `bar` what is scrolled.
template <typename Append>
Result Measure(QWidget& widget, QWidget& viewport, QScrollBar& bar, long long lines,
               long long eventsEvery, Append append) {
  widget.setFont(LogFont());
  widget.resize(kPaneWidth, kPaneHeight);
  widget.show();
  QApplication::processEvents();

  Result result;
  result.lines = lines;
  LineMaker maker;
  const Memory before = SampleMemory();
  QElapsedTimer timer;
  timer.start();
  for (long long i = 0; i < lines; ++i) {
    append(maker.next(i));
    if ((i + 1) % eventsEvery == 0) {
      QApplication::processEvents();
    }
  }
  QApplication::processEvents();
  result.appendSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  const Memory after = SampleMemory();
  result.heapPerLine = static_cast<double>(after.heap - before.heap) / static_cast<double>(lines);
  result.rssPerLine = static_cast<double>(after.rss - before.rss) / static_cast<double>(lines);

  std::vector<double> times;
  for (int run = 0; run < kRepaintRuns; ++run) {
    timer.restart();
    const QPixmap pixmap = widget.grab();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  result.repaintMedianMs = Median(times);
  result.repaintMaxMs = *std::max_element(times.begin(), times.end());

  times.clear();
  std::mt19937 random(512);
  std::uniform_int_distribution<int> position(bar.minimum(), bar.maximum());
  for (int run = 0; run < kScrollRuns; ++run) {
    timer.restart();
    bar.setValue(position(random));
    viewport.repaint();
    times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
  }
  result.scrollMedianMs = Median(times);
  result.scrollMaxMs = *std::max_element(times.begin(), times.end());
  widget.hide();
  return result;
}

double GenerationSecondsPerLine(long long lines) {
  LineMaker maker;
  std::size_t bytes = 0;
  QElapsedTimer timer;
  timer.start();
  for (long long i = 0; i < lines; ++i) {
    bytes += maker.next(i).size();
  }
  const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  std::printf("  (line generation alone: %.3f us/line, %.1f bytes/line of UTF-8 text)\n",
              seconds * 1e6 / static_cast<double>(lines),
              static_cast<double>(bytes) / static_cast<double>(lines));
  return seconds;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--events-every" && i + 1 < argc) {
      options.eventsEvery = std::atoll(argv[++i]);
    } else if (arg == "--baseline-cap" && i + 1 < argc) {
      options.baselineCap = std::atoll(argv[++i]);
    } else if (options.lines == 0) {
      options.lines = std::atoll(argv[i]);
    } else {
      return false;
    }
  }
  return options.lines > 0 && options.eventsEvery > 0 && options.baselineCap > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s LINES [--events-every N] [--baseline-cap M]\n", argv[0]);
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);

  const long long baselineLines = std::min(options.lines, options.baselineCap);
  std::printf("log pane benchmark: %lld lines, events processed every %lld lines, platform %s\n",
              options.lines, options.eventsEvery, qPrintable(QApplication::platformName()));
  GenerationSecondsPerLine(std::min<long long>(options.lines, 1'000'000));

  // The baseline first, then freed and trimmed, so that its pages do not serve ours.
  Result baseline;
  {
    auto edit = std::make_unique<QPlainTextEdit>();
    edit->setReadOnly(true);
    edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    baseline = Measure(*edit, *edit->viewport(), *edit->verticalScrollBar(), baselineLines,
                       options.eventsEvery, [&edit](std::string_view line) {
                         edit->appendPlainText(
                             QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
                       });
  }
  ReturnFreedMemory();

  Result ours;
  double textSeconds = 0;
  {
    auto view = std::make_unique<vr512b::gui::LogView>();
    ours = Measure(*view, *view->viewport(), *view->verticalScrollBar(), options.lines,
                   options.eventsEvery, [&view](std::string_view line) { view->appendLine(line); });
    QElapsedTimer timer;
    timer.start();
    const QString all = view->text();
    textSeconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    std::printf("  (LogView::text() of all %lld lines: %.3f s, %lld UTF-16 units)\n", options.lines,
                textSeconds, static_cast<long long>(all.size()));
  }

  const bool capped = baselineLines < options.lines;
  if (capped) {
    std::printf(
        "  baseline capped at %lld lines: its per-line time and memory are extrapolated\n"
        "  linearly (taken as constant per line) to %lld lines; its repaint and scroll\n"
        "  times are those at %lld lines\n",
        baselineLines, options.lines, baselineLines);
  }
  std::printf("\n%-34s %18s %18s\n", "", "LogView", "QPlainTextEdit");
  std::printf("%-34s %18lld %18lld\n", "lines appended", ours.lines, baseline.lines);
  std::printf("%-34s %18.3f %18.3f\n", "append total, s (measured)", ours.appendSeconds,
              baseline.appendSeconds);
  std::printf("%-34s %18.3f %18.3f\n", "append, us/line", ours.usPerLine(), baseline.usPerLine());
  std::printf("%-34s %18.1f %18.1f\n", "heap growth, bytes/line", ours.heapPerLine,
              baseline.heapPerLine);
  std::printf("%-34s %18.1f %18.1f\n", "RSS growth, bytes/line", ours.rssPerLine,
              baseline.rssPerLine);
  std::printf("%-34s %8.2f / %7.2f %8.2f / %7.2f\n", "repaint (grab), ms median / max",
              ours.repaintMedianMs, ours.repaintMaxMs, baseline.repaintMedianMs,
              baseline.repaintMaxMs);
  std::printf("%-34s %8.2f / %7.2f %8.2f / %7.2f\n", "scroll + repaint, ms median / max",
              ours.scrollMedianMs, ours.scrollMaxMs, baseline.scrollMedianMs, baseline.scrollMaxMs);

  const double speedup = baseline.usPerLine() / ours.usPerLine();
  const double memoryRatio = baseline.heapPerLine / ours.heapPerLine;
  const bool fastEnough = speedup >= 20.0;
  const bool smallEnough = memoryRatio >= 5.0;
  const bool paintsInTime = ours.repaintMaxMs < 16.0 && ours.scrollMaxMs < 16.0;
  std::printf("\nappend %.1fx faster (goal >= 20x): %s\n", speedup, fastEnough ? "met" : "NOT met");
  std::printf("memory 1/%.1f per line (goal <= 1/5): %s\n", memoryRatio,
              smallEnough ? "met" : "NOT met");
  std::printf("repaint and scroll worst case under 16 ms: %s\n", paintsInTime ? "met" : "NOT met");
  std::printf("lines=%lld ours_us=%.3f baseline_us=%.3f ours_bytes=%.1f baseline_bytes=%.1f\n",
              options.lines, ours.usPerLine(), baseline.usPerLine(), ours.heapPerLine,
              baseline.heapPerLine);
  return 0;
}

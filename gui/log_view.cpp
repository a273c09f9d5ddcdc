#include "gui/log_view.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QList>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextCharFormat>
#include <QTextLayout>
#include <QTextOption>
#include <QTimer>
#include <QUtf8StringView>

#include <algorithm>
#include <cmath>
#include <compare>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "common/utf8.h"

namespace vr512b::gui {
namespace {

// Gap between the viewport's edge and the text, as plain-text editors leave one.
constexpr int kMargin = 3;
// While a drag selection is held outside the viewport, the view scrolls one step per tick.
constexpr int kAutoScrollMs = 50;

int ClampToInt(qsizetype value) {
  return static_cast<int>(std::clamp<qsizetype>(value, 0, std::numeric_limits<int>::max()));
}

// The lines back to back in one UTF-8 byte sequence plus the end offset of every line; nothing
// is allocated per line. The bytes are cut into fixed-size chunks instead of one growing buffer:
// at millions of lines the log is hundreds of megabytes, and regrowing a single buffer would copy
// all of it (stalling the window) and briefly need twice the memory.
class LineStore {
 public:
  qsizetype size() const { return static_cast<qsizetype>(ends_.size()); }
  std::uint64_t byteSize() const { return total_; }
  std::uint64_t begin(qsizetype i) const { return i == 0 ? 0 : ends_[Index(i - 1)]; }
  std::uint64_t end(qsizetype i) const { return ends_[Index(i)]; }

  void append(std::string_view utf8) {
    std::size_t done = 0;
    while (done < utf8.size()) {
      if (chunks_.empty() || chunks_.back().size() == kChunkSize) {
        chunks_.emplace_back();
        // Only the first chunk starts small, so that a short log does not hold a whole chunk.
        chunks_.back().reserve(chunks_.size() == 1 ? kFirstReserve : kChunkSize);
      }
      std::vector<char>& chunk = chunks_.back();
      const std::size_t n = std::min(kChunkSize - chunk.size(), utf8.size() - done);
      if (chunk.capacity() < chunk.size() + n) {
        chunk.reserve(std::min(kChunkSize, std::max(chunk.capacity() * 2, chunk.size() + n)));
      }
      chunk.insert(chunk.end(), utf8.data() + done, utf8.data() + done + n);
      done += n;
    }
    total_ += utf8.size();
    ends_.push_back(total_);
  }

  // A line that straddles two chunks is gathered into `scratch`; all others are read in place.
  std::string_view bytes(qsizetype i, std::string& scratch) const {
    const std::uint64_t from = begin(i);
    const std::uint64_t to = end(i);
    if (from == to) {
      return {};
    }
    const std::uint64_t first = from >> kChunkBits;
    const std::uint64_t last = (to - 1) >> kChunkBits;
    if (first == last) {
      return {chunks_[first].data() + (from & kOffsetMask), static_cast<std::size_t>(to - from)};
    }
    scratch.clear();
    for (std::uint64_t c = first; c <= last; ++c) {
      const std::uint64_t lo = std::max(from, c << kChunkBits);
      const std::uint64_t hi = std::min(to, (c + 1) << kChunkBits);
      scratch.append(chunks_[c].data() + (lo & kOffsetMask), static_cast<std::size_t>(hi - lo));
    }
    return scratch;
  }

  void clear() {
    // Assigning fresh containers (rather than clear()) hands the memory back.
    chunks_ = {};
    ends_ = {};
    total_ = 0;
  }

 private:
  static constexpr int kChunkBits = 20;
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;
  static constexpr std::uint64_t kOffsetMask = kChunkSize - 1;
  static constexpr std::size_t kFirstReserve = 4096;

  static std::size_t Index(qsizetype i) { return static_cast<std::size_t>(i); }

  std::vector<std::vector<char>> chunks_;
  // A deque grows without ever moving what it holds: no multi-megabyte copy at 10^7 lines.
  std::deque<std::uint64_t> ends_;
  std::uint64_t total_ = 0;
};

std::size_t FindLineBreak(std::string_view text) {
  const void* lf = std::memchr(text.data(), '\n', text.size());
  const void* cr = std::memchr(text.data(), '\r', text.size());
  const char* first = static_cast<const char*>(lf != nullptr ? lf : cr);
  if (cr != nullptr && lf != nullptr) {
    first = std::min(static_cast<const char*>(lf), static_cast<const char*>(cr));
  }
  return first == nullptr ? std::string_view::npos : static_cast<std::size_t>(first - text.data());
}

}  // namespace

struct LogView::Store {
  struct Pos {
    qsizetype line = 0;
    int column = 0;
    auto operator<=>(const Pos&) const = default;
  };

  explicit Store(LogView& owner) : view(owner), autoScroll(new QTimer(&owner)) {
    autoScroll->setInterval(kAutoScrollMs);
  }

  LogView& view;
  LineStore lines;

  // Selection from anchor (where the press was) to cursor (where the mouse is now).
  Pos anchor;
  Pos cursor;
  bool selecting = false;
  QPoint mousePos;
  QTimer* autoScroll;

  int lineHeight = 1;
  int spaceWidth = 1;
  // The horizontal extent follows the line with the most characters (measured once it changes,
  // not per append) and the widest line ever painted, which covers proportional fonts and font
  // fallback for lines that are not the longest by count.
  qsizetype longest = -1;
  int longestUnits = -1;
  int longestWidth = 0;
  bool longestMeasured = true;
  int paintedWidth = 0;

  // Scroll bars are brought up to date once per burst of appends, when the burst yields to the
  // event loop: a range change on a scroll area's bar posts a queued call (and wakes the event
  // dispatcher) every time, which alone costs more than the append itself.
  bool syncPending = false;
  bool followPending = false;
  bool horizontalDirty = false;

  // Rows shaped for the last paint, for the rows from `shapedFirst` on. Lines never change once
  // appended, so a shaped row serves every later paint while it stays on screen: when events are
  // processed after each new line, a repaint shapes one row instead of the whole page.
  qsizetype shapedFirst = 0;
  std::vector<std::unique_ptr<QTextLayout>> shaped;

  QString lineText(qsizetype i) const {
    std::string scratch;
    const std::string_view bytes = lines.bytes(i, scratch);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }

  int lineLength(qsizetype i) const {
    std::string scratch;
    return static_cast<int>(Utf16Length(lines.bytes(i, scratch)));
  }

  std::pair<Pos, Pos> ordered() const { return std::minmax(anchor, cursor); }
  bool hasSelection() const { return anchor != cursor; }

  void addLine(std::string_view utf8) {
    QByteArray repaired;
    if (!QUtf8StringView(utf8.data(), static_cast<qsizetype>(utf8.size())).isValidUtf8()) {
      // Keeping only valid UTF-8 makes every reader (line, text, painting) agree on the same
      // characters, with U+FFFD where the input was broken.
      repaired = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).toUtf8();
      utf8 = std::string_view(repaired.constData(), static_cast<std::size_t>(repaired.size()));
    }
    const int units = static_cast<int>(Utf16Length(utf8));
    if (units > longestUnits) {
      longestUnits = units;
      longest = lines.size();
      longestMeasured = false;
      horizontalDirty = true;
    }
    lines.append(utf8);
  }

  void updateMetrics() {
    const QFontMetrics metrics(view.font());
    lineHeight = std::max(1, metrics.lineSpacing());
    spaceWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char(' ')));
    view.verticalScrollBar()->setSingleStep(1);
    view.horizontalScrollBar()->setSingleStep(spaceWidth * 2);
    longestMeasured = false;
    paintedWidth = 0;
    forgetShaped();
  }

  int fullRows() const {
    return std::max(1, (view.viewport()->height() - 2 * kMargin) / lineHeight);
  }

  int maxTopRow() const { return ClampToInt(lines.size() - fullRows()); }

  // One vertical step is one line, so the bar's range is a row count.
  void syncVertical(bool toBottom) {
    QScrollBar* bar = view.verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    bar->setPageStep(fullRows());
    bar->setRange(0, maxTopRow());
    if (toBottom || atBottom) {
      bar->setValue(bar->maximum());
    }
  }

  void requestSync() {
    if (syncPending) {
      return;
    }
    syncPending = true;
    QMetaObject::invokeMethod(
        &view, [this] { flushSync(); }, Qt::QueuedConnection);
  }

  // Also run before anything reads the scroll position (painting, mouse, keys), in case those
  // events overtake the queued call.
  void flushSync() {
    if (!syncPending) {
      return;
    }
    syncPending = false;
    if (horizontalDirty) {
      syncHorizontal();
    }
    if (followPending) {
      followPending = false;
      syncVertical(true);
      view.viewport()->update();  // new lines show even when the view did not need to scroll
    }
  }

  void syncHorizontal() {
    horizontalDirty = false;
    if (!longestMeasured) {
      longestWidth = longest >= 0 && longest < lines.size() ? textWidth(lineText(longest)) : 0;
      longestMeasured = true;
    }
    // Room for the marker painted after a selected line break.
    const int content = std::max(longestWidth, paintedWidth) + spaceWidth + 2 * kMargin;
    const int visible = view.viewport()->width();
    QScrollBar* bar = view.horizontalScrollBar();
    bar->setPageStep(std::max(1, visible));
    bar->setRange(0, std::max(0, content - visible));
  }

  void layOut(QTextLayout& layout) const {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
  }

  int textWidth(const QString& text) const {
    QTextLayout layout(text, view.font(), view.viewport());
    layOut(layout);
    return static_cast<int>(std::ceil(layout.lineAt(0).naturalTextWidth()));
  }

  std::unique_ptr<QTextLayout> shape(qsizetype row) const {
    auto layout = std::make_unique<QTextLayout>(lineText(row), view.font(), view.viewport());
    // Without the cache, drawing discards the glyphs and every paint would shape the row again.
    layout->setCacheEnabled(true);
    layOut(*layout);
    return layout;
  }

  // Keeps the shaped rows that are still on screen from `top` on and drops the rest.
  void keepShapedFrom(qsizetype top) {
    const auto rows = static_cast<std::size_t>(view.viewport()->height() / lineHeight + 2);
    std::vector<std::unique_ptr<QTextLayout>> kept(rows);
    for (std::size_t i = 0; i < rows; ++i) {
      const qsizetype old = top + static_cast<qsizetype>(i) - shapedFirst;
      if (old >= 0 && old < static_cast<qsizetype>(shaped.size())) {
        kept[i] = std::move(shaped[static_cast<std::size_t>(old)]);
      }
    }
    shaped = std::move(kept);
    shapedFirst = top;
  }

  // The row shaped and kept when it is on screen, otherwise shaped into `spare`.
  QTextLayout& shapedRow(qsizetype row, std::unique_ptr<QTextLayout>& spare) {
    const qsizetype at = row - shapedFirst;
    if (at < 0 || at >= static_cast<qsizetype>(shaped.size())) {
      spare = shape(row);
      return *spare;
    }
    std::unique_ptr<QTextLayout>& slot = shaped[static_cast<std::size_t>(at)];
    if (!slot) {
      slot = shape(row);
    }
    return *slot;
  }

  void forgetShaped() {
    shaped.clear();
    shapedFirst = 0;
  }

  qreal textLeft() const { return kMargin - view.horizontalScrollBar()->value(); }

  Pos posAt(QPoint point) {
    const qsizetype count = lines.size();
    if (count == 0) {
      return {};
    }
    const int dy = point.y() - kMargin;
    const qsizetype rowOffset = dy >= 0 ? dy / lineHeight : -((-dy + lineHeight - 1) / lineHeight);
    const qsizetype row = view.verticalScrollBar()->value() + rowOffset;
    if (row < 0) {
      return {};
    }
    if (row >= count) {
      return {count - 1, lineLength(count - 1)};
    }
    std::unique_ptr<QTextLayout> spare;
    const QTextLayout& layout = shapedRow(row, spare);
    return {row, layout.lineAt(0).xToCursor(point.x() - textLeft())};
  }

  // Lines are joined with CR LF because that is how the log's lines end: a copy pasted elsewhere
  // (or compared with a saved log) then has exactly the pane's text.
  QString textBetween(Pos from, Pos to) const {
    if (lines.size() == 0 || from >= to) {
      return {};
    }
    const std::uint64_t bytes = lines.end(to.line) - lines.begin(from.line);
    const qsizetype separators = to.line - from.line;
    QString out;
    // UTF-8 never takes fewer bytes than UTF-16 code units, so this bounds the result.
    out.resize(static_cast<qsizetype>(bytes) + 2 * separators);
    QChar* write = out.data();
    QStringDecoder decoder(QStringDecoder::Utf8);
    std::string scratch;
    for (qsizetype row = from.line; row <= to.line; ++row) {
      if (row != from.line) {
        *write++ = QLatin1Char('\r');
        *write++ = QLatin1Char('\n');
      }
      const std::string_view utf8 = lines.bytes(row, scratch);
      if (row != from.line && row != to.line) {
        write = decoder.appendToBuffer(write, QByteArrayView(utf8.data(), utf8.size()));
        continue;
      }
      const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
      const qsizetype begin = row == from.line ? std::min<qsizetype>(from.column, text.size()) : 0;
      const qsizetype end =
          row == to.line ? std::min<qsizetype>(to.column, text.size()) : text.size();
      const qsizetype n = std::max<qsizetype>(0, end - begin);
      std::copy_n(text.constData() + begin, n, write);
      write += n;
    }
    out.truncate(write - out.constData());
    if (out.capacity() - out.size() > out.size() / 8) {
      out.squeeze();  // Cyrillic takes two bytes per code unit: do not keep the unused half
    }
    return out;
  }

  void dragTo(QPoint point) {
    mousePos = point;
    cursor = posAt(point);
    view.viewport()->update();
    if (view.viewport()->rect().contains(point)) {
      autoScroll->stop();
    } else if (!autoScroll->isActive()) {
      autoScroll->start();
    }
  }

  void autoScrollStep() {
    const QRect area = view.viewport()->rect();
    QScrollBar* vertical = view.verticalScrollBar();
    QScrollBar* horizontal = view.horizontalScrollBar();
    if (mousePos.y() < area.top()) {
      vertical->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (mousePos.y() > area.bottom()) {
      vertical->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    if (mousePos.x() < area.left()) {
      horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (mousePos.x() > area.right()) {
      horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    dragTo(mousePos);
  }
};

LogView::LogView(QWidget* parent)
    : QAbstractScrollArea(parent), store_(std::make_unique<Store>(*this)) {
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  connect(store_->autoScroll, &QTimer::timeout, this, [this] { store_->autoScrollStep(); });
  store_->updateMetrics();
  store_->syncVertical(true);
  store_->syncHorizontal();
}

LogView::~LogView() = default;

void LogView::appendLine(std::string_view utf8) {
  Store& s = *store_;
  // The log's lines end in CR LF, so a text holding a line break becomes several lines, and a
  // trailing break leaves an empty line after it.
  for (std::size_t at = FindLineBreak(utf8); at != std::string_view::npos;
       at = FindLineBreak(utf8)) {
    s.addLine(utf8.substr(0, at));
    const bool crlf = utf8[at] == '\r' && at + 1 < utf8.size() && utf8[at + 1] == '\n';
    utf8.remove_prefix(at + (crlf ? 2 : 1));
  }
  s.addLine(utf8);
  // Scrolling to the newest line and repainting wait for the event loop, so that a burst of
  // appends is laid out and painted once.
  s.followPending = true;
  s.requestSync();
}

void LogView::clear() {
  Store& s = *store_;
  s.lines.clear();
  s.anchor = s.cursor = {};
  s.selecting = false;
  s.autoScroll->stop();
  s.longest = -1;
  s.longestUnits = -1;
  s.longestWidth = 0;
  s.longestMeasured = true;
  s.paintedWidth = 0;
  s.followPending = false;
  s.forgetShaped();
  s.syncVertical(true);
  s.syncHorizontal();
  viewport()->update();
}

void LogView::scrollToLine(qsizetype index) {
  Store& s = *store_;
  s.flushSync();
  verticalScrollBar()->setValue(ClampToInt(std::clamp<qsizetype>(index, 0, s.lines.size())));
  viewport()->update();
}

qsizetype LogView::lineCount() const {
  return store_->lines.size();
}

QString LogView::line(qsizetype index) const {
  if (index < 0 || index >= store_->lines.size()) {
    return {};
  }
  return store_->lineText(index);
}

QString LogView::text() const {
  const qsizetype count = store_->lines.size();
  if (count == 0) {
    return {};
  }
  return store_->textBetween({0, 0}, {count - 1, std::numeric_limits<int>::max()});
}

QString LogView::selectedText() const {
  const auto [from, to] = store_->ordered();
  return store_->textBetween(from, to);
}

void LogView::selectAll() {
  Store& s = *store_;
  const qsizetype count = s.lines.size();
  s.anchor = {};
  s.cursor = count == 0 ? Store::Pos{} : Store::Pos{count - 1, s.lineLength(count - 1)};
  viewport()->update();
}

void LogView::copy() const {
  if (store_->hasSelection()) {
    QGuiApplication::clipboard()->setText(selectedText());
  }
}

void LogView::paintEvent(QPaintEvent* event) {
  Store& s = *store_;
  s.flushSync();
  const qsizetype count = s.lines.size();
  if (count == 0) {
    return;
  }
  QPainter painter(viewport());
  const QRect area = event->rect();
  const qsizetype top = verticalScrollBar()->value();
  const qsizetype first = top + std::max(0, (area.top() - kMargin) / s.lineHeight);
  const qsizetype last =
      std::min(count - 1, top + std::max(0, (area.bottom() - kMargin) / s.lineHeight));
  const qreal left = s.textLeft();

  const QPalette& colors = palette();
  painter.setPen(colors.color(QPalette::Text));
  QTextLayout::FormatRange selected;
  selected.format.setBackground(colors.brush(QPalette::Highlight));
  selected.format.setForeground(colors.brush(QPalette::HighlightedText));
  const auto [from, to] = s.ordered();
  const bool anySelection = s.hasSelection();

  int widest = 0;
  s.keepShapedFrom(top);
  for (qsizetype row = first; row <= last; ++row) {
    std::unique_ptr<QTextLayout> spare;
    const QTextLayout& layout = s.shapedRow(row, spare);
    const qreal width = layout.lineAt(0).naturalTextWidth();
    widest = std::max(widest, static_cast<int>(std::ceil(width)));
    const QPointF origin(left, kMargin + static_cast<qreal>(row - top) * s.lineHeight);

    QList<QTextLayout::FormatRange> ranges;
    if (anySelection && row >= from.line && row <= to.line) {
      const int begin = row == from.line ? from.column : 0;
      const int end = row == to.line ? to.column : static_cast<int>(layout.text().size());
      if (end > begin) {
        selected.start = begin;
        selected.length = end - begin;
        ranges.append(selected);
      }
      if (row < to.line) {
        // The selected line break gets a small block, so a selection across empty lines shows.
        painter.fillRect(QRectF(origin.x() + width, origin.y(), s.spaceWidth, s.lineHeight),
                         colors.brush(QPalette::Highlight));
      }
    }
    layout.draw(&painter, origin, ranges);
  }
  if (widest > s.paintedWidth) {
    s.paintedWidth = widest;
    s.horizontalDirty = true;
    s.requestSync();
  }
}

void LogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  store_->flushSync();
  store_->syncVertical(false);
  store_->syncHorizontal();
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  Store& s = *store_;
  s.flushSync();
  const QPoint point = event->position().toPoint();
  if (!event->modifiers().testFlag(Qt::ShiftModifier)) {
    s.anchor = s.posAt(point);
  }
  s.selecting = true;
  s.dragTo(point);
  event->accept();
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
  Store& s = *store_;
  if (!s.selecting || !event->buttons().testFlag(Qt::LeftButton)) {
    QAbstractScrollArea::mouseMoveEvent(event);
    return;
  }
  s.dragTo(event->position().toPoint());
  event->accept();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
  Store& s = *store_;
  if (event->button() != Qt::LeftButton || !s.selecting) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    return;
  }
  s.dragTo(event->position().toPoint());
  s.selecting = false;
  s.autoScroll->stop();
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (s.hasSelection() && clipboard->supportsSelection()) {
    clipboard->setText(selectedText(), QClipboard::Selection);
  }
  event->accept();
}

void LogView::keyPressEvent(QKeyEvent* event) {
  store_->flushSync();
  if (event == QKeySequence::SelectAll) {
    selectAll();
  } else if (event == QKeySequence::Copy) {
    copy();
  } else if (event == QKeySequence::MoveToStartOfDocument) {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMinimum);
  } else if (event == QKeySequence::MoveToEndOfDocument) {
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  } else {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  event->accept();
}

void LogView::scrollContentsBy(int /*dx*/, int /*dy*/) {
  // Repaint rather than blit: a burst of appends scrolls by many rows at once, and the rows still
  // on screen are kept shaped, so a repaint costs little more than a blit.
  viewport()->update();
}

bool LogView::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void LogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    store_->updateMetrics();
    store_->syncVertical(false);
    store_->syncHorizontal();
    viewport()->update();
  }
}

}  // namespace vr512b::gui

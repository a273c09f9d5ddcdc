#include "cli/cli_view.h"

#include <cerrno>
#include <istream>
#include <ostream>
#include <system_error>

#include "app/diag_console.h"
#include "procedures/procedure_table.h"
#include "sim/virtual_bench.h"

namespace vr512b::cli {

CliView::CliView(CliStreams streams, Clock& clock, AnswerMode answers,
                 sim::VirtualTechnician* technician, TestParameterValues parameters,
                 std::optional<long long> abortAfterMs)
    : streams_(streams),
      clock_(clock),
      answers_(answers),
      technician_(technician),
      parameters_(std::move(parameters)),
      abortAfterMs_(abortAfterMs) {
  // The lines written meanwhile go to /dev/null, put in its place at start.
  if (streams_.outClosed)
    logError_ = kClosedStdoutReason;
}

void CliView::AppendLog(std::string_view line) {
  streams_.out.write(line.data(), static_cast<std::streamsize>(line.size()));
  streams_.out.put('\n');
  // Whoever reads the pipe (tee, a CI log, an operator) sees each step as it
  // happens, not in blocks of a buffer's size minutes later.
  streams_.out.flush();
  CheckLogOutput();
}

void CliView::CheckLogOutput() {
  if (!logError_.empty() || streams_.out.good())
    return;
  // Right after the failed write, errno still says why (ENOSPC, EPIPE).
  const int error = errno;
  logError_ = error != 0 ? std::generic_category().message(error) : "ошибка записи";
}

const std::string& CliView::LogOutputError() {
  CheckLogOutput();
  return logError_;
}

void CliView::SetStatus(const TestProcedure& test, std::string_view text) {
  cells_[test.statusCell] = std::string(text);
}

bool CliView::AskYesNo(const std::string& question) {
  streams_.out.flush();
  streams_.err << "Проверка: " << question << '\n';
  bool yes = false;
  switch (answers_) {
    case AnswerMode::Auto:
      yes = technician_ != nullptr && technician_->Answer(question);
      break;
    case AnswerMode::Yes:
      yes = true;
      break;
    case AnswerMode::No:
      yes = false;
      break;
    case AnswerMode::Ask: {
      streams_.err << "Да/Нет? " << std::flush;
      std::string reply;
      std::getline(streams_.in, reply);
      if (InterruptedBySignal())
        return false;
      yes = !reply.empty() && (reply[0] == 'y' || reply[0] == 'Y' || reply.rfind("д", 0) == 0 ||
                               reply.rfind("Д", 0) == 0);
      break;
    }
  }
  streams_.err << "Ответ: " << (yes ? "Да" : "Нет") << std::endl;
  return yes;
}

void CliView::ShowNotice(const std::string& text) {
  streams_.out.flush();
  streams_.err << "Проверка: " << text << std::endl;
  // On the virtual bench the technician carries out every notice, whoever
  // answers the questions.
  if (technician_ != nullptr)
    technician_->CarryOut(text);
  if (answers_ == AnswerMode::Ask) {
    streams_.err << "Нажмите Enter, чтобы продолжить. " << std::flush;
    std::string ignored;
    std::getline(streams_.in, ignored);
    InterruptedBySignal();
  }
}

bool CliView::InterruptedBySignal() {
  if (streams_.abortRequest == nullptr || *streams_.abortRequest == 0)
    return false;
  // The test ends "Прервано" at its next check; the question's own "no"
  // only lets the procedure undo what it showed or sounded before it stops.
  streams_.err << "\nПрервано" << std::endl;
  PollAbort();
  return true;
}

void CliView::PollAbort() {
  if (console_ == nullptr)
    return;
  if (streams_.abortRequest != nullptr && *streams_.abortRequest != 0 && !signalled_) {
    signalled_ = true;
    console_->RequestAbort();
  }
  if (abortAt_ && clock_.NowMs() >= *abortAt_) {
    abortAt_.reset();
    console_->RequestAbort();
  }
}

void CliView::ProcessMessages() {
  PollAbort();
}

void CliView::TestStarted(const TestProcedure&) {
  if (abortAfterMs_) {
    abortAt_ = clock_.NowMs() + *abortAfterMs_;
    abortAfterMs_.reset();
  }
}

void CliView::TestFinished(const TestProcedure&, Verdict verdict) {
  if (IsFailure(verdict))
    failed_ = true;
  if (verdict == Verdict::Aborted)
    aborted_ = true;
}

void CliView::PrintStatusCells() {
  for (const TestProcedure& test : AllProcedures()) {
    const auto cell = cells_.find(test.statusCell);
    if (cell != cells_.end() && !cell->second.empty())
      streams_.err << cell->first << ": " << cell->second << '\n';
  }
  streams_.err.flush();
}

}  // namespace vr512b::cli

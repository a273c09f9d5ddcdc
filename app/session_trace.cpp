#include "app/session_trace.h"

#include "app/parameter_override.h"
#include "procedures/procedure_table.h"

namespace vr512b {

using trace::ConsoleMark;
using Kind = trace::ConsoleMark::Kind;

void SessionTrace::Mark(const ConsoleMark& mark) {
  if (recorder_.Recording())
    recorder_.Mark(trace::MarkText(mark));
}

void SessionTrace::RunStarting(std::string_view name) {
  if (replay_ != nullptr) {
    if (const auto recorded = replay_->RunStarting(name)) {
      TestParameterValues values = console_.ViewParameters();
      // A name a later version added means nothing here.
      for (const auto& [parameter, value] : *recorded)
        static_cast<void>(SetParameterByName(values, parameter, value));
      console_.SetParameterOverride(values);
      console_.SetRefSerialFromText(values.NameVR512BSample);
    }
  }
  ConsoleMark run;
  run.kind = Kind::Run;
  run.name = name;
  Mark(run);
  ConsoleMark parameters;
  parameters.kind = Kind::Parameters;
  parameters.parameters = ParametersByName(console_.Parameters());
  Mark(parameters);
}

void SessionTrace::TestStarting(const TestProcedure& test, RandomBytes& generator) {
  if (replay_ != nullptr)
    replay_->TestStarting(test.id, generator);
  ConsoleMark started;
  started.kind = Kind::TestStarted;
  started.name = test.id;
  started.generator = generator.State();
  Mark(started);
}

void SessionTrace::TestFinished(const TestProcedure& test, Verdict verdict) {
  ConsoleMark finished;
  finished.kind = Kind::TestFinished;
  finished.name = test.id;
  finished.text = VerdictText(verdict);
  Mark(finished);
  if (replay_ != nullptr)
    replay_->TestFinished(test.id, VerdictText(verdict));
}

void SessionTrace::Answered(const std::string& question, bool yes) {
  ConsoleMark answer;
  answer.kind = Kind::Answer;
  answer.text = question;
  answer.yes = yes;
  Mark(answer);
  if (replay_ != nullptr)
    replay_->Answered(question, yes);
}

void SessionTrace::NoticeShown(const std::string& text) {
  ConsoleMark notice;
  notice.kind = Kind::Notice;
  notice.text = text;
  Mark(notice);
  if (replay_ != nullptr)
    replay_->NoticeShown(text);
}

void SessionTrace::AbortRequested() {
  ConsoleMark abort;
  abort.kind = Kind::Abort;
  Mark(abort);
  if (replay_ != nullptr)
    replay_->AbortRequested();
}

bool SessionTrace::AbortDue() {
  return replay_ != nullptr && replay_->AbortDue();
}

}  // namespace vr512b

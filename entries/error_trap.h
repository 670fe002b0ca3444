#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace vq {

// "in Kestrelbay2021/08/31.Form1.LoadItems ": names a trapped procedure in its reports.
std::string LocationText(std::string_view module, std::string_view procedure);

// Where a trapped procedure's failures go: the error report box on the
// window, or a line on standard error in the console edition, which opens no
// window (a box on an unattended machine would wait for ever).
class FailureReporter {
 public:
  virtual ~FailureReporter() = default;
  // A statement failed: its description, the procedure's location text and the statement's number.
  virtual void ReportFailure(std::string_view description, std::string_view location, int statement) = 0;
};

// The error trap of a procedure that works for the user. Each statement runs
// through the trap under its number; a failing statement is reported in the
// error report box and the procedure goes on with the next statement. A
// failure thrown by an untrapped routine is caught at the statement of the
// trapped procedure that called it, so the report names that statement.
class ErrorTrap {
 public:
  ErrorTrap(FailureReporter& reporter, std::string location);

  // Runs one statement. Returns false when it failed (and was reported).
  template <class Body>
  bool Run(int statement, Body&& body) {
    try {
      body();
      return true;
    } catch (const std::exception& failure) {
      Report(statement, failure.what());
      return false;
    }
  }

  // A condition and the action it guards, as one statement. A failing test is
  // reported and the action still runs, as execution resumes at the next
  // statement and that is the action.
  template <class Test, class Action>
  void If(int statement, Test&& test, Action&& action) {
    bool holds = true;
    Run(statement, [&] { holds = test(); });
    if (holds) Run(statement, action);
  }

  // A loop: `first` moves to the first element and `next` to the following
  // one, each returning false when there is none. The body runs its own
  // statements through the trap, so a failing body statement goes on with the
  // body; a failing step is reported under its number and ends the loop.
  template <class First, class Next, class Body>
  void Loop(int firstStatement, int nextStatement, First&& first, Next&& next, Body&& body) {
    bool more = false;
    if (!Run(firstStatement, [&] { more = first(); })) return;
    while (more) {
      body();
      if (!Run(nextStatement, [&] { more = next(); })) return;
    }
  }

  void Report(int statement, std::string_view description) { reporter_.ReportFailure(description, location_, statement); }

 private:
  FailureReporter& reporter_;
  std::string location_;
};

}  // namespace vq

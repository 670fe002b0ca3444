#pragma once

#include <stdexcept>
#include <string>

namespace vq {

// A failing statement. The text is what the error report box shows as the
// description, so it is written for the user: the system's own message for a
// failed system call, or a plain word such as "Type mismatch".
class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& description) : std::runtime_error(description) {}
};

// The descriptions for failures the program raises itself, worded as users of
// earlier releases saw them.
inline Failure TypeMismatch() { return Failure("Type mismatch"); }
inline Failure Overflow() { return Failure("Overflow"); }
inline Failure InvalidPropertyValue() { return Failure("Invalid property value"); }
inline Failure InvalidProcedureCall() { return Failure("Invalid procedure call or argument"); }

}  // namespace vq

#pragma once

#include <string>

namespace vq {

class Registry;
class RowSink;
class Shell;
struct AutostartPoint;

// Appends a "REGISTRY" row for each value of the point, below the key path
// given (the point's own key, or its key in the 32-bit view), that starts
// something: Location the hive prefix and the key path (U+0000 shown as
// U+2400), Item the value's name, Extra Details the program folder its text
// names. Keys below are opened by their counted names below their parent. A
// key that is missing or refused adds nothing. Failures pass to the caller.
void ListAutostartPoint(RowSink& sink, Registry& registry, Shell& shell, const AutostartPoint& point,
                        const std::string& keyPath);

}  // namespace vq

// Any bytes as a task's XML: the reader never reads outside them, never nests
// without bound, and every text it gives back is UTF-8 that can be shown.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "entries/task_xml.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const vq::TaskDefinition task = vq::ReadTaskXml(std::string_view(reinterpret_cast<const char*>(bytes), size));
  // Apart by a line break, no text's cut character can be made whole by the next.
  std::string texts = vq::CommandLineOf(task) + "\n" + task.description + "\n" + task.userId + "\n" + task.groupId +
                      "\n" + task.runLevel + "\n" + task.logonType;
  for (const vq::TaskTrigger& trigger : task.triggers) texts += "\n" + trigger.kind;
  for (const vq::TaskAction& a : task.actions) {
    texts += "\n" + a.command + "\n" + a.arguments + "\n" + a.workingDirectory + "\n" + a.classId + "\n" + a.data;
  }
  // Every trigger and action stands for at least "<x/>" of the input.
  if (!vq::IsUtf8(texts) || task.triggers.size() + task.actions.size() > size / 4) std::abort();
  return 0;
}

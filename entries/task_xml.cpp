#include "entries/task_xml.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace vq {

namespace {

// A task's XML is a few levels deep; a hostile file nested deeper is not a task.
constexpr std::size_t kMaxDepth = 256;

// Where an open element stands, told by its parent's place and its own local
// name: the few places the reader takes something from, and Skip for the rest
// (and all below them, so that an unknown element is passed over whole).
enum class Node {
  Skip, Task, RegistrationInfo, Description, Settings, Enabled, Hidden, Principals, Principal, UserId, GroupId,
  RunLevel, LogonType, Triggers, Trigger, TriggerEnabled, Actions, Exec, Command, Arguments, WorkingDirectory,
  ComHandler, ClassId, Data, OtherAction
};

struct Place {
  Node parent;
  std::string_view name;
  Node node;
};

constexpr Place kPlaces[] = {
    {Node::Task, "RegistrationInfo", Node::RegistrationInfo},
    {Node::RegistrationInfo, "Description", Node::Description},
    {Node::Task, "Settings", Node::Settings},
    {Node::Settings, "Enabled", Node::Enabled},
    {Node::Settings, "Hidden", Node::Hidden},
    {Node::Task, "Principals", Node::Principals},
    {Node::Principals, "Principal", Node::Principal},
    {Node::Principal, "UserId", Node::UserId},
    {Node::Principal, "GroupId", Node::GroupId},
    {Node::Principal, "RunLevel", Node::RunLevel},
    {Node::Principal, "LogonType", Node::LogonType},
    {Node::Task, "Triggers", Node::Triggers},
    {Node::Trigger, "Enabled", Node::TriggerEnabled},
    {Node::Task, "Actions", Node::Actions},
    {Node::Actions, "Exec", Node::Exec},
    {Node::Exec, "Command", Node::Command},
    {Node::Exec, "Arguments", Node::Arguments},
    {Node::Exec, "WorkingDirectory", Node::WorkingDirectory},
    {Node::Actions, "ComHandler", Node::ComHandler},
    {Node::ComHandler, "ClassId", Node::ClassId},
    {Node::ComHandler, "Data", Node::Data},
};

Node PlaceOf(Node parent, std::string_view localName) {
  for (const Place& place : kPlaces) {
    if (place.parent == parent && place.name == localName) return place.node;
  }
  // Every kind of trigger counts, and every kind of action, known or not.
  if (parent == Node::Triggers) return Node::Trigger;
  if (parent == Node::Actions) return Node::OtherAction;
  return Node::Skip;
}

// The elements whose text is a value; what stands inside them apart from text is passed over.
bool HoldsText(Node node) {
  switch (node) {
    case Node::Description: case Node::Enabled: case Node::Hidden: case Node::UserId: case Node::GroupId:
    case Node::RunLevel: case Node::LogonType: case Node::TriggerEnabled: case Node::Command: case Node::Arguments:
    case Node::WorkingDirectory: case Node::ClassId: case Node::Data:
      return true;
    default:
      return false;
  }
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsNameChar(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ':' || c == '-' || c == '.';
}

bool IsNameStart(char c) { return IsNameChar(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.'; }

// Names are matched without their prefix: the scheduler's own files put the
// task namespace as the default, others may give it a prefix.
std::string_view LocalName(std::string_view name) { return name.substr(name.rfind(':') + 1); }

// "true" or "false" in any case with white space around; anything else keeps the flag as it was.
void ReadFlag(bool& flag, std::string_view text) {
  const auto first = std::find_if_not(text.begin(), text.end(), IsSpace);
  const auto last = std::find_if_not(text.rbegin(), text.rend(), IsSpace).base();
  const std::string word = AsciiLower(first < last ? std::string_view(first, last) : std::string_view());
  if (word == "true") flag = true;
  if (word == "false") flag = false;
}

// One character as UTF-8; a number no character has gives U+FFFD.
std::string CharacterOf(std::uint32_t code) {
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) code = 0xFFFD;
  if (code < 0x10000) return Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(code)));
  code -= 0x10000;
  const char16_t pair[] = {static_cast<char16_t>(0xD800 + (code >> 10)),
                           static_cast<char16_t>(0xDC00 + (code & 0x3FF))};
  return Utf16ToUtf8(std::u16string_view(pair, 2));
}

// The text of a reference's name ("amp", "#65", "#x41"); false for none the XML defines.
bool AppendReference(std::string& out, std::string_view name) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  for (const auto& [named, character] : kNamed) {
    if (name == named) {
      out += character;
      return true;
    }
  }
  if (name.size() < 2 || name[0] != '#') return false;
  const bool hex = name[1] == 'x';
  const std::string_view digits = name.substr(hex ? 2 : 1);
  if (digits.empty()) return false;
  std::uint32_t code = 0;
  for (char c : digits) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    // Held just past the last character, so that a long run of digits cannot wrap round to one.
    code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + digit, 0x110000);
  }
  out += CharacterOf(code);
  return true;
}

// Text or an attribute's value with its references resolved; false for a reference that is none.
bool AppendResolved(std::string& out, std::string_view raw) {
  for (std::size_t amp; (amp = raw.find('&')) != std::string_view::npos;) {
    out.append(raw.substr(0, amp));
    const std::size_t end = raw.find(';', amp);
    if (end == std::string_view::npos || !AppendReference(out, raw.substr(amp + 1, end - amp - 1))) return false;
    raw.remove_prefix(end + 1);
  }
  out.append(raw);
  return true;
}

// Reads the markup left to right, one piece at a time, with the open
// elements on a stack of its own (no recursion). A value counts only once
// its element is closed, an action or trigger once its own element is: a
// file cut short keeps what was complete, never half of a command line.
class TaskXmlReader {
 public:
  explicit TaskXmlReader(std::string_view xml) : xml_(xml) {}

  TaskDefinition Read() {
    while (at_ < xml_.size()) {
      if (!Step()) {
        task_.whole = false;
        return std::move(task_);
      }
    }
    task_.whole = rootClosed_;
    return std::move(task_);
  }

 private:
  struct Open {
    std::string_view name;
    Node node;
  };

  // One piece: text, a comment, a processing instruction, CDATA or a tag. False where it is not well formed.
  bool Step() {
    const std::string_view rest = xml_.substr(at_);
    if (rest[0] != '<') return Text();
    if (rest.starts_with("<?")) return SkipPast("<?", "?>");
    if (rest.starts_with("<!--")) return SkipPast("<!--", "-->");
    if (rest.starts_with("<![CDATA[")) {
      const std::size_t end = rest.find("]]>");
      if (open_.empty() || end == std::string_view::npos) return false;
      if (HoldsText(open_.back().node)) value_.append(rest.substr(9, end - 9));
      at_ += end + 3;
      return true;
    }
    if (rest.starts_with("</")) return EndTag();
    if (rest.starts_with("<!DOCTYPE") && !rootSeen_) return SkipDocumentType();
    if (rest.starts_with("<!")) return false;
    return StartTag();
  }

  // Past the end of a piece that is passed over; its end is looked for only after its start ("<!-->" is no comment).
  bool SkipPast(std::string_view open, std::string_view close) {
    const std::size_t end = xml_.find(close, at_ + open.size());
    if (end == std::string_view::npos) return false;
    at_ = end + close.size();
    return true;
  }

  // The scheduler writes no document type, but one does not make a file any less a task's: it is passed
  // over with its internal subset, whose entities are not taken up (a reference to one ends the reading).
  bool SkipDocumentType() {
    const std::size_t subset = xml_.find_first_of("[>", at_);
    const std::size_t end = subset == std::string_view::npos || xml_[subset] == '>'
                                ? subset
                                : xml_.find('>', std::min(xml_.find(']', subset), xml_.size()));
    if (end == std::string_view::npos) return false;
    at_ = end + 1;
    return true;
  }

  bool Text() {
    const std::size_t end = std::min(xml_.find('<', at_), xml_.size());
    const std::string_view raw = xml_.substr(at_, end - at_);
    at_ = end;
    if (open_.empty()) return std::all_of(raw.begin(), raw.end(), IsSpace);  // only white space around the root
    if (!HoldsText(open_.back().node)) {
      std::string ignored;
      return AppendResolved(ignored, raw);
    }
    return AppendResolved(value_, raw);
  }

  std::string_view Name() {
    const std::size_t start = at_;
    if (at_ < xml_.size() && IsNameStart(xml_[at_])) {
      while (at_ < xml_.size() && IsNameChar(xml_[at_])) ++at_;
    }
    return xml_.substr(start, at_ - start);
  }

  // How much white space was passed over.
  std::size_t SkipSpace() {
    const std::size_t start = at_;
    while (at_ < xml_.size() && IsSpace(xml_[at_])) ++at_;
    return at_ - start;
  }

  bool StartTag() {
    ++at_;
    const std::string_view name = Name();
    if (name.empty()) return false;
    // Attributes are checked for their form only: nothing the reader keeps stands in one.
    for (;;) {
      const bool spaced = SkipSpace() > 0;
      if (at_ >= xml_.size()) return false;
      if (xml_[at_] == '>') {
        ++at_;
        return Enter(name);
      }
      if (xml_.substr(at_).starts_with("/>")) {
        at_ += 2;
        return Enter(name) && Leave();
      }
      if (!spaced || Name().empty()) return false;
      SkipSpace();
      if (at_ >= xml_.size() || xml_[at_] != '=') return false;
      ++at_;
      SkipSpace();
      if (at_ >= xml_.size() || (xml_[at_] != '"' && xml_[at_] != '\'')) return false;
      const std::size_t end = xml_.find(xml_[at_], at_ + 1);
      if (end == std::string_view::npos) return false;
      const std::string_view value = xml_.substr(at_ + 1, end - at_ - 1);
      std::string ignored;
      if (value.find('<') != std::string_view::npos || !AppendResolved(ignored, value)) return false;
      at_ = end + 1;
    }
  }

  bool EndTag() {
    at_ += 2;
    const std::string_view name = Name();
    SkipSpace();
    if (at_ >= xml_.size() || xml_[at_] != '>' || open_.empty() || open_.back().name != name) return false;
    ++at_;
    return Leave();
  }

  bool Enter(std::string_view name) {
    Node node = Node::Task;
    if (open_.empty()) {
      if (rootSeen_ || LocalName(name) != "Task") return false;
      rootSeen_ = true;
    } else {
      if (open_.size() >= kMaxDepth) return false;
      node = PlaceOf(open_.back().node, LocalName(name));
    }
    if (node == Node::Principal && principalRead_) node = Node::Skip;  // the first principal is the task's
    if (HoldsText(node)) value_.clear();
    if (node == Node::Principal) principal_ = {};
    if (node == Node::Trigger) trigger_ = {std::string(LocalName(name)), true};
    if (node == Node::Exec || node == Node::ComHandler || node == Node::OtherAction) {
      action_ = TaskAction{};
      action_.kind = node == Node::Exec         ? TaskAction::Kind::Exec
                     : node == Node::ComHandler ? TaskAction::Kind::ComHandler
                                                : TaskAction::Kind::Other;
    }
    open_.push_back({name, node});
    return true;
  }

  bool Leave() {
    const Node node = open_.back().node;
    open_.pop_back();
    rootClosed_ = open_.empty();
    switch (node) {
      case Node::Description: task_.description = std::move(value_); break;
      case Node::Enabled: ReadFlag(task_.enabled, value_); break;
      case Node::Hidden: ReadFlag(task_.hidden, value_); break;
      case Node::UserId: principal_.userId = std::move(value_); break;
      case Node::GroupId: principal_.groupId = std::move(value_); break;
      case Node::RunLevel: principal_.runLevel = std::move(value_); break;
      case Node::LogonType: principal_.logonType = std::move(value_); break;
      case Node::Principal:
        task_.userId = std::move(principal_.userId);
        task_.groupId = std::move(principal_.groupId);
        task_.runLevel = std::move(principal_.runLevel);
        task_.logonType = std::move(principal_.logonType);
        principalRead_ = true;
        break;
      case Node::TriggerEnabled: ReadFlag(trigger_.enabled, value_); break;
      case Node::Trigger: task_.triggers.push_back(std::move(trigger_)); break;
      case Node::Command: action_.command = std::move(value_); break;
      case Node::Arguments: action_.arguments = std::move(value_); break;
      case Node::WorkingDirectory: action_.workingDirectory = std::move(value_); break;
      case Node::ClassId: action_.classId = std::move(value_); break;
      case Node::Data: action_.data = std::move(value_); break;
      case Node::Exec: case Node::ComHandler: case Node::OtherAction:
        task_.actions.push_back(std::move(action_));
        break;
      default: break;
    }
    return true;
  }

  std::string_view xml_;
  std::size_t at_ = 0;
  std::vector<Open> open_;
  bool rootSeen_ = false, rootClosed_ = false, principalRead_ = false;
  std::string value_;  // of the open element that holds a value
  TaskDefinition principal_;  // its principal's fields, until the principal is closed
  TaskTrigger trigger_;
  TaskAction action_;
  TaskDefinition task_;
};

}  // namespace

TaskDefinition ReadTaskXml(std::string_view bytes) {
  // The bytes tell the encoding; the declaration's is not trusted (Wine writes UTF-8 that declares UTF-16).
  const std::string text = TextFileToUtf8(bytes);
  return TaskXmlReader(text).Read();
}

std::string CommandLineOf(const TaskDefinition& task) {
  if (task.actions.empty() || task.actions.front().kind != TaskAction::Kind::Exec) return "";
  const TaskAction& exec = task.actions.front();
  return exec.arguments.empty() ? exec.command : exec.command + " " + exec.arguments;
}

}  // namespace vq

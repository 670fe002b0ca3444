#include "entries/task_xml.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace vq {
namespace {

// A task as the scheduler writes it, with every kind of trigger, three kinds of
// action, a second principal and a Settings child whose own Enabled is not the task's.
constexpr char kTask[] = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Author>admin</Author><Description>Keeps &lt;Vendor&gt; current</Description></RegistrationInfo>
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger><BootTrigger><Enabled> False </Enabled></BootTrigger>
    <TimeTrigger/><CalendarTrigger/><EventTrigger/><IdleTrigger/><RegistrationTrigger/><SessionStateChangeTrigger/>
  </Triggers>
  <Principals><Principal id="Author"><GroupId>S-1-5-32-545</GroupId><RunLevel>HighestAvailable</RunLevel></Principal>
    <Principal id="Other"><UserId>S-1-5-18</UserId><LogonType>S4U</LogonType></Principal></Principals>
  <Settings><Enabled>false</Enabled><Hidden>TRUE</Hidden><IdleSettings><Enabled>true</Enabled></IdleSettings></Settings>
  <Actions Context="Author"><Exec><Command>&quot;C:\Program Files\Ünï\x.exe&quot;</Command>
      <Arguments>-a &amp; &#x41;&#66;</Arguments><WorkingDirectory>C:\Temp</WorkingDirectory></Exec>
    <ComHandler><ClassId>{A6BA00FE-40E8-477C-B713-C64A14F28E2F}</ClassId>
      <Data><![CDATA[<Cfg a="&amp;"/>]]></Data></ComHandler><SendEmail/></Actions>
</Task>
)";
constexpr char kCommandLine[] = "\"C:\\Program Files\\Ünï\\x.exe\" -a & AB";

std::string Utf16Le(std::string_view xml) { return Utf16LeBytes(Utf8ToUtf16(xml)); }
std::string Swapped(std::string b) { for (auto i = 1u; i < b.size(); i += 2) std::swap(b[i - 1], b[i]); return b; }

TEST(TaskXml, ReadTaskXml_Utf16WithMark_ReadsEveryField) {
  const TaskDefinition task = ReadTaskXml("\xFF\xFE" + Utf16Le(kTask));
  EXPECT_TRUE(task.whole);
  EXPECT_EQ(task.description, "Keeps <Vendor> current");
  EXPECT_FALSE(task.enabled) << "a Settings child's own Enabled is not the task's";
  EXPECT_TRUE(task.hidden);
  EXPECT_EQ(task.userId + "|" + task.groupId + "|" + task.runLevel + "|" + task.logonType,
            "|S-1-5-32-545|HighestAvailable|") << "the first principal only, whole";
  std::string triggers;
  for (const TaskTrigger& trigger : task.triggers) triggers += trigger.kind + (trigger.enabled ? "+ " : "- ");
  EXPECT_EQ(triggers, "LogonTrigger+ BootTrigger- TimeTrigger+ CalendarTrigger+ EventTrigger+ IdleTrigger+ "
                      "RegistrationTrigger+ SessionStateChangeTrigger+ ");
  ASSERT_EQ(task.actions.size(), 3u);
  EXPECT_EQ(CommandLineOf(task), kCommandLine);
  EXPECT_EQ(task.actions[0].workingDirectory, "C:\\Temp");
  EXPECT_EQ(task.actions[1].kind, TaskAction::Kind::ComHandler);
  EXPECT_EQ(task.actions[1].classId + task.actions[1].data, "{A6BA00FE-40E8-477C-B713-C64A14F28E2F}<Cfg a=\"&amp;\"/>");
  EXPECT_EQ(task.actions[2].kind, TaskAction::Kind::Other);
}

// The declaration is not believed over the bytes: Wine writes UTF-8 that says UTF-16.
TEST(TaskXml, ReadTaskXml_AnyEncoding_ReadByItsBytes) {
  for (const std::string& bytes : {std::string(kTask), "\xEF\xBB\xBF" + std::string(kTask), Utf16Le(kTask),
                                   "\xFE\xFF" + Swapped(Utf16Le(kTask)), Swapped(Utf16Le(kTask)),
                                   "\xFF\xFE" + Utf16Le(ReplaceAll(kTask, "UTF-16", "UTF-8"))}) {
    const TaskDefinition task = ReadTaskXml(bytes);
    EXPECT_TRUE(task.whole) << bytes;
    EXPECT_EQ(CommandLineOf(task), kCommandLine) << bytes;
  }
}

// What was complete before the fault is kept, an action cut in two is not.
TEST(TaskXml, ReadTaskXml_NotWholeTask_KeepsCompletedElementsOnly) {
  const std::string task = kTask;
  const std::pair<std::string, std::size_t> cases[] = {
      {task.substr(0, task.find("{A6BA") + 5), 1},                    // cut inside the second action
      {task.substr(0, task.find("x.exe")), 0},                        // cut inside the first command
      {("\xFF\xFE" + Utf16Le(task)).substr(0, 2 * task.size() - 9), 3},  // cut inside the root's end, on an odd byte
      {ReplaceAll(task, "</Arguments>", "</Argument>"), 0},
      {ReplaceAll(task, "&amp;", "&nbsp;"), 0},
      {ReplaceAll(task, "<Triggers>", "<Triggers>" + ReplaceAll(std::string(300, 'x'), "x", "<a>") +
                                          ReplaceAll(std::string(300, 'x'), "x", "</a>")), 0},  // nested too deep
      {task + "<Task/>", 3},
      {task + "trailing text", 3},
      {task + "<!-- cut", 3},
      {"<Job><Actions><Exec><Command>a.exe</Command></Exec></Actions></Job>", 0},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xd8", 18), 0},
      {"", 0},
  };
  for (const auto& [bytes, actions] : cases) {
    const TaskDefinition read = ReadTaskXml(bytes);
    EXPECT_FALSE(read.whole) << bytes;
    EXPECT_EQ(read.actions.size(), actions) << bytes;
    EXPECT_EQ(CommandLineOf(read), actions ? kCommandLine : "") << bytes;
  }
}

TEST(TaskXml, ReadTaskXml_PrefixedNamesAndOddValues_ReadAsTheSchedulerWould) {
  const TaskDefinition task = ReadTaskXml(
      "<t:Task xmlns:t='http://schemas.microsoft.com/windows/2004/02/mit/task'><t:Settings><t:Enabled>yes</t:Enabled>"
      "<t:Hidden>\ttrue\r\n</t:Hidden></t:Settings><t:Actions><t:Exec><t:Command>a&#x110000;&#0;&#xD800;&#128512;"
      "</t:Command><t:Arguments></t:Arguments></t:Exec></t:Actions></t:Task>");
  EXPECT_TRUE(task.whole);
  EXPECT_TRUE(task.enabled) << "a word that is no flag keeps the default";
  EXPECT_TRUE(task.hidden);
  EXPECT_EQ(CommandLineOf(task), "a\uFFFD\uFFFD\uFFFD\U0001F600") << "no blank before arguments that are empty";
  EXPECT_TRUE(ReadTaskXml(ReplaceAll(kTask, "?>", "?><!DOCTYPE Task [<!ENTITY e 'x'>]>")).whole) << "passed over";
  EXPECT_EQ(CommandLineOf(ReadTaskXml("<Task><Actions><X/><Exec><Command>b</Command></Exec></Actions></Task>")), "");
}

}  // namespace
}  // namespace vq

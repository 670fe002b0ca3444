#include "console/service_entries.h"

#include <gtest/gtest.h>

#include "console/listing.h"
#include "fakes/fake_platform.h"

namespace vq {
namespace {

using namespace service;

// The console edition's services and drivers, from what the service control
// manager tells of each, as Windows will start them.
class ServiceEntriesTest : public ::testing::Test {
 protected:
  void Add(const std::string& name, std::uint32_t type, std::uint32_t start, std::uint32_t state = 1,
           bool configRead = true) {
    fakes.services.configs.push_back(
        {name, name + " Display", type, state, configRead, start, false, "C:\\s\\" + name + ".exe", ""});
  }
  std::vector<ConsoleEntry> List() {
    ConsoleListing listing(fakes.registry, fakes.shell, fakes.files, fakes.images,
                           [&](const std::string& line) { errors.push_back(line); });
    const Gathering gathering{listing, fakes.registry, fakes.shell, fakes.files, fakes.services, fakes.tasks};
    GetServiceEntries(gathering);
    failed = listing.failed();
    ConsoleOptions options;
    options.categories = "s";
    std::vector<ConsoleEntry> entries;
    for (ConsoleEntry& entry : listing.Entries(options)) {
      if (!entry.locationRow) entries.push_back(std::move(entry));
    }
    return entries;
  }
  static std::vector<std::string> Names(const std::vector<ConsoleEntry>& entries) {
    std::vector<std::string> names;
    for (const ConsoleEntry& entry : entries) names.push_back(entry.category + ":" + entry.entry);
    return names;
  }
  test::FakePlatform fakes;
  std::vector<std::string> errors;
  bool failed = false;
};

TEST_F(ServiceEntriesTest, WhatStartsByItselfOrRunsServicesBeforeDrivers) {
  Add("KernelBoot", kKernelDriver, kBootStart);
  Add("Boot", kOwnProcess, kBootStart);
  Add("System", kShareProcess, kSystemStart);
  Add("Auto", kOwnProcess | kInteractive, kAutoStart);
  fakes.services.configs.back().delayed = true;
  Add("Demand", kOwnProcess, kDemandStart);
  Add("DemandRunning", kShareProcess, kDemandStart, kRunning);
  Add("Off", kOwnProcess, kDisabled);
  Add("FsDemand", kFileSystemDriver, kDemandStart);
  Add("DriverOff", kKernelDriver, kDisabled);
  Add("PerUser", 0x60, kAutoStart);  // a per-user service's template starts nothing itself
  Add("Refused", kOwnProcess, 0, 1, false);
  EXPECT_EQ(Names(List()), (std::vector<std::string>{"Services:Boot", "Services:System", "Services:Auto",
                                                     "Services:DemandRunning", "Services:Refused",
                                                     "Drivers:KernelBoot", "Drivers:FsDemand"}));
  EXPECT_TRUE(errors.empty()) << "a service the account may not query is no failure";
  EXPECT_FALSE(failed);
}

TEST_F(ServiceEntriesTest, EachEntryAsTheFleetToolsReadIt) {
  const std::string services = "SYSTEM\\CurrentControlSet\\Services\\";
  fakes.files.AddFile("C:\\WINDOWS\\System32\\drivers\\nopath.sys");
  fakes.files.AddFile("C:\\WINDOWS\\System32\\drivers\\rel.sys");
  fakes.files.AddFile("C:\\WINDOWS\\System32\\drivers\\nt.sys");
  fakes.files.AddFile("C:\\Program Files\\A B\\svc.exe");
  Add("Svc", kOwnProcess, kAutoStart);
  fakes.services.configs.back().description = "Keeps things going.";
  fakes.registry.SetText(Hive::LocalMachine, services + "Svc", "ImagePath", u"C:\\Program Files\\A B\\svc.exe -k");
  Add("NoPath", kKernelDriver, kSystemStart);
  fakes.services.configs.back().binaryPath.clear();
  Add("Rel", kKernelDriver, kBootStart);
  fakes.registry.SetText(Hive::LocalMachine, services + "Rel", "ImagePath", u"System32\\drivers\\rel.sys");
  Add("Nt", kFileSystemDriver, kSystemStart);
  fakes.registry.SetText(Hive::LocalMachine, services + "Nt", "ImagePath", u"\\SystemRoot\\System32\\drivers\\nt.sys");
  const std::vector<ConsoleEntry> entries = List();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].location, "HKLM\\System\\CurrentControlSet\\Services");
  EXPECT_EQ(entries[0].description, "Svc Display: Keeps things going.");
  EXPECT_EQ(entries[0].enabled, "enabled");
  EXPECT_EQ(entries[0].launchString, "C:\\Program Files\\A B\\svc.exe -k") << "the ImagePath as stored";
  EXPECT_EQ(entries[0].imagePath, "C:\\Program Files\\A B\\svc.exe");
  EXPECT_EQ(entries[1].description, "NoPath Display:");
  EXPECT_EQ(entries[1].imagePath, "C:\\WINDOWS\\System32\\drivers\\NoPath.sys") << "no ImagePath: by its name";
  EXPECT_EQ(entries[2].imagePath, "C:\\WINDOWS\\System32\\drivers\\rel.sys") << "relative to the Windows folder";
  EXPECT_EQ(entries[3].imagePath, "C:\\WINDOWS\\System32\\drivers\\nt.sys");
  EXPECT_EQ(entries[3].category, "Drivers");
}

TEST_F(ServiceEntriesTest, AnUnreadableConfigurationIsOneLineAndTheRestListed) {
  Add("Fine", kOwnProcess, kAutoStart);
  fakes.services.configFaults.push_back({"Broken", "The system cannot find the file specified."});
  EXPECT_EQ(Names(List()), std::vector<std::string>{"Services:Fine"});
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("Broken cannot be read: The system cannot find the file specified."), std::string::npos);
  EXPECT_TRUE(failed);
  errors.clear();
  fakes.services.Fail("ListServiceConfigs", "Access is denied.");
  EXPECT_TRUE(List().empty());
  EXPECT_EQ(errors.size(), 1u);
}

}  // namespace
}  // namespace vq

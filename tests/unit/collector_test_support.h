#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "fakes/fake_platform.h"

namespace vq::test {

// Form1 with its collectors and its delete walk callable one at a time.
class CollectorForm1 : public Form1 {
 public:
  using Form1::Form1;
  using Form1::DeleteItem;
  using Form1::GetRegistryItems;
  using Form1::GetServices;
  using Form1::GetStartup;
  using Form1::GetSysFile;
  using Form1::GetTasks;
  using Form1::items_;
};

// A list row as the collectors write it: type tag, Location, Item, Extra Details.
struct Row {
  std::vector<std::string> texts;
  Row(std::string type, std::string location, std::string item, std::string extraDetails)
      : texts{std::move(type), std::move(location), std::move(item), std::move(extraDetails)} {}
  explicit Row(std::vector<std::string> all) : texts(std::move(all)) {}
  bool operator==(const Row&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << '[' << row.texts[0] << " | " << row.texts[1] << " | " << row.texts[2] << " | " << row.texts[3] << ']';
}

class CollectorTest : public ::testing::Test {
 protected:
  FakePlatform fakes;
  FakeWindow& window = fakes.window;
  CollectorForm1 form{fakes.Get()};

  std::vector<Row> Rows() const {
    std::vector<Row> rows;
    for (const FakeWindow::Row& row : window.rows) rows.emplace_back(row.texts);
    return rows;
  }
  // "<procedure> at line <n>" of each error report box shown, in order.
  std::vector<std::string> Reports() const {
    std::vector<std::string> reports;
    for (const auto& box : window.boxes) {
      const auto at = box.text.find("Form1.") + 6;
      reports.push_back(box.text.substr(at, box.text.find("\r\r") - at));
    }
    return reports;
  }
};

}  // namespace vq::test

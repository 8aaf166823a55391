#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "backends/windows/monitor_walk.h"

namespace corvane {
namespace {

struct FakeMonitor {
  MonitorInfo info;
  bool infoFails = false;
  bool displayFails = false;
  int32_t caps[4] = {1920, 1080, 527, 296};  // HORZRES, VERTRES, HORZSIZE, VERTSIZE
};

// Records every call, hands out distinct contexts and tracks which are still open.
class FakePlatform : public DisplayPlatform {
 public:
  explicit FakePlatform(std::vector<FakeMonitor> monitors) : monitors_(std::move(monitors)) {}

  void enumerateMonitors(const std::function<bool(MonitorHandle)>& visit) override {
    for (size_t i = 0; i < monitors_.size(); ++i) {
      if (!visit(&monitors_[i])) break;
    }
  }
  std::optional<MonitorInfo> monitorInfo(MonitorHandle monitor) override {
    auto* m = static_cast<FakeMonitor*>(monitor);
    calls.push_back("info " + m->info.deviceName);
    if (m->infoFails) return std::nullopt;
    return m->info;
  }
  DisplayContext openDisplay(const std::string& deviceName) override {
    calls.push_back("open " + deviceName);
    for (FakeMonitor& m : monitors_) {
      if (m.info.deviceName == deviceName && !m.displayFails) {
        open.insert(&m);
        return &m;
      }
    }
    return nullptr;
  }
  int32_t deviceCaps(DisplayContext context, DisplayCap cap) override {
    auto* m = static_cast<FakeMonitor*>(context);
    EXPECT_TRUE(open.count(m)) << "caps read from a closed context";
    calls.push_back("caps " + std::to_string(static_cast<int>(cap)));
    switch (cap) {
      case DisplayCap::HorzRes:
        return m->caps[0];
      case DisplayCap::VertRes:
        return m->caps[1];
      case DisplayCap::HorzSize:
        return m->caps[2];
      case DisplayCap::VertSize:
        return m->caps[3];
    }
    return -1;
  }
  void closeDisplay(DisplayContext context) override {
    calls.push_back("close");
    EXPECT_EQ(open.erase(static_cast<FakeMonitor*>(context)), 1u) << "closed twice or never opened";
  }

  std::vector<std::string> calls;
  std::set<FakeMonitor*> open;

 private:
  std::vector<FakeMonitor> monitors_;
};

FakeMonitor monitor(const char* name, int32_t left, int32_t top, uint32_t flags) {
  FakeMonitor m;
  m.info = {name, left, top, flags};
  return m;
}

TEST(CollectMonitors, ReadsEachMonitorInEnumerationOrder) {
  FakeMonitor left = monitor("\\\\.\\DISPLAY2", -1280, 56, 0);
  left.caps[0] = 1280;
  left.caps[1] = 1024;
  left.caps[2] = 338;
  left.caps[3] = 270;
  FakePlatform platform({left, monitor("\\\\.\\DISPLAY1", 0, 0, 1)});

  std::vector<MonitorRecord> records;
  collectMonitors(platform, records);

  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].deviceName, "\\\\.\\DISPLAY2");
  EXPECT_EQ(records[0].x, -1280);
  EXPECT_EQ(records[0].y, 56);
  EXPECT_EQ(records[0].width, 1280);
  EXPECT_EQ(records[0].height, 1024);
  EXPECT_EQ(records[0].widthMM, 338);
  EXPECT_EQ(records[0].heightMM, 270);
  EXPECT_FALSE(records[0].isPrimary);
  EXPECT_TRUE(records[1].isPrimary);
  EXPECT_TRUE(platform.open.empty());
  const std::vector<std::string> firstMonitorCalls = {
      "info \\\\.\\DISPLAY2", "open \\\\.\\DISPLAY2", "caps 8", "caps 10", "caps 4", "caps 6", "close"};
  EXPECT_EQ(std::vector<std::string>(platform.calls.begin(), platform.calls.begin() + 7), firstMonitorCalls);
}

// Primary flags, unopenable displays and failed info queries are covered end to end by the
// simulated-desktop suite; here, what JavaScript cannot see: context lifetimes across failures.
TEST(CollectMonitors, ClosesEveryOpenedContextAndSkipsUnknownMonitors) {
  FakeMonitor unknown = monitor("X", 0, 0, 0);
  unknown.infoFails = true;
  FakeMonitor broken = monitor("B", 0, 0, 0);
  broken.displayFails = true;
  FakePlatform platform({monitor("A", 0, 0, 1), unknown, broken, monitor("C", 0, 0, 0)});
  std::vector<MonitorRecord> records;
  collectMonitors(platform, records);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[1].deviceName, "B");
  EXPECT_EQ(records[1].width, 0);
  EXPECT_TRUE(platform.open.empty());
  for (const std::string& call : platform.calls) EXPECT_NE(call, "open X");
}

TEST(CollectMonitors, RefillsTheListInsteadOfAppending) {
  FakePlatform platform({monitor("A", 0, 0, 1)});
  std::vector<MonitorRecord> records(5);
  collectMonitors(platform, records);
  collectMonitors(platform, records);
  EXPECT_EQ(records.size(), 1u);

  FakePlatform empty({});
  collectMonitors(empty, records);
  EXPECT_TRUE(records.empty());
}

}  // namespace
}  // namespace corvane

// Windows of the simulated desktop: each has a procedure of its own that records its messages.
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

#include "backends/windows/window_platform.h"
#include "backends/windows_sim/call_log.h"
#include "backends/windows_sim/sim_windows.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

constexpr WindowProcedure kHookProcedure = 0xC0DE;

struct SimWindow {
  int64_t result = 0;
  WindowProcedure own = 0;      // the window's own procedure
  WindowProcedure current = 0;  // what the window runs now
  std::vector<sim::ReceivedMessage> received;
  uint32_t raceMessage = 0;
};

std::string windowName(WindowHandle window) { return "window" + std::to_string(window); }
std::string procedureName(WindowProcedure procedure) {
  if (procedure == kHookProcedure) return "ShutdownWndProc";
  return procedure == 0 ? "NULL" : "proc" + std::to_string(procedure);
}

class SimWindows final : public WindowPlatform {
 public:
  void setProcessShutdownParameters(uint32_t level, uint32_t flags) override {
    char text[64];
    std::snprintf(text, sizeof(text), "SetProcessShutdownParameters(0x%X, %u)", level, flags);
    sim::recordCall(text);
  }

  void shutdownBlockReasonCreate(WindowHandle window) override {
    sim::recordCall("ShutdownBlockReasonCreate(" + windowName(window) + ", Turning off the lights)");
  }

  WindowProcedure windowProcedure(WindowHandle window) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = windows_.find(window);
    const WindowProcedure procedure = found == windows_.end() ? 0 : found->second.current;
    sim::recordCall("GetWindowLongPtrA(" + windowName(window) + ", -4) -> " + procedureName(procedure));
    return procedure;
  }

  WindowProcedure hookProcedure() override { return kHookProcedure; }

  WindowProcedure installHookProcedure(WindowHandle window) override {
    WindowProcedure replaced = 0;
    uint32_t race = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = windows_.find(window);
      if (found != windows_.end()) {
        replaced = found->second.current;
        found->second.current = kHookProcedure;
        race = std::exchange(found->second.raceMessage, 0);
      }
    }
    sim::recordCall("SetWindowLongPtrA(" + windowName(window) + ", -4, ShutdownWndProc) -> " +
                    procedureName(replaced));
    // A message from the window's own thread, between the installation and its return.
    if (race != 0) {
      int64_t ignored = 0;
      sim::sendMessage(window, race, 0, 0, ignored);
    }
    return replaced;
  }

  intptr_t callWindowProcedure(WindowProcedure procedure, WindowHandle window, uint32_t message,
                               uintptr_t wParam, intptr_t lParam) override {
    sim::recordCall("CallWindowProcA(" + procedureName(procedure) + ", " + windowName(window) + ", " +
                    std::to_string(message) + ", " + std::to_string(wParam) + ", " + std::to_string(lParam) +
                    ")");
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [handle, w] : windows_) {
      if (w.own == procedure) {
        w.received.push_back({message, wParam, lParam});
        return w.result;
      }
    }
    return -1;  // no such procedure: the tests look for this
  }

  void sleep(uint32_t milliseconds) override {
    sim::recordCall("Sleep(" + std::to_string(milliseconds) + ")");
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  uint64_t create(int64_t result) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint64_t handle = ++last_;
    SimWindow& w = windows_[handle];
    w.result = result;
    w.own = 0x100000 + handle;
    w.current = w.own;
    return handle;
  }

  bool send(uint64_t window, uint32_t message, uint64_t wParam, int64_t lParam, int64_t& result) {
    WindowProcedure current = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = windows_.find(window);
      if (found == windows_.end()) return false;
      current = found->second.current;
      if (current != kHookProcedure) {
        found->second.received.push_back({message, wParam, lParam});
        result = found->second.result;
        return true;
      }
    }
    result = handleHookedMessage(window, message, wParam, lParam);
    return true;
  }

  std::vector<sim::ReceivedMessage> messages(uint64_t window) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = windows_.find(window);
    return found == windows_.end() ? std::vector<sim::ReceivedMessage>() : found->second.received;
  }

  void race(uint64_t window, uint32_t message) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = windows_.find(window);
    if (found != windows_.end()) found->second.raceMessage = message;
  }

 private:
  std::mutex mutex_;
  std::map<uint64_t, SimWindow> windows_;
  uint64_t last_ = 0x1000;
};

SimWindows& simWindows() { return neverDestroyed<SimWindows>(); }

}  // namespace

WindowPlatform& windowPlatform() { return simWindows(); }

namespace sim {

uint64_t createWindow(int64_t result) { return simWindows().create(result); }
bool sendMessage(uint64_t window, uint32_t message, uint64_t wParam, int64_t lParam, int64_t& result) {
  return simWindows().send(window, message, wParam, lParam, result);
}
std::vector<ReceivedMessage> windowMessages(uint64_t window) { return simWindows().messages(window); }
void raceOnInstall(uint64_t window, uint32_t message) { simWindows().race(window, message); }

}  // namespace sim
}  // namespace corvane

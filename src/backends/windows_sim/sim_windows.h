// Windows of the simulated desktop, for the shutdown hook's tests.
#pragma once

#include <cstdint>
#include <vector>

namespace corvane::sim {

struct ReceivedMessage {
  uint32_t message;
  uint64_t wParam;
  int64_t lParam;
};

// A window whose own procedure records what reaches it and answers result.
uint64_t createWindow(int64_t result);
// Delivers a message to the window's current procedure, as its thread would; false if no such window.
bool sendMessage(uint64_t window, uint32_t message, uint64_t wParam, int64_t lParam, int64_t& result);
std::vector<ReceivedMessage> windowMessages(uint64_t window);
// The next installation of a procedure on the window lets a message in before it returns, as a
// window owned by another thread may.
void raceOnInstall(uint64_t window, uint32_t message);

}  // namespace corvane::sim

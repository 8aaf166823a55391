// The window-manager calls of the shutdown hook, one method each, so that the hook runs the same
// way on the real desktop and on the simulated one.
#pragma once

#include <cstdint>

#include "shutdown/session_end_hold.h"

namespace corvane {

using WindowProcedure = uintptr_t;

constexpr uint32_t kQueryEndSession = 0x0011;
constexpr uint32_t kEndSession = 0x0016;

class WindowPlatform {
 public:
  virtual ~WindowPlatform() = default;

  virtual void setProcessShutdownParameters(uint32_t level, uint32_t flags) = 0;
  // The reason is "Turning off the lights".
  virtual void shutdownBlockReasonCreate(WindowHandle window) = 0;
  virtual WindowProcedure windowProcedure(WindowHandle window) = 0;
  // The hook's own procedure.
  virtual WindowProcedure hookProcedure() = 0;
  // Installs the hook's procedure; returns the one it replaced.
  virtual WindowProcedure installHookProcedure(WindowHandle window) = 0;
  virtual intptr_t callWindowProcedure(WindowProcedure procedure, WindowHandle window, uint32_t message,
                                       uintptr_t wParam, intptr_t lParam) = 0;
  virtual void sleep(uint32_t milliseconds) = 0;
};

WindowPlatform& windowPlatform();

// What the hook's window procedure does with a message of a hooked window; the platform's
// procedure calls it.
intptr_t handleHookedMessage(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace corvane

// The shutdown hook on USER32 and KERNEL32.
#include <windows.h>

#include "backends/windows/window_platform.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

LRESULT CALLBACK ShutdownWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return handleHookedMessage(reinterpret_cast<WindowHandle>(window), message, wParam, lParam);
}

HWND hwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

class Win32Windows final : public WindowPlatform {
 public:
  void setProcessShutdownParameters(uint32_t level, uint32_t flags) override {
    SetProcessShutdownParameters(level, flags);
  }
  void shutdownBlockReasonCreate(WindowHandle window) override {
    ShutdownBlockReasonCreate(hwnd(window), L"Turning off the lights");
  }
  WindowProcedure windowProcedure(WindowHandle window) override {
    return static_cast<WindowProcedure>(GetWindowLongPtrA(hwnd(window), GWLP_WNDPROC));
  }
  WindowProcedure hookProcedure() override { return reinterpret_cast<WindowProcedure>(&ShutdownWndProc); }
  WindowProcedure installHookProcedure(WindowHandle window) override {
    return static_cast<WindowProcedure>(
        SetWindowLongPtrA(hwnd(window), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ShutdownWndProc)));
  }
  intptr_t callWindowProcedure(WindowProcedure procedure, WindowHandle window, uint32_t message,
                               uintptr_t wParam, intptr_t lParam) override {
    return CallWindowProcA(reinterpret_cast<WNDPROC>(procedure), hwnd(window), message, wParam, lParam);
  }
  void sleep(uint32_t milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

WindowPlatform& windowPlatform() { return neverDestroyed<Win32Windows>(); }

}  // namespace corvane

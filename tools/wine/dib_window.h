// What the picture programs for the Wine runs share: a top-most borderless window painted from a
// 32-bit top-down pixel buffer, and its message loop.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace dib_window {

// Where the window goes, and the file to write once it shows: X Y WIDTH HEIGHT READY_FILE.
struct Placement {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  const char* readyFile = nullptr;
};

inline bool readPlacement(int argc, char** argv, const char* program, Placement& placement) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s X Y WIDTH HEIGHT READY_FILE\n", program);
    return false;
  }
  placement = {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argv[5]};
  return true;
}

inline void paint(HWND window, int width, int height, const std::vector<unsigned char>& pixels) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(dc, 0, 0, width, height, 0, 0, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
  EndPaint(window, &paint);
}

// Shows the window and runs its messages until it is destroyed; the process's exit code.
inline int show(const char* className, WNDPROC procedure, int x, int y, int width, int height) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, className, className, WS_POPUP, x, y, width,
                                height, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

}  // namespace dib_window

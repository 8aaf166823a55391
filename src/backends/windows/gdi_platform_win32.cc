// Display grabs on GDI.
#include <windows.h>

#include <cstring>
#include <utility>

#include "backends/windows/gdi_grabber.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

static_assert(sizeof(BITMAPINFOHEADER) == sizeof(DibHeader), "DibHeader must match BITMAPINFOHEADER");

BOOL CALLBACK findDevice(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto& wanted = *reinterpret_cast<std::pair<const std::string*, bool>*>(data);
  MONITORINFOEXA info{};
  info.cbSize = sizeof(info);
  // Device names are compared as Windows compares them: case aside.
  if (GetMonitorInfoA(monitor, &info) && lstrcmpiA(info.szDevice, wanted.first->c_str()) == 0)
    wanted.second = true;
  return wanted.second ? FALSE : TRUE;
}

class Win32Gdi final : public GdiPlatform {
 public:
  bool isDisplay(const std::string& deviceName) override {
    std::pair<const std::string*, bool> wanted{&deviceName, false};
    EnumDisplayMonitors(nullptr, nullptr, findDevice, reinterpret_cast<LPARAM>(&wanted));
    return wanted.second;
  }
  GdiContext createDisplayContext(const std::string& deviceName) override {
    return CreateDCA("DISPLAY", deviceName.c_str(), nullptr, nullptr);
  }
  GdiContext createCompatibleContext(GdiContext display) override {
    return CreateCompatibleDC(static_cast<HDC>(display));
  }
  GdiObject createCompatibleBitmap(GdiContext display, int32_t width, int32_t height) override {
    return CreateCompatibleBitmap(static_cast<HDC>(display), width, height);
  }
  GdiObject selectObject(GdiContext context, GdiObject object) override {
    return SelectObject(static_cast<HDC>(context), static_cast<HGDIOBJ>(object));
  }
  bool bitBlt(GdiContext target, int32_t width, int32_t height, GdiContext source) override {
    return BitBlt(static_cast<HDC>(target), 0, 0, width, height, static_cast<HDC>(source), 0, 0, SRCCOPY) !=
           0;
  }
  int32_t getDIBits(GdiContext context, GdiObject bitmap, int32_t lines, uint8_t* pixels,
                    DibHeader& header) override {
    BITMAPINFO info{};
    std::memcpy(&info.bmiHeader, &header, sizeof(header));
    return GetDIBits(static_cast<HDC>(context), static_cast<HBITMAP>(bitmap), 0, static_cast<UINT>(lines),
                     pixels, &info, DIB_RGB_COLORS);
  }
  void deleteObject(GdiObject object) override { DeleteObject(static_cast<HGDIOBJ>(object)); }
  void deleteContext(GdiContext context) override { DeleteDC(static_cast<HDC>(context)); }
};

}  // namespace

GdiPlatform& gdiPlatform() { return neverDestroyed<Win32Gdi>(); }

}  // namespace corvane

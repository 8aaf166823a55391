// Display grabs on GDI.
#include <windows.h>

#include <cstring>
#include <optional>

#include "backends/windows/gdi_grabber.h"
#include "common/never_destroyed.h"

namespace corvane {
namespace {

static_assert(sizeof(BITMAPINFOHEADER) == sizeof(DibHeader), "DibHeader must match BITMAPINFOHEADER");

struct WantedDisplay {
  const std::string* deviceName;
  std::optional<DisplaySize> size;
};

BOOL CALLBACK findDevice(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto& wanted = *reinterpret_cast<WantedDisplay*>(data);
  MONITORINFOEXA info{};
  info.cbSize = sizeof(info);
  // Device names are compared as Windows compares them: case aside.
  if (GetMonitorInfoA(monitor, &info) && lstrcmpiA(info.szDevice, wanted.deviceName->c_str()) == 0) {
    wanted.size =
        DisplaySize{info.rcMonitor.right - info.rcMonitor.left, info.rcMonitor.bottom - info.rcMonitor.top};
  }
  return wanted.size ? FALSE : TRUE;
}

class Win32Gdi final : public GdiPlatform {
 public:
  std::optional<DisplaySize> findDisplay(const std::string& deviceName) override {
    WantedDisplay wanted{&deviceName, std::nullopt};
    EnumDisplayMonitors(nullptr, nullptr, findDevice, reinterpret_cast<LPARAM>(&wanted));
    return wanted.size;
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
  GdiObject createDibSection(GdiContext display, int32_t width, int32_t height, uint8_t** bits) override {
    BITMAPINFO info{};
    const DibHeader header = topDownDib32(width, height);
    std::memcpy(&info.bmiHeader, &header, sizeof(header));
    void* pixels = nullptr;
    HBITMAP section = CreateDIBSection(static_cast<HDC>(display), &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    *bits = section != nullptr ? static_cast<uint8_t*>(pixels) : nullptr;
    return section;
  }
  GdiObject selectObject(GdiContext context, GdiObject object) override {
    return SelectObject(static_cast<HDC>(context), static_cast<HGDIOBJ>(object));
  }
  bool bitBlt(GdiContext target, int32_t targetY, int32_t width, int32_t height, GdiContext source,
              int32_t sourceY) override {
    return BitBlt(static_cast<HDC>(target), 0, targetY, width, height, static_cast<HDC>(source), 0, sourceY,
                  SRCCOPY) != 0;
  }
  void flush() override { GdiFlush(); }
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

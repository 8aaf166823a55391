// The pictures that the test and demo programs show, as 32-bit top-down blue-green-red-reserved
// pixels, shared by the Windows and X11 programs so that both show the same thing.
#pragma once

#include <cmath>
#include <cstddef>
#include <vector>

namespace pictures {

// The test picture. Its pixel at (x, y) is blue (x * 7 + y * 3 + 0x40), green (y + (x >> 8) * 16),
// red (x + (y >> 8) * 32), each modulo 256, so that a wrong row, column, stride or byte order shows.
inline void drawTestPicture(int width, int height, std::vector<unsigned char>& pixels) {
  pixels.resize(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
      p[0] = static_cast<unsigned char>(x * 7 + y * 3 + 0x40);
      p[1] = static_cast<unsigned char>(y + (x >> 8) * 16);
      p[2] = static_cast<unsigned char>(x + (y >> 8) * 32);
      p[3] = 0;
    }
  }
}

// Frame number frame of the demo's scene, at ten frames a second: drifting colour bands and a
// bouncing disc.
inline void drawScene(int frame, int width, int height, std::vector<unsigned char>& pixels) {
  pixels.resize(static_cast<size_t>(width) * height * 4);
  const double t = frame * 0.1;
  const double discX = (0.5 + 0.4 * std::sin(t * 0.9)) * width;
  const double discY = (0.5 + 0.35 * std::cos(t * 1.3)) * height;
  const double radius = 0.12 * (width < height ? width : height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
      const double u = static_cast<double>(x) / width;
      const double v = static_cast<double>(y) / height;
      double red = 0.5 + 0.5 * std::sin(6.28 * (u + t * 0.05));
      double green = 0.5 + 0.5 * std::sin(6.28 * (v + u * 0.5 + 1.0 / 3 - t * 0.04));
      double blue = 0.5 + 0.5 * std::sin(6.28 * (u - v + 2.0 / 3 + t * 0.03));
      const double dx = x - discX;
      const double dy = y - discY;
      if (dx * dx + dy * dy < radius * radius) red = green = blue = 1.0;
      p[0] = static_cast<unsigned char>(blue * 255);
      p[1] = static_cast<unsigned char>(green * 255);
      p[2] = static_cast<unsigned char>(red * 255);
      p[3] = 0;
    }
  }
}

}  // namespace pictures

// Script and inspection of the simulated desktop's graphics device calls.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::sim {

struct GdiFaults {
  bool createDisplayContext = false;
  bool createCompatibleContext = false;
  bool createCompatibleBitmap = false;
  bool bitBlt = false;
  bool getDIBits = false;
  int32_t dibLines = 0;          // GetDIBits reads out at most this many rows, from the top; 0: all
  uint32_t grabDelayMs = 0;      // each BitBlt takes this long, like a slow real grab
  uint32_t rowDelayUs = 0;       // and this long more for each row it copies
  int32_t bitBltFromRow = 0;     // a BitBlt reaching this row of the display or below fails; 0: none
  uint64_t maxBitmapPixels = 0;  // larger bitmaps fail, as when GDI runs out of memory; 0: no limit
};

void setGdiFaults(const GdiFaults& faults);

struct GdiCensus {
  size_t contexts = 0;               // device contexts not deleted
  size_t bitmaps = 0;                // bitmaps not deleted
  size_t grabs = 0;                  // BitBlt calls of whole areas since the last reset
  size_t rowCopies = 0;              // BitBlt calls of one row, into a DIB section
  std::vector<std::string> misuses;  // calls that real GDI would refuse or leak on
};

GdiCensus gdiCensus();
void resetGdi();

}  // namespace corvane::sim

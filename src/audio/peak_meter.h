// One stream run's meter of the default audio output. It is opened, read and closed on the run's
// worker thread; each platform's variant is a file of its own.
#pragma once

#include <memory>

namespace corvane {

class PeakMeter {
 public:
  virtual ~PeakMeter() = default;
  // One tick's value: the peak level of the default output (0..1), or a negative code, with a line
  // on standard error, when there is none.
  virtual float read() = 0;
};

std::unique_ptr<PeakMeter> openPeakMeter();

}  // namespace corvane

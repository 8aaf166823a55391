// A PipeWire video stream of one node, read on PipeWire's own thread loop. The stream keeps the
// newest frame's buffer until a newer one comes, so a grab copies once, whatever the stream's
// frame rate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "backends/linux/unique_fd.h"
#include "backends/portal/pipewire_library.h"

namespace corvane {

class PipeWireStream {
 public:
  // Connects to the remote fd (taken over) and asks for the node's raw video; null with why on
  // failure. A stream that fails later tells why through failure().
  static std::unique_ptr<PipeWireStream> open(const PipeWireLibrary& pw, UniqueFd remote, uint32_t node,
                                              std::string& why);
  ~PipeWireStream();
  PipeWireStream(const PipeWireStream&) = delete;
  PipeWireStream& operator=(const PipeWireStream&) = delete;

  // Writes the newest frame from its top-left into frame (width x height, blue-green-red-reserved);
  // what lies past the frame's edge is left as it is. Returns the area written: zero before the
  // first frame.
  struct Written {
    int32_t width = 0;
    int32_t height = 0;
  };
  Written copyNewest(uint8_t* frame, int32_t width, int32_t height);

  // Where the stream stands, for a line that says why no frame came.
  std::string describe();
  // Why the stream gives no frame for good (it ended, or its format is not one we read); empty
  // while it runs.
  std::string failure();

  struct State;

 private:
  explicit PipeWireStream(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace corvane

// What the portal capture decides without the portal: which of the streams it was given shows the
// output asked for, where its restore token is kept, and how a stream's pixels read. Platform-free.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/frame_copy.h"

namespace corvane {

// The output a capture asks for: its name, and its place in the layout when the monitor list
// gave one.
struct PortalOutput {
  std::string name;
  std::optional<PixelArea> area;
};

// One stream of the portal's Start answer: the PipeWire node, and the area it shows when the
// portal says (position and size are optional there).
struct PortalStream {
  uint32_t node = 0;
  std::optional<PixelArea> area;
};

// The stream to read, or none, with why then. A stream whose area is given must match the
// output's; one whose area is unknown is taken only as the sole stream.
std::optional<PortalStream> chooseStream(const std::vector<PortalStream>& streams, const PortalOutput& output,
                                         std::string& why);

// The stream of each output of a multiple selection, matched by position and size (one of unknown
// area is taken only when one output asked for one stream), with why for each output left
// without one: the user may share fewer or other monitors than were asked for.
std::vector<std::optional<PortalStream>> chooseStreams(const std::vector<PortalStream>& streams,
                                                       const std::vector<PortalOutput>& outputs,
                                                       std::vector<std::string>& whys);

// Where the restore token of an output is kept: under $XDG_STATE_HOME, else ~/.local/state, in
// corvane/; empty when neither is known. Either argument may be null. A set of outputs shared
// together has one token, named by all of theirs.
std::string restoreTokenPath(const char* stateHome, const char* home,
                             const std::vector<std::string>& outputNames);

// The token a token file holds: its text without the white space around it (an editor's or
// echo's newline), which the portal would refuse.
std::string restoreTokenFrom(const std::string& fileText);

// The 32-bit layouts the stream is offered in; alpha, where there is one, is dropped.
enum class StreamPixels { Bgrx, Bgra, Rgbx, Rgba };

PixelFormat pixelFormatOf(StreamPixels pixels);

}  // namespace corvane

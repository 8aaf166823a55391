#include "backends/portal/portal_choice.h"

namespace corvane {
namespace {

std::string describe(const PixelArea& area) {
  return std::to_string(area.width) + "x" + std::to_string(area.height) + " at " + std::to_string(area.x) +
         "," + std::to_string(area.y);
}

// Output names come from the compositor; only a plain file name is made of them.
std::string fileNameOf(const std::string& outputName) {
  std::string name;
  for (const char c : outputName) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    name += plain ? c : '_';
  }
  return name.empty() || name[0] == '.' ? "_" + name : name;
}

}  // namespace

std::optional<PortalStream> chooseStream(const std::vector<PortalStream>& streams, const PortalOutput& output,
                                         std::string& why) {
  if (streams.empty()) {
    why = "the portal shared no stream";
    return std::nullopt;
  }
  if (!output.area) {
    if (streams.size() == 1) return streams[0];
    why = "the portal shared " + std::to_string(streams.size()) + " streams and " + output.name +
          "'s place is unknown";
    return std::nullopt;
  }
  for (const PortalStream& stream : streams) {
    if (stream.area && *stream.area == *output.area) return stream;
  }
  if (streams.size() == 1 && !streams[0].area) return streams[0];
  why = "the portal shared another output than " + output.name + " (" + describe(*output.area) + ")";
  if (streams.size() == 1) why += ": " + describe(*streams[0].area);
  return std::nullopt;
}

std::vector<std::optional<PortalStream>> chooseStreams(const std::vector<PortalStream>& streams,
                                                       const std::vector<PortalOutput>& outputs,
                                                       std::vector<std::string>& whys) {
  std::vector<std::optional<PortalStream>> chosen(outputs.size());
  whys.assign(outputs.size(), {});
  if (outputs.size() == 1) {
    chosen[0] = chooseStream(streams, outputs[0], whys[0]);
    return chosen;
  }
  for (size_t i = 0; i < outputs.size(); ++i) {
    const PortalOutput& output = outputs[i];
    for (const PortalStream& stream : streams) {
      if (output.area && stream.area && *stream.area == *output.area) chosen[i] = stream;
    }
    if (chosen[i]) continue;
    if (streams.empty()) {
      whys[i] = "the portal shared no stream";
    } else if (!output.area) {
      whys[i] = "the portal shared " + std::to_string(streams.size()) + " streams and " + output.name +
                "'s place is unknown";
    } else {
      whys[i] = "the portal did not share " + output.name + " (" + describe(*output.area) + ")";
    }
  }
  return chosen;
}

std::string restoreTokenFrom(const std::string& fileText) {
  constexpr const char* kSpace = " \t\r\n\v\f";
  const size_t first = fileText.find_first_not_of(kSpace);
  if (first == std::string::npos) return {};
  return fileText.substr(first, fileText.find_last_not_of(kSpace) - first + 1);
}

std::string restoreTokenPath(const char* stateHome, const char* home,
                             const std::vector<std::string>& outputNames) {
  std::string folder;
  // A relative XDG_STATE_HOME is invalid and ignored, as the XDG base directory rules say.
  if (stateHome != nullptr && stateHome[0] == '/') {
    folder = stateHome;
  } else if (home != nullptr && home[0] == '/') {
    folder = std::string(home) + "/.local/state";
  } else {
    return {};
  }
  std::string names;
  for (const std::string& name : outputNames) names += (names.empty() ? "" : "+") + fileNameOf(name);
  return folder + "/corvane/screencast-" + names + ".token";
}

PixelFormat pixelFormatOf(StreamPixels pixels) {
  PixelFormat format;  // blue, green, red, reserved in memory
  if (pixels == StreamPixels::Rgbx || pixels == StreamPixels::Rgba) {
    format.redMask = 0x0000ff;
    format.blueMask = 0xff0000;
  }
  return format;
}

}  // namespace corvane

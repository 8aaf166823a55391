// Diagnostic lines on standard error: the text, a newline, then a flush; no prefix.
#pragma once

#include <cstdio>
#include <string>

namespace corvane {

inline void writeDiagnosticLine(const std::string& text) {
  std::fputs((text + "\n").c_str(), stderr);
  std::fflush(stderr);
}

}  // namespace corvane

// The simulated platform's record of the calls made into it, in order, for tests to read back.
#pragma once

#include <string>
#include <vector>

namespace corvane::sim {

void recordCall(std::string call);
std::vector<std::string> takeCalls();
// Long captures and benchmarks turn the record off.
void setRecording(bool on);

}  // namespace corvane::sim

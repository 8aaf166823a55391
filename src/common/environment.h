// The process's environment as it is now. On Windows, Node.js sets process.env with
// SetEnvironmentVariable, which the C runtime's getenv does not see.
#pragma once

#include <string>

namespace corvane {

// The variable's value; empty when it is not set.
std::string environmentVariable(const char* name);

}  // namespace corvane

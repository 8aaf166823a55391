#include <windows.h>

#include "common/environment.h"

namespace corvane {

std::string environmentVariable(const char* name) {
  char value[256];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
  // 0: not set; more than the buffer: a value no setting of ours has.
  return length > 0 && length < sizeof(value) ? std::string(value, length) : std::string();
}

}  // namespace corvane

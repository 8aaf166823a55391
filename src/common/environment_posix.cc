#include <cstdlib>

#include "common/environment.h"

namespace corvane {

std::string environmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace corvane

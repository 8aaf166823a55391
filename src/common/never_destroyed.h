// Process-wide objects that are made at first use and never destroyed, on purpose. A worker, a
// window procedure or a PipeWire thread may still run when the process exits, until the process
// ends, and must find them intact; and a static destructor cannot wait for them instead: on
// Windows the process has already killed its other threads there, in whatever lock they held.
#pragma once

namespace corvane {

template <typename T>
T& neverDestroyed() {
  static T& object = *new T;  // NOLINT(cppcoreguidelines-owning-memory): never deleted, see above
  return object;
}

}  // namespace corvane

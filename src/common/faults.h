// Failures that the simulated build can force, so that tests reach paths the real platform
// takes only when it runs out of resources. Shipping builds never inject any.
#pragma once

namespace corvane {

enum class Fault { ThreadStart, ThreadSafeFunction, QueueCall };

// True when the next attempt of this kind is to fail; consumes the injection.
bool injectedFault(Fault fault);

}  // namespace corvane

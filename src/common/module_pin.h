// Keeps this module loaded until the process ends. Node.js unloads an addon when the last
// environment that loaded it ends, for example a Worker; code of ours that the system still calls
// afterwards, such as a hooked window's procedure, would then be gone.
#pragma once

namespace corvane {

// Idempotent; a failure leaves the module as it was.
void pinModule();

}  // namespace corvane

// The application object and the program's entry into its own logic.
#pragma once

namespace app {

// Runs the program once: start-up (which runs the warning and the main dialog) and the exit step.
// Returns the exit status. The platform must be installed before.
int UlmaMain();

}  // namespace app

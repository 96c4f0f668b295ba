#pragma once

namespace corvane {

// Ends the application normally: the event loop returns 0. Both Quit commands use it.
void terminateApplication();

}  // namespace corvane

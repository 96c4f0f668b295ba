#pragma once

namespace corvane::win32 {

// Ends the program normally: its message loop returns once the current message is handled,
// from menus and other modal loops too, and everything is torn down in order.
void terminateApplication();

}  // namespace corvane::win32

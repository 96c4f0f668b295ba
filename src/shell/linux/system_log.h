#pragma once

#include <string>

namespace corvane::linux_shell {

// Writes one message to the system log (syslog).
void writeToSystemLog(const std::string& message);

}  // namespace corvane::linux_shell

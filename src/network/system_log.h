#pragma once

#include <string>

namespace corvane {

// Writes one message to the system log.
void writeToSystemLog(const std::string& message);

}  // namespace corvane

#include "network/system_log.h"

#include <windows.h>

namespace corvane {

void writeToSystemLog(const std::string& message) {
    OutputDebugStringA((message + "\n").c_str());
}

}  // namespace corvane

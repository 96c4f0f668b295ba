#include "network/system_log.h"

#include <syslog.h>

namespace corvane {

void writeToSystemLog(const std::string& message) {
    syslog(LOG_ERR, "%s", message.c_str());
}

}  // namespace corvane

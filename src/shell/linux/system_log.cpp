#include "shell/linux/system_log.h"

#include <syslog.h>

namespace corvane::linux_shell {

void writeToSystemLog(const std::string& message) {
    syslog(LOG_ERR, "%s", message.c_str());
}

}  // namespace corvane::linux_shell

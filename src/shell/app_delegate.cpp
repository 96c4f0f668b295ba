#include "shell/app_delegate.h"

namespace corvane {

bool AppDelegate::applicationShouldHandleReopen(bool /*hasVisibleWindows*/) {
    defaultCenter_.post(applicationDidHandleReopenNotification, this);
    return true;
}

}  // namespace corvane

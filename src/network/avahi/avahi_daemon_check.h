#pragma once

namespace corvane::avahi {

// Whether avahi-daemon answers on the system bus now.
bool avahiDaemonAnswers();

}  // namespace corvane::avahi

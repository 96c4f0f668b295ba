#include "shell/qt/application_termination.h"

#include <QCoreApplication>

namespace corvane {

void terminateApplication() {
    QCoreApplication::quit();
}

}  // namespace corvane

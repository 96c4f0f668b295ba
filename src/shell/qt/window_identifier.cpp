#include "shell/qt/window_identifier.h"

#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace corvane {

namespace {
constexpr char kIdentifierProperty[] = "corvaneWindowIdentifier";
}  // namespace

void setWindowIdentifier(QWidget& window, const QString& identifier) {
    // winId() creates the platform window that carries the identifier.
    window.winId();
    window.windowHandle()->setProperty(kIdentifierProperty, identifier);
}

std::optional<QString> windowIdentifier(const QWindow& window) {
    const QVariant identifier = window.property(kIdentifierProperty);
    if (!identifier.isValid()) {
        return std::nullopt;
    }
    return identifier.toString();
}

}  // namespace corvane

#pragma once

#include <QString>

#include <optional>

class QWidget;
class QWindow;

namespace corvane {

// Windows of a window group carry an identifier that begins with the group's id, e.g.
// "about-1". It is kept on the platform window, so it stays with the window while the
// window exists, shown or hidden.
void setWindowIdentifier(QWidget& window, const QString& identifier);

// The window's identifier, if it has one.
std::optional<QString> windowIdentifier(const QWindow& window);

}  // namespace corvane

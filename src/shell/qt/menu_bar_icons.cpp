#include "shell/qt/menu_bar_icons.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

// The images are compiled into a static library; registering them explicitly keeps the
// linker from dropping them. Registering again is harmless. Outside any namespace, as the
// registration function is.
static void registerImages() {
    Q_INIT_RESOURCE(shell_qt);
}

namespace {

QImage loadImage(const char* name) {
    registerImages();
    return QImage(QStringLiteral(":/corvane/%1.png").arg(QLatin1String(name)));
}

}  // namespace

namespace corvane {

namespace {

constexpr int kIconSize = 18;
constexpr int kDotDiameter = 5;

QImage makeMenuBarIcon() {
    // Width and height are set independently, so the artwork fills the square.
    return loadImage("T_Icon_Corvane")
        .scaled(kIconSize, kIconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage makeConnectedMenuBarIcon() {
    QImage icon = menuBarIcon().copy();
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // The tray has no template rendering: the palette's text colour stands in for the
    // foreground colour it would give.
    painter.setBrush(QGuiApplication::palette().color(QPalette::WindowText));
    painter.drawEllipse(QRectF(icon.width() - kDotDiameter, icon.height() - kDotDiameter,
                               kDotDiameter, kDotDiameter));
    return icon;
}

}  // namespace

const QImage& menuBarIcon() {
    static const QImage icon = makeMenuBarIcon();
    return icon;
}

const QImage& connectedMenuBarIcon() {
    static const QImage icon = makeConnectedMenuBarIcon();
    return icon;
}

const QImage& applicationIcon() {
    static const QImage icon = loadImage("application_icon");
    return icon;
}

}  // namespace corvane

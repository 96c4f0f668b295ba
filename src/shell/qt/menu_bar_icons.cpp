#include "shell/qt/menu_bar_icons.h"

#include <QPainter>

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
constexpr QColor kArtworkFill(74, 79, 87);
constexpr QColor kArtworkOutline(244, 244, 244);

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
    // Trays do not recolour the icon for their panel, so the dot carries both of the
    // artwork's colours, as the note does: its dark fill inside its light outline reads on
    // dark and light panels alike.
    painter.setPen(Qt::NoPen);
    const QRectF dot(icon.width() - kDotDiameter, icon.height() - kDotDiameter, kDotDiameter,
                     kDotDiameter);
    painter.setBrush(kArtworkOutline);
    painter.drawEllipse(dot);
    painter.setBrush(kArtworkFill);
    painter.drawEllipse(dot.adjusted(1, 1, -1, -1));
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

#include <gtest/gtest.h>

#include <QPainter>

#include "shell/qt/menu_bar_icons.h"

namespace corvane {
namespace {

// The icon as a panel of the given colour shows it.
QImage onPanel(const QImage& icon, QRgb panel) {
    QImage shown(icon.size(), QImage::Format_RGB32);
    shown.fill(panel);
    QPainter(&shown).drawImage(0, 0, icon);
    return shown;
}

TEST(MenuBarIconsTest, ConnectedIconIsTheArtworkWithADotOf5AtTheBottomRightSeenOnAnyPanel) {
    const QImage& plain = menuBarIcon();
    const QImage& connected = connectedMenuBarIcon();
    ASSERT_EQ(plain.size(), QSize(18, 18));
    ASSERT_EQ(connected.size(), QSize(18, 18));
    EXPECT_FALSE(applicationIcon().isNull());

    const QRgb darkPanel = qRgb(30, 30, 30);
    const QRgb lightPanel = qRgb(235, 235, 235);
    const QImage onDark = onPanel(connected, darkPanel);
    const QImage onLight = onPanel(connected, lightPanel);
    int opaque = 0;
    int standingOutOnDark = 0;
    int standingOutOnLight = 0;
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 18; ++x) {
            opaque += qAlpha(plain.pixel(x, y)) == 255 ? 1 : 0;
            if (x < 13 || y < 13) {  // Outside the dot's 5 × 5 corner nothing changes.
                EXPECT_EQ(connected.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
            } else {
                standingOutOnDark += qGray(onDark.pixel(x, y)) - qGray(darkPanel) > 120 ? 1 : 0;
                standingOutOnLight += qGray(lightPanel) - qGray(onLight.pixel(x, y)) > 120 ? 1 : 0;
            }
        }
    }
    EXPECT_GT(opaque, 30) << "the artwork did not load";
    // A clear mark of several pixels against either panel, not a faint edge.
    EXPECT_GE(standingOutOnDark, 6);
    EXPECT_GE(standingOutOnLight, 4);

    // Out to the bottom and right edges, where the plain icon is empty; round, so the far
    // corner is only partly covered.
    for (const QPoint p : {QPoint(14, 14), QPoint(15, 15), QPoint(15, 17), QPoint(17, 15)}) {
        EXPECT_EQ(qAlpha(plain.pixel(p)), 0) << p.x() << "," << p.y();
        EXPECT_GT(qAlpha(connected.pixel(p)), 200) << p.x() << "," << p.y();
    }
    EXPECT_LT(qAlpha(connected.pixel(17, 17)), 255);
}

}  // namespace
}  // namespace corvane

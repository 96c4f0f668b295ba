#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>

#include "shell/qt/menu_bar_icons.h"

namespace corvane {
namespace {

TEST(MenuBarIconsTest, ConnectedIconIsTheArtworkWithAForegroundDotOf5AtTheBottomRight) {
    const QImage& plain = menuBarIcon();
    const QImage& connected = connectedMenuBarIcon();
    ASSERT_EQ(plain.size(), QSize(18, 18));
    ASSERT_EQ(connected.size(), QSize(18, 18));
    EXPECT_FALSE(applicationIcon().isNull());

    int opaque = 0;
    for (int y = 0; y < 18; ++y) {
        for (int x = 0; x < 18; ++x) {
            opaque += qAlpha(plain.pixel(x, y)) == 255 ? 1 : 0;
            if (x < 13 || y < 13) {  // Outside the dot's 5 × 5 corner nothing changes.
                EXPECT_EQ(connected.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_GT(opaque, 30) << "the artwork did not load";

    // Filled across its middle and out to the bottom and right edges, where the plain icon
    // is empty; round, so the far corner is only partly covered.
    const QRgb foreground = QGuiApplication::palette().color(QPalette::WindowText).rgba();
    EXPECT_EQ(connected.pixel(15, 15), foreground);
    for (const QPoint p : {QPoint(14, 14), QPoint(16, 16), QPoint(15, 17), QPoint(17, 15)}) {
        EXPECT_EQ(qAlpha(plain.pixel(p)), 0) << p.x() << "," << p.y();
        EXPECT_GT(qAlpha(connected.pixel(p)), 200) << p.x() << "," << p.y();
    }
    EXPECT_LT(qAlpha(connected.pixel(17, 17)), 255);
}

}  // namespace
}  // namespace corvane

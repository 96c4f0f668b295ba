#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPalette>

#include "shell/qt/menu_bar_icons.h"

namespace corvane {
namespace {

constexpr int kSize = 18;
constexpr int kDot = 5;

bool inDotCorner(int x, int y) {
    return x >= kSize - kDot && y >= kSize - kDot;
}

TEST(MenuBarIconsTest, BothIconsAre18By18AndShowTheArtwork) {
    const QImage& plain = menuBarIcon();
    ASSERT_EQ(plain.size(), QSize(kSize, kSize));
    ASSERT_EQ(connectedMenuBarIcon().size(), QSize(kSize, kSize));

    int opaque = 0;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            opaque += qAlpha(plain.pixel(x, y)) == 255 ? 1 : 0;
        }
    }
    EXPECT_GT(opaque, 30) << "the artwork did not load";
    EXPECT_FALSE(applicationIcon().isNull());
}

TEST(MenuBarIconsTest, ConnectedIconAddsAForegroundDotAtTheBottomRightAndNothingElse) {
    const QImage& plain = menuBarIcon();
    const QImage& connected = connectedMenuBarIcon();
    const QRgb foreground = QGuiApplication::palette().color(QPalette::WindowText).rgba();

    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (!inDotCorner(x, y)) {
                EXPECT_EQ(connected.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
            }
        }
    }
    // The dot's middle is filled; it reaches the bottom and right borders.
    for (const QPoint point : {QPoint(14, 14), QPoint(15, 15), QPoint(16, 16)}) {
        EXPECT_EQ(qAlpha(plain.pixel(point)), 0) << point.x() << "," << point.y();
        EXPECT_EQ(connected.pixel(point), foreground) << point.x() << "," << point.y();
    }
    for (const QPoint point : {QPoint(15, 17), QPoint(17, 15)}) {
        EXPECT_EQ(qAlpha(plain.pixel(point)), 0) << point.x() << "," << point.y();
        EXPECT_GT(qAlpha(connected.pixel(point)), 200) << point.x() << "," << point.y();
    }
    // A circle, not a square: the far corner is only partly covered.
    EXPECT_LT(qAlpha(connected.pixel(17, 17)), 255);
}

}  // namespace
}  // namespace corvane

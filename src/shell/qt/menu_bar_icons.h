#pragma once

#include <QImage>

namespace corvane {

// The tray icon when no peer is connected: the "T_Icon_Corvane" artwork at 18 × 18.
// Made on first use and kept.
const QImage& menuBarIcon();

// menuBarIcon with a filled dot of diameter 5 in the foreground colour at its
// bottom-right corner, touching the bottom and right edges. Made on first use and kept.
const QImage& connectedMenuBarIcon();

// The application's icon at its own size.
const QImage& applicationIcon();

}  // namespace corvane

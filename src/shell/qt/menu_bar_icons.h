#pragma once

#include <QImage>

namespace corvane {

// The tray icon when no peer is connected: the "T_Icon_Corvane" artwork at 18 × 18.
// Made on first use and kept.
const QImage& menuBarIcon();

// menuBarIcon with a dot of diameter 5 at its bottom-right corner, touching the bottom
// and right edges: the artwork's dark fill in its light outline, so that it shows on any
// panel. Made on first use and kept.
const QImage& connectedMenuBarIcon();

// The application's icon at its own size.
const QImage& applicationIcon();

}  // namespace corvane

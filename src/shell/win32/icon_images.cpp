#include "shell/win32/icon_images.h"

#include <objidl.h>
#include <shlwapi.h>

#include <algorithm>

// GDI+'s headers use min and max unqualified.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include "shell/win32/hidden_window.h"
#include "shell/win32/resources/resource_ids.h"

namespace corvane::win32 {

namespace {

const Gdiplus::Color artworkFill(255, 74, 79, 87);
const Gdiplus::Color artworkOutline(255, 244, 244, 244);

// A PNG image of the program's resources.
std::unique_ptr<Gdiplus::Bitmap> loadImage(int resourceId) {
    const HRSRC found = FindResourceW(thisModule(), MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    const HGLOBAL loaded = found != nullptr ? LoadResource(thisModule(), found) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        return nullptr;
    }
    IStream* stream =
        SHCreateMemStream(static_cast<const BYTE*>(bytes), SizeofResource(thisModule(), found));
    if (stream == nullptr) {
        return nullptr;
    }
    std::unique_ptr<Gdiplus::Bitmap> image(Gdiplus::Bitmap::FromStream(stream));
    stream->Release();
    if (!image || image->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    return image;
}

// The image stretched over a square canvas; `decorate` then draws on it.
template <typename Decorate>
IconHandle makeIcon(int resourceId, int size, Decorate decorate) {
    const std::unique_ptr<Gdiplus::Bitmap> image = loadImage(resourceId);
    if (!image || size <= 0) {
        return nullptr;
    }
    Gdiplus::Bitmap canvas(size, size, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&canvas);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
        graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        graphics.DrawImage(image.get(), 0, 0, size, size);
        decorate(graphics, static_cast<Gdiplus::REAL>(size));
    }
    HICON icon = nullptr;
    if (canvas.GetHICON(&icon) != Gdiplus::Ok) {
        return nullptr;
    }
    return IconHandle(icon);
}

}  // namespace

GraphicsSession::GraphicsSession() {
    const Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
}

GraphicsSession::~GraphicsSession() {
    if (token_ != 0) {
        Gdiplus::GdiplusShutdown(token_);
    }
}

IconHandle makeTrayIcon(int size, bool connectedDot) {
    return makeIcon(CORVANE_TRAY_ARTWORK_PNG, size,
                    [connectedDot](Gdiplus::Graphics& graphics, Gdiplus::REAL side) {
                        if (!connectedDot) {
                            return;
                        }
                        const Gdiplus::REAL diameter = side * 5 / 18;
                        const Gdiplus::REAL rim = side / 18;
                        const Gdiplus::SolidBrush outline(artworkOutline);
                        const Gdiplus::SolidBrush fill(artworkFill);
                        graphics.FillEllipse(&outline, side - diameter, side - diameter, diameter,
                                             diameter);
                        graphics.FillEllipse(&fill, side - diameter + rim, side - diameter + rim,
                                             diameter - 2 * rim, diameter - 2 * rim);
                    });
}

IconHandle makeApplicationIcon(int size) {
    return makeIcon(CORVANE_APPLICATION_ICON_PNG, size, [](Gdiplus::Graphics&, Gdiplus::REAL) {});
}

}  // namespace corvane::win32

#include "shell/win32/about_view.h"

#include <algorithm>
#include <utility>

#include "shell/win32/application_termination.h"
#include "shell/win32/hidden_window.h"
#include "shell/win32/message_loop.h"
#include "shell/win32/resources/resource_ids.h"

namespace corvane::win32 {

namespace {

constexpr const wchar_t* windowClassName = L"CorvaneClientAbout";
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr int padding = 20;    // around the content, at 96 DPI
constexpr int iconSize = 128;  // the application icon's own size
constexpr double titleScale = 1.5;

// Top and bottom padding of each text line, at 96 DPI.
constexpr std::array<std::pair<int, int>, 4> textPadding = {{{4, 4}, {0, 4}, {0, 4}, {0, 8}}};

int scaled(int value, UINT dpi) {
    return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

// The size the control's text takes with `font`: wrapped at word ends within `width`, or
// on one line when `width` is 0.
SIZE textExtent(HWND control, HFONT font, int width) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
    GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    const HDC context = GetDC(control);
    const HGDIOBJ previous = SelectObject(context, font);
    RECT bounds{0, 0, width, 0};
    DrawTextW(context, text.c_str(), -1, &bounds,
              DT_CALCRECT | (width > 0 ? DT_CENTER | DT_WORDBREAK : DT_SINGLELINE));
    SelectObject(context, previous);
    ReleaseDC(control, context);
    return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

}  // namespace

AboutView::AboutView(std::wstring identifier) : identifier_(std::move(identifier)) {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &AboutView::procedure;
        windowClass.hInstance = thisModule();
        windowClass.hIcon = LoadIconW(thisModule(), MAKEINTRESOURCEW(CORVANE_APPLICATION_ICON));
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        windowClass.lpszClassName = windowClassName;
        return RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;

    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, windowClassName, L"Corvane Client", windowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, width, 100, nullptr, nullptr,
                              thisModule(), this);
    if (window_ == nullptr) {
        return;
    }
    // Tab, Enter and Escape work as in a dialog (the message loop asks for this mark).
    SetPropW(window_, dialogKeysProperty, reinterpret_cast<HANDLE>(1));

    const auto child = [this](const wchar_t* className, const wchar_t* text, DWORD style, int id) {
        return CreateWindowExW(0, className, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                               window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               thisModule(), nullptr);
    };
    icon_ = child(L"STATIC", nullptr, SS_ICON | SS_REALSIZEIMAGE | SS_CENTERIMAGE, 0);
    const std::wstring version = L"Version " CORVANE_VERSION_W;
    const std::array<const wchar_t*, 4> lines = {L"Corvane Client", version.c_str(),
                                                 L"\u00A9 2026 Corvane Software",
                                                 L"\u00A9 2026 the Corvane Client developers"};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        texts_[i] = child(L"STATIC", lines[i], SS_CENTER | SS_NOPREFIX, 0);
    }
    quit_ = child(L"BUTTON", L"Quit Corvane Client", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    applyDpi(GetDpiForWindow(window_));
    centreOnMonitorOfCursor();
}

void AboutView::centreOnMonitorOfCursor() {
    POINT cursor{};
    GetCursorPos(&cursor);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTOPRIMARY), &monitor);
    RECT frame{};
    GetWindowRect(window_, &frame);
    const RECT& area = monitor.rcWork;
    SetWindowPos(window_, nullptr,
                 area.left + (area.right - area.left - (frame.right - frame.left)) / 2,
                 area.top + (area.bottom - area.top - (frame.bottom - frame.top)) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

AboutView::~AboutView() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
    DeleteObject(textFont_);
    DeleteObject(titleFont_);
}

void AboutView::bringForward() {
    if (window_ == nullptr) {
        return;
    }
    ShowWindow(window_, IsIconic(window_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(window_);
    SetFocus(quit_);
}

void AboutView::makeFonts(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    textFont_ = CreateFontIndirectW(&metrics.lfMessageFont);
    LOGFONTW title = metrics.lfMessageFont;
    title.lfHeight = static_cast<LONG>(title.lfHeight * titleScale);
    title.lfWeight = FW_SEMIBOLD;
    titleFont_ = CreateFontIndirectW(&title);
}

void AboutView::applyDpi(UINT dpi) {
    if (window_ == nullptr) {
        return;
    }
    // The controls let go of the old fonts and image before they are deleted.
    const HFONT oldFonts[] = {textFont_, titleFont_};
    makeFonts(dpi);
    const int side = scaled(padding, dpi);
    const int contentWidth = scaled(width, dpi) - 2 * side;

    IconHandle image = makeApplicationIcon(scaled(iconSize, dpi));
    SendMessageW(icon_, STM_SETICON, reinterpret_cast<WPARAM>(image.get()), 0);
    image_ = std::move(image);
    int y = side;
    SetWindowPos(icon_, nullptr, side, y, contentWidth, scaled(iconSize, dpi), SWP_NOZORDER);
    y += scaled(iconSize, dpi);

    for (std::size_t i = 0; i < texts_.size(); ++i) {
        const HFONT font = i == 0 ? titleFont_ : textFont_;
        SendMessageW(texts_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        y += scaled(textPadding[i].first, dpi);
        const int height = textExtent(texts_[i], font, contentWidth).cy;
        SetWindowPos(texts_[i], nullptr, side, y, contentWidth, height, SWP_NOZORDER);
        y += height + scaled(textPadding[i].second, dpi);
    }
    SendMessageW(quit_, WM_SETFONT, reinterpret_cast<WPARAM>(textFont_), FALSE);
    const SIZE text = textExtent(quit_, textFont_, 0);
    const SIZE button{std::max<LONG>(text.cx + scaled(24, dpi), scaled(75, dpi)),
                      std::max<LONG>(text.cy + scaled(10, dpi), scaled(23, dpi))};
    SetWindowPos(quit_, nullptr, side + (contentWidth - button.cx) / 2, y, button.cx, button.cy,
                 SWP_NOZORDER);
    y += button.cy + side;
    for (const HFONT font : oldFonts) {
        DeleteObject(font);
    }

    RECT frame{0, 0, scaled(width, dpi), y};
    AdjustWindowRectExForDpi(&frame, windowStyle, FALSE, WS_EX_DLGMODALFRAME, dpi);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window_, nullptr, TRUE);
}

LRESULT CALLBACK AboutView::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* view = reinterpret_cast<AboutView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (view == nullptr || view->window_ == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return view->handle(message, wParam, lParam);
}

LRESULT AboutView::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                terminateApplication();
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                PostMessageW(window_, WM_CLOSE, 0, 0);
                return 0;
            }
            break;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            applyDpi(HIWORD(wParam));
            return 0;
        }
        case WM_DESTROY:
            RemovePropW(window_, dialogKeysProperty);
            SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
            window_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace corvane::win32

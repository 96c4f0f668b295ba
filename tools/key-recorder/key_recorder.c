/* A Windows program to type into under Wine: a window that takes the focus and prints every
 * keyboard message it gets, one line each, with the key states at that message:
 *
 *   ready
 *   WM_KEYDOWN wparam=0x0054 scan=0x14 shift=0 ctrl=1 alt=0 win=0 numlock=0 capslock=0
 *
 * For key messages wparam is the virtual key, for character messages the UTF-16 unit. */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

/* One request to Wine's server for all the states, not one per key. */
static void print(const char* name, WPARAM wparam, LPARAM lparam) {
    BYTE keys[256];
    GetKeyboardState(keys);
#define DOWN(key) ((keys[key] & 0x80) != 0)
    printf("%s wparam=0x%04x scan=0x%02x shift=%d ctrl=%d alt=%d win=%d numlock=%d capslock=%d\n",
           name, (unsigned)wparam, (unsigned)((lparam >> 16) & 0xff), DOWN(VK_SHIFT),
           DOWN(VK_CONTROL), DOWN(VK_MENU), DOWN(VK_LWIN) || DOWN(VK_RWIN), keys[VK_NUMLOCK] & 1,
           keys[VK_CAPITAL] & 1);
    fflush(stdout);
}

#define NAMED(message) \
    { message, #message }
static const struct {
    UINT message;
    const char* name;
} keyboardMessages[] = {NAMED(WM_KEYDOWN),  NAMED(WM_KEYUP),      NAMED(WM_SYSKEYDOWN),
                        NAMED(WM_SYSKEYUP), NAMED(WM_CHAR),       NAMED(WM_SYSCHAR),
                        NAMED(WM_DEADCHAR), NAMED(WM_SYSDEADCHAR)};

static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    static int readySaid;
    /* Every keyboard message is logged and none goes on to DefWindowProc: Alt and F10 would
     * open the window's menu mode and take the keys after them. */
    for (size_t i = 0; i < sizeof keyboardMessages / sizeof *keyboardMessages; ++i) {
        if (message == keyboardMessages[i].message) {
            print(keyboardMessages[i].name, wparam, lparam);
            return 0;
        }
    }
    if (message == WM_SETFOCUS && !readySaid) {
        readySaid = 1;
        puts("ready");
        fflush(stdout);
    } else if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

int main(void) {
    _setmode(_fileno(stdout), _O_BINARY); /* lines end in \n, not \r\n */
    const WNDCLASSW windowClass = {.lpfnWndProc = windowProcedure,
                                   .hInstance = GetModuleHandleW(NULL),
                                   .hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW),
                                   .lpszClassName = L"KeyRecorder"};
    RegisterClassW(&windowClass);
    HWND window = CreateWindowW(L"KeyRecorder", L"Key recorder", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 400, 200, NULL, NULL, windowClass.hInstance, NULL);
    if (window == NULL) {
        return 1;
    }
    ShowWindow(window, SW_SHOW);
    SetForegroundWindow(window);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

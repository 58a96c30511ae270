#include "WinWindow.h"

#include "WinText.h"

#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"ScreenupWindow";

// The monitor's DPI for the window: GetDpiForWindow where the system has it
// (Windows 10 1607 and later), else the screen's.
int WindowDpi(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI *)(HWND);
    static const auto getDpi = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void *>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi != nullptr) {
        const UINT dpi = getDpi(window);
        if (dpi != 0)
            return static_cast<int>(dpi);
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// EnumChildWindows: each child into the list.
BOOL CALLBACK AddChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
    return TRUE;
}

int ScreenDpi() {
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void RegisterClassOnce() {
    static const bool registered = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = ::DefWindowProcW; // replaced per window below
        windowClass.hInstance = TWinWindow::Instance();
        windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.hIcon = ::LoadIconW(TWinWindow::Instance(), MAKEINTRESOURCEW(1));
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass) != 0;
    }();
    (void)registered;
}

} // namespace

HINSTANCE TWinWindow::Instance() {
    return ::GetModuleHandleW(nullptr);
}

TWinWindow::~TWinWindow() {
    Destroy();
    if (font_ != nullptr)
        ::DeleteObject(font_);
}

void TWinWindow::Destroy() {
    if (window_ != nullptr)
        ::DestroyWindow(window_);
}

bool TWinWindow::Create(const std::string &caption, DWORD style, HWND owner, int width, int height) {
    RegisterClassOnce();
    const HWND made = ::CreateWindowExW(0, kClassName, Wide(caption).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                        CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, Instance(), nullptr);
    if (made == nullptr)
        return false;
    window_ = made;
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinWindow::Procedure));
    dpi_ = WindowDpi(window_);
    MakeFont();
    Build();
    RECT frame{0, 0, Scale(width), Scale(height)};
    ::AdjustWindowRectEx(&frame, style, FALSE, 0);
    ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    return true;
}

void TWinWindow::MakeFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) != 0)
        font = metrics.lfMessageFont;
    else
        font.lfHeight = -12;
    // The system gives the font for the primary screen's DPI.
    font.lfHeight = ::MulDiv(font.lfHeight, dpi_, ScreenDpi());
    if (font_ != nullptr)
        ::DeleteObject(font_);
    font_ = ::CreateFontIndirectW(&font);
}

HWND TWinWindow::AddControl(const wchar_t *windowClass, const std::string &text, DWORD style, int id, DWORD exStyle) {
    const HWND control =
        ::CreateWindowExW(exStyle, windowClass, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                          window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
    if (control != nullptr)
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void TWinWindow::Place(int id, int x, int y, int width, int height) const {
    ::MoveWindow(Item(id), Scale(x), Scale(y), Scale(width), Scale(height), TRUE);
}

SIZE TWinWindow::ClientSize() const {
    RECT client{};
    ::GetClientRect(window_, &client);
    return {Unscale(client.right), Unscale(client.bottom)};
}

void TWinWindow::DpiChanged(int dpi, const RECT &suggested) {
    dpi_ = dpi;
    MakeFont();
    std::vector<HWND> children;
    ::EnumChildWindows(window_, &AddChild, reinterpret_cast<LPARAM>(&children));
    for (const HWND child : children)
        ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    ::SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
}

LRESULT TWinWindow::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        Layout();
        return 0;
    case WM_DPICHANGED:
        DpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT *>(lParam));
        return 0;
    default:
        return ::DefWindowProcW(window_, message, wParam, lParam);
    }
}

LRESULT CALLBACK TWinWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *self = reinterpret_cast<TWinWindow *>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return ::DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const LRESULT result = ::DefWindowProcW(window, message, wParam, lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return result;
    }
    return self->Message(message, wParam, lParam);
}

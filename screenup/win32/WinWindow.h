// TWinWindow: a top-level window of the Windows front end whose messages
// reach a member function. Its controls are placed in pixels of a 96-dpi
// screen scaled to the monitor's DPI (the program is per-monitor DPI aware),
// in the system's message font; moving to a monitor of another DPI rescales
// font and layout.
//
// Thread rule: every window lives on the window thread; nothing here is
// called from another thread.
#pragma once

#include <windows.h>

#include <string>

class TWinWindow {
public:
    TWinWindow() = default;
    virtual ~TWinWindow();
    TWinWindow(const TWinWindow &) = delete;
    TWinWindow &operator=(const TWinWindow &) = delete;

    HWND Handle() const { return window_; }
    // The window exists (it has not closed since it was created).
    bool Exists() const { return window_ != nullptr; }
    void Destroy();
    HWND Item(int id) const { return ::GetDlgItem(window_, id); }

    // The program's instance, for window classes and resources.
    static HINSTANCE Instance();

protected:
    // Creates the window hidden with a client area of width x height
    // (96-dpi pixels), builds its controls (Build) and lays them out.
    bool Create(const std::string &caption, DWORD style, HWND owner, int width, int height);
    virtual void Build() = 0;
    // Places the controls for the client area's size.
    virtual void Layout() {}
    // A message for the window; unhandled ones go to DefWindowProc.
    virtual LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam);

    // A child control in the window's font; text is UTF-8.
    HWND AddControl(const wchar_t *windowClass, const std::string &text, DWORD style, int id, DWORD exStyle = 0);
    // Moves control id to 96-dpi pixel coordinates.
    void Place(int id, int x, int y, int width, int height) const;
    // 96-dpi pixels in the monitor's pixels.
    int Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
    int Unscale(int pixels) const { return ::MulDiv(pixels, 96, dpi_); }
    // The client area in 96-dpi pixels.
    SIZE ClientSize() const;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void MakeFont();
    void DpiChanged(int dpi, const RECT &suggested);

    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    int dpi_ = 96;
};

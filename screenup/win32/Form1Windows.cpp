// The main window's view of what it opens: the modal questions and the
// secondary windows.
#include "Form1.h"

#include "WinPrompts.h"
#include "WinText.h"

#include <algorithm>

namespace {

TPlaceRect PlaceRect(const RECT &rect) {
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

} // namespace

void Form1::Tell(TNotice kind, const std::string &utf8) {
    ShowMessage(Exists() ? Handle() : nullptr, kind, Wide(utf8));
}

std::optional<std::u16string> Form1::ChooseFile(const TDialogInfo &dialog, const std::u16string &start) {
    const std::optional<std::wstring> chosen = ::ChooseFile(Handle(), dialog, Wide(start));
    if (!chosen)
        return std::nullopt;
    return Utf16(*chosen);
}

TWinWindow *Form1::Window(TWindowKind window) const {
    switch (window) {
    case TWindowKind::Progress:
        return progress_.get();
    case TWindowKind::Palette:
        return palette_.get();
    case TWindowKind::Size:
        return size_.get();
    }
    return nullptr;
}

bool Form1::HasWindow(TWindowKind window) const {
    const TWinWindow *shown = Window(window);
    return shown != nullptr && shown->Exists();
}

bool Form1::MakeWindow(TWindowKind window) {
    // Owned by the main window, which must still exist.
    if (!Exists())
        return false;
    switch (window) {
    case TWindowKind::Progress:
        progress_ = std::make_unique<frmProgress>();
        return progress_->Open(Handle());
    case TWindowKind::Palette:
        palette_ = std::make_unique<frmPalette>();
        return palette_->Open(Handle());
    case TWindowKind::Size:
        size_ = std::make_unique<frmSize>();
        return size_->Open(Handle());
    }
    return false;
}

void Form1::Close(TWindowKind window) {
    Window(window)->Destroy();
}

std::optional<TPlaceRect> Form1::ShownFrame(TWindowKind window) const {
    RECT frame{};
    if (!HasWindow(window) || !::IsWindowVisible(Window(window)->Handle()) ||
        ::GetWindowRect(Window(window)->Handle(), &frame) == 0)
        return std::nullopt;
    return PlaceRect(frame);
}

void Form1::PlaceBeside(TWindowKind kind, const std::vector<TPlaceRect> &avoid) {
    const HWND window = Window(kind)->Handle();
    if (::IsWindowVisible(window))
        return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (::GetMonitorInfoW(::MonitorFromWindow(Handle(), MONITOR_DEFAULTTONEAREST), &monitor) == 0)
        return;
    RECT ownerFrame{}, frame{};
    ::GetWindowRect(Handle(), &ownerFrame);
    ::GetWindowRect(window, &frame);
    // A window larger than the work area shrinks to it.
    const TPlaceRect available = PlaceRect(monitor.rcWork);
    const int width = std::min<int>(frame.right - frame.left, available.Width);
    const int height = std::min<int>(frame.bottom - frame.top, available.Height);
    const TPlacePoint at = WindowPlacement(PlaceRect(ownerFrame), width, height, available, avoid);
    ::SetWindowPos(window, nullptr, at.X, at.Y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form1::Show(TWindowKind window) {
    const HWND shown = Window(window)->Handle();
    if (window == TWindowKind::Progress) {
        ::ShowWindow(shown, SW_SHOWNOACTIVATE);
        return;
    }
    ::ShowWindow(shown, SW_SHOW);
    ::SetForegroundWindow(shown);
}

void Form1::SetProgressStep(int step) {
    progress_->SetStep(step);
}

void Form1::SetProgressPercent(int percent) {
    progress_->SetPercent(percent);
}

bool Form1::ShowPalette(const std::filesystem::path &file) {
    return palette_->ShowForm(file);
}

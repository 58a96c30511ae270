#include "WinPrompts.h"

#include "WinText.h"

#include <commdlg.h>

#include <array>
#include <vector>

void ShowMessage(HWND owner, TNotice kind, const std::wstring &text) {
    const UINT icon = kind == TNotice::Warning ? MB_ICONWARNING : kind == TNotice::Error ? MB_ICONERROR : 0;
    ::MessageBoxW(owner, text.c_str(), Wide(NoticeCaption(kind)).c_str(), MB_OK | icon);
}

std::optional<std::wstring> ChooseFile(HWND owner, const TDialogInfo &dialog, const std::wstring &start) {
    // "description", zero, "patterns", zero, and the list's closing zero.
    std::wstring filter = Wide(dialog.Description);
    filter.push_back(L'\0');
    filter += Wide(dialog.Patterns);
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring title = Wide(dialog.Title);
    // Room for a long path; the dialog starts on the path shown.
    std::vector<wchar_t> file(32768, L'\0');
    start.copy(file.data(), std::min(start.size(), file.size() - 1));

    OPENFILENAMEW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.lpstrFilter = filter.c_str();
    choice.lpstrFile = file.data();
    choice.nMaxFile = static_cast<DWORD>(file.size());
    choice.lpstrTitle = title.c_str();
    choice.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (::GetOpenFileNameW(&choice) == 0)
        return std::nullopt;
    return std::wstring(file.data());
}

std::optional<COLORREF> PickColor(HWND owner, COLORREF start) {
    // The dialog's sixteen custom colours, kept for the run of the program.
    static std::array<COLORREF, 16> custom{};
    CHOOSECOLORW choice{};
    choice.lStructSize = sizeof choice;
    choice.hwndOwner = owner;
    choice.rgbResult = start;
    choice.lpCustColors = custom.data();
    choice.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (::ChooseColorW(&choice) == 0)
        return std::nullopt;
    return choice.rgbResult;
}

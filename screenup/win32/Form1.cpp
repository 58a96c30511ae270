#include "Form1.h"

#include "ControlIds.h"
#include "PortList.h"
#include "ScreenupTexts.h"
#include "WinText.h"
#include "screenresources.h"

#include <commctrl.h>

namespace {

// The main window's client area at 96 dpi, and the least it may shrink to.
constexpr int kWidth = 640;
constexpr int kHeight = 440;
constexpr int kMinWidth = 520;
constexpr int kMinHeight = 360;
// The frame "Pictures": rows of 30 pixels below a caption line.
constexpr int kPicturesTop = 6;
constexpr int kRowTop = 26;
constexpr int kRowHeight = 30;
constexpr int kPicturesHeight = kRowTop + 6 * kRowHeight + 6;

int Id(int base, std::size_t row) {
    return base + static_cast<int>(row);
}

} // namespace

Form1::Form1(TForm1Options options)
    : port_(std::move(options.Port)), presenter_(*this, std::move(options.ProgramFolder)) {}

bool Form1::Open(int show) {
    if (!Create(std::string(MainCaption), WS_OVERLAPPEDWINDOW, nullptr, kWidth, kHeight))
        return false;
    ::ShowWindow(Handle(), show);
    ::SetFocus(Item(kCommand3));
    return true;
}

void Form1::Build() {
    // Creation order is the Tab order: "Load theme", "Upload", the port list,
    // then each row's box, path box, ".." and "Ed", the debug list, "save".
    AddControl(L"BUTTON", std::string(LoadThemeCaption), WS_TABSTOP | BS_PUSHBUTTON, kCommand3);
    AddControl(L"BUTTON", std::string(UploadCaption), WS_TABSTOP | BS_PUSHBUTTON, kCommand2);
    AddControl(WC_COMBOBOXW, "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, kCombo1);
    AddControl(L"BUTTON", std::string(PicturesCaption), BS_GROUPBOX, kFrame2);
    for (const TScreenResource &resource : ScreenResources()) {
        const auto row = static_cast<std::size_t>(resource.Index);
        AddControl(L"BUTTON", std::string(resource.Caption), WS_TABSTOP | BS_AUTOCHECKBOX, Id(kCheck1, row));
        AddControl(L"EDIT", "", WS_TABSTOP | WS_DISABLED | ES_AUTOHSCROLL, Id(kTxtPath, row), WS_EX_CLIENTEDGE);
        AddControl(L"BUTTON", std::string(BrowseCaption), WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON, Id(kBtnBrw, row));
        if (TMainWindowModel::HasEditButton(row))
            AddControl(L"BUTTON", std::string(EditCaption), WS_TABSTOP | WS_DISABLED | BS_PUSHBUTTON,
                       Id(kCmdEdit, row));
    }
    AddControl(L"BUTTON", std::string(DebugCaption), BS_GROUPBOX, kFrame1);
    AddControl(L"LISTBOX", "", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY, kLstDebug,
               WS_EX_CLIENTEDGE);
    AddControl(L"BUTTON", std::string(SaveCaption), WS_TABSTOP | BS_PUSHBUTTON, kCommand1);
    AddControl(STATUSCLASSNAMEW, "", SBARS_SIZEGRIP, kStatusBar1);
    BuildPortList();
}

void Form1::BuildPortList() {
    const HWND combo = Item(kCombo1);
    for (const std::u16string &port : PortListEntries(Utf16(port_))) {
        const std::wstring text = Wide(port);
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, 0, 0);
}

void Form1::Layout() {
    const HWND status = Item(kStatusBar1);
    ::SendMessageW(status, WM_SIZE, 0, 0);
    RECT statusRect{};
    ::GetWindowRect(status, &statusRect);
    const int statusHeight = Unscale(statusRect.bottom - statusRect.top);
    const SIZE client = ClientSize();
    const int width = static_cast<int>(client.cx);

    Place(kCommand3, 10, 12, 110, 28);
    Place(kCommand2, 10, 46, 110, 28);
    Place(kCombo1, 10, 82, 110, 200);

    const int framesLeft = 130;
    const int framesWidth = width - framesLeft - 10;
    Place(kFrame2, framesLeft, kPicturesTop, framesWidth, kPicturesHeight);
    for (const TScreenResource &resource : ScreenResources()) {
        const auto row = static_cast<std::size_t>(resource.Index);
        const int y = kPicturesTop + kRowTop + resource.Index * kRowHeight;
        const int right = framesLeft + framesWidth - 10;
        Place(Id(kCheck1, row), framesLeft + 10, y + 2, 86, 20);
        // Rows without an edit button have a wider path box.
        const int pathRight = right - 36 - (TMainWindowModel::HasEditButton(row) ? 36 : 0);
        Place(Id(kTxtPath, row), framesLeft + 100, y, pathRight - 4 - (framesLeft + 100), 24);
        Place(Id(kBtnBrw, row), pathRight, y, 32, 24);
        if (TMainWindowModel::HasEditButton(row))
            Place(Id(kCmdEdit, row), pathRight + 36, y, 32, 24);
    }

    const int debugTop = kPicturesTop + kPicturesHeight + 6;
    const int debugHeight = static_cast<int>(client.cy) - debugTop - statusHeight - 6;
    Place(kFrame1, 10, debugTop, width - 20, debugHeight);
    Place(kLstDebug, 20, debugTop + 20, width - 20 - 110, debugHeight - 30);
    Place(kCommand1, width - 90, debugTop + debugHeight - 38, 70, 28);
}

HWND Form1::DialogWindowOf(HWND target) const {
    for (const TWinWindow *window :
         std::initializer_list<const TWinWindow *>{this, progress_.get(), palette_.get(), size_.get()}) {
        if (window != nullptr && window->Exists() &&
            (target == window->Handle() || ::IsChild(window->Handle(), target)))
            return window->Handle();
    }
    return nullptr;
}

void Form1::Command(int id, int code) {
    if (id >= kCheck1 && id < Id(kCheck1, ResourceCount) && code == BN_CLICKED)
        presenter_.RowChecked(static_cast<std::size_t>(id - kCheck1),
                              ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED);
    else if (id >= kTxtPath && id < Id(kTxtPath, ResourceCount) && code == EN_CHANGE)
        presenter_.PathEdited(static_cast<std::size_t>(id - kTxtPath), Utf16(WindowText(Item(id))));
    else if (id >= kBtnBrw && id < Id(kBtnBrw, ResourceCount) && code == BN_CLICKED)
        presenter_.Browse(static_cast<std::size_t>(id - kBtnBrw));
    else if (id >= kCmdEdit && id < Id(kCmdEdit, ResourceCount) && code == BN_CLICKED)
        presenter_.Edit(static_cast<std::size_t>(id - kCmdEdit));
    else if (id == kCommand2 && code == BN_CLICKED)
        presenter_.Upload();
    else if (id == kCommand1 && code == BN_CLICKED)
        presenter_.SaveSettings();
    else if (id == kCommand3 && code == BN_CLICKED)
        presenter_.LoadTheme();
}

LRESULT Form1::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_GETMINMAXINFO: {
        auto *limits = reinterpret_cast<MINMAXINFO *>(lParam);
        limits->ptMinTrackSize = {Scale(kMinWidth), Scale(kMinHeight)};
        return 0;
    }
    case WM_CLOSE:
        // The program ends with its main window.
        presenter_.Close();
        Destroy();
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return TWinWindow::Message(message, wParam, lParam);
    }
}

void Form1::EnableRow(std::size_t row, bool enabled) {
    ::EnableWindow(Item(Id(kBtnBrw, row)), enabled);
    ::EnableWindow(Item(Id(kTxtPath, row)), enabled);
    if (TMainWindowModel::HasEditButton(row))
        ::EnableWindow(Item(Id(kCmdEdit, row)), enabled);
}

void Form1::ShowPath(std::size_t row, const std::u16string &path) {
    if (Exists())
        ::SetWindowTextW(Item(Id(kTxtPath, row)), Wide(path).c_str());
}

void Form1::EnableOperations(bool enabled) {
    if (!Exists())
        return;
    ::EnableWindow(Item(kCommand1), enabled);
    ::EnableWindow(Item(kCommand2), enabled);
}

std::u16string Form1::PortText() const {
    return Utf16(WindowText(Item(kCombo1)));
}

void Form1::ClearDebug() {
    if (Exists())
        ::SendMessageW(Item(kLstDebug), LB_RESETCONTENT, 0, 0);
}

void Form1::AddDebugLine(const std::u16string &line) {
    if (!Exists())
        return;
    const HWND list = Item(kLstDebug);
    const std::wstring text = Wide(line);
    const auto index = ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0)
        ::SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

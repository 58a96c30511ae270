#include "frmSize.h"

#include "ControlIds.h"
#include "ScreenupTexts.h"
#include "WinPrompts.h"
#include "WinText.h"

bool frmSize::Open(HWND owner) {
    return Create(std::string(SizeCaption), WS_CAPTION | WS_SYSMENU, owner, 300, 132);
}

void frmSize::Build() {
    // The box first: on top of the frame's edge, and first in the Tab order.
    AddControl(L"BUTTON", std::string(ModifyCaption), WS_TABSTOP | BS_AUTOCHECKBOX, kSizeCheck1);
    AddControl(L"BUTTON", "", BS_GROUPBOX, kSizeFrame1);
    for (int i = 0; i < 4; ++i) {
        const auto field = static_cast<std::size_t>(i);
        AddControl(L"STATIC", std::string(TSizeEditorModel::Label(field)), SS_LEFT, kLabel1 + i);
        const HWND edit = AddControl(L"EDIT", presenter_.Model().StartTexts()[field], WS_TABSTOP | ES_AUTOHSCROLL,
                                     kTxtSize + i, WS_EX_CLIENTEDGE);
        ::SendMessageW(edit, EM_SETLIMITTEXT, 12, 0);
    }
    AddControl(L"BUTTON", std::string(SizeOkCaption), WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK);
    AddControl(L"BUTTON", std::string(SizeCancelCaption), WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL);
    ::SendMessageW(Item(kSizeCheck1), BM_SETCHECK, presenter_.Model().Modify() ? BST_CHECKED : BST_UNCHECKED, 0);
    presenter_.ShowFields();
}

void frmSize::Layout() {
    // Orig X and Orig Y on the first line, Width and Height on the second.
    Place(kSizeFrame1, 12, 18, 276, 72);
    Place(kSizeCheck1, 22, 9, 70, 18);
    for (int i = 0; i < 4; ++i) {
        const int x = 24 + (i % 2) * 134;
        const int y = 34 + (i / 2) * 26;
        Place(kLabel1 + i, x, y + 3, 52, 18);
        Place(kTxtSize + i, x + 54, y, 66, 22);
    }
    Place(IDOK, 12, 98, 134, 26);
    Place(IDCANCEL, 154, 98, 134, 26);
}

void frmSize::EnableFields(bool enabled) {
    ::EnableWindow(Item(kSizeFrame1), enabled);
    for (int i = 0; i < 4; ++i) {
        ::EnableWindow(Item(kLabel1 + i), enabled);
        ::EnableWindow(Item(kTxtSize + i), enabled);
    }
}

std::u16string frmSize::FieldText(std::size_t field) const {
    return Utf16(WindowText(Item(kTxtSize + static_cast<int>(field))));
}

void frmSize::Warn(const std::string &utf8) {
    ShowMessage(Handle(), TNotice::Warning, Wide(utf8));
}

void frmSize::FocusField(std::size_t field) {
    if (Exists())
        ::SetFocus(Item(kTxtSize + static_cast<int>(field)));
}

LRESULT frmSize::Message(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            presenter_.Ok();
            break;
        case IDCANCEL:
            presenter_.Cancel();
            break;
        case kSizeCheck1:
            presenter_.ModifyClicked(::SendMessageW(Item(kSizeCheck1), BM_GETCHECK, 0, 0) == BST_CHECKED);
            break;
        default:
            break;
        }
        return 0;
    case WM_CLOSE:
        presenter_.Cancel();
        return 0;
    default:
        return TWinWindow::Message(message, wParam, lParam);
    }
}

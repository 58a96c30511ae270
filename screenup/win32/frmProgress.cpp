#include "frmProgress.h"

#include "ControlIds.h"
#include "ScreenupTexts.h"
#include "screenupload.h"

#include <commctrl.h>

bool frmProgress::Open(HWND owner) {
    return Create(std::string(ProgressCaption), WS_CAPTION | WS_SYSMENU, owner, 340, 76);
}

void frmProgress::Build() {
    const HWND steps = AddControl(PROGRESS_CLASSW, "", 0, kProgressBar1);
    ::SendMessageW(steps, PBM_SETRANGE32, 0, ProgressLast);
    const HWND percent = AddControl(PROGRESS_CLASSW, "", 0, kProgressBar2);
    ::SendMessageW(percent, PBM_SETRANGE32, 0, 100);
}

void frmProgress::Layout() {
    const SIZE client = ClientSize();
    Place(kProgressBar1, 12, 12, client.cx - 24, 22);
    Place(kProgressBar2, 12, 42, client.cx - 24, 22);
}

void frmProgress::SetStep(int step) {
    ::SendMessageW(Item(kProgressBar1), PBM_SETPOS, static_cast<WPARAM>(step), 0);
}

void frmProgress::SetPercent(int percent) {
    ::SendMessageW(Item(kProgressBar2), PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

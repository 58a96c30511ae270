// frmProgress: the progress window of an upload. The upper bar counts the
// upload's steps (0..8), the lower one the percentage of the write in progress.
#pragma once

#include "WinWindow.h"

class frmProgress final : public TWinWindow {
public:
    // Creates the window hidden, owned by owner.
    bool Open(HWND owner);
    void SetStep(int step);
    void SetPercent(int percent);

private:
    void Build() override;
    void Layout() override;
};

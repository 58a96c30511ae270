// frmSize: the picture size editor. It edits the four values Orig X, Orig Y,
// Width and Height that the upload puts into the settings item, and sets the
// flag that makes the upload send them. The "Modify" box sits on the frame's
// top edge and enables the fields. Enter presses "oK", Esc "Cancel".
#pragma once

#include <windows.h>

#include "SizeEditorModel.h"
#include "WinWindow.h"

class frmSize final : public TWinWindow {
public:
    // Creates the window hidden, owned by owner, its fields from the module state.
    bool Open(HWND owner);

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;
    void ShowFieldsEnabled() const;
    void Accept();

    TSizeEditorModel model_{mdlLoader::State()};
};

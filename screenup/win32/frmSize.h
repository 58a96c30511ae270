// frmSize: the picture size editor. It edits the four values Orig X, Orig Y,
// Width and Height that the upload puts into the settings item, and sets the
// flag that makes the upload send them. The "Modify" box sits on the frame's
// top edge and enables the fields. Enter presses "oK", Esc "Cancel".
#pragma once

#include <windows.h>

#include "SizeEditorPresenter.h"
#include "WinWindow.h"

class frmSize final : public TWinWindow, public TSizeEditorView {
public:
    // Creates the window hidden, owned by owner, its fields from the module state.
    bool Open(HWND owner);

    // TSizeEditorView
    void EnableFields(bool enabled) override;
    std::u16string FieldText(std::size_t field) const override;
    void Warn(const std::string &utf8) override;
    void FocusField(std::size_t field) override;
    void Close() override { Destroy(); }

private:
    void Build() override;
    void Layout() override;
    LRESULT Message(UINT message, WPARAM wParam, LPARAM lParam) override;

    TSizeEditorPresenter presenter_{*this, mdlLoader::State()};
};

// TSizeEditorPresenter: what the picture size editor does, without a window
// toolkit. The front end's frmSize draws the "Modify" box, the four fields and
// the two buttons, implements TSizeEditorView and hands every click here; the
// model decides which values "oK" accepts.
//
// Thread rule: everything runs on the window thread.
#pragma once

#include "SizeEditorModel.h"

#include <cstddef>
#include <string>

// What the presenter needs of the window that draws the editor.
class TSizeEditorView {
public:
    virtual ~TSizeEditorView() = default;
    // The frame and its four fields with their labels.
    virtual void EnableFields(bool enabled) = 0;
    virtual std::u16string FieldText(std::size_t field) const = 0;
    // A refusal of the user's input, with the warning icon.
    virtual void Warn(const std::string &utf8) = 0;
    // Gives the keyboard to a field, while the editor exists.
    virtual void FocusField(std::size_t field) = 0;
    virtual void Close() = 0;
};

class TSizeEditorPresenter {
public:
    // The fields and the "Modify" box start from state.
    TSizeEditorPresenter(TSizeEditorView &view, TLoaderState &state) : view_(view), model_(state) {}

    const TSizeEditorModel &Model() const { return model_; }

    // The fields enabled as the "Modify" box says, as the editor opens; the box clicked.
    void ShowFields() { view_.EnableFields(model_.FieldsEnabled()); }
    void ModifyClicked(bool checked);
    // "oK" and Enter: stores the values and closes, or names the first field
    // refused, gives it the keyboard when the fields are enabled, and stays.
    void Ok();
    // "Cancel" and Esc.
    void Cancel() { view_.Close(); }

private:
    TSizeEditorView &view_;
    TSizeEditorModel model_;
};

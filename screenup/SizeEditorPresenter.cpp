#include "SizeEditorPresenter.h"

#include "Utf8.h"

void TSizeEditorPresenter::ModifyClicked(bool checked) {
    model_.SetModify(checked);
    ShowFields();
}

void TSizeEditorPresenter::Ok() {
    TSizeEditorModel::TTexts texts;
    for (std::size_t field = 0; field < texts.size(); ++field)
        texts[field] = Utf8(view_.FieldText(field));
    if (const std::optional<TSizeEditorModel::TRefusal> refusal = model_.Accept(texts)) {
        view_.Warn(refusal->Message);
        if (refusal->Focus)
            view_.FocusField(*refusal->Focus);
        return;
    }
    view_.Close();
}

#include "PaletteEditorPresenter.h"

bool TPaletteEditorPresenter::Open(const std::filesystem::path &file) {
    if (const std::optional<std::string> refusal = model_.Load(file)) {
        view_.Warn(*refusal);
        return false;
    }
    ShowAll();
    view_.Present();
    return true;
}

void TPaletteEditorPresenter::Select(int entry) {
    model_.Select(entry);
    ShowAll();
}

void TPaletteEditorPresenter::PickColor(int entry) {
    const TPaletteCell &cell = model_.Cell(entry);
    const std::optional<TRgb> chosen = view_.ChooseColor({cell.Red, cell.Green, cell.Blue});
    if (!chosen)
        return;
    model_.SetColor(entry, chosen->Red, chosen->Green, chosen->Blue);
    ShowAll();
}

void TPaletteEditorPresenter::Ok() {
    if (const std::optional<std::string> refusal = model_.Save()) {
        view_.Warn(*refusal);
        return;
    }
    view_.Close();
}

void TPaletteEditorPresenter::ShowAll() {
    for (int entry = 0; entry < static_cast<int>(PaletteEntryCount); ++entry)
        view_.ShowCell(entry, model_.Cell(entry));
    view_.ShowAlpha(model_.SliderValue());
}

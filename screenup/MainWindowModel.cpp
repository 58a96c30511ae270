#include "MainWindowModel.h"

#include "Utf8.h"
#include "Windows1252.h"

void TMainWindowModel::SetChecked(std::size_t row, bool checked) {
    rows_.at(row).Checked = checked;
}

void TMainWindowModel::SetPath(std::size_t row, std::u16string path) {
    rows_.at(row).Path = std::move(path);
}

bool TMainWindowModel::HasEditButton(std::size_t row) {
    return ScreenResource(row).Editor != TEditorKind::None;
}

std::array<TResourceChoice, ResourceCount> TMainWindowModel::Rows() const {
    std::array<TResourceChoice, ResourceCount> rows;
    for (std::size_t i = 0; i < ResourceCount; ++i)
        rows[i] = {rows_[i].Checked, FilePath(rows_[i].Path)};
    return rows;
}

const TDialogInfo &TMainWindowModel::BrowseDialog(std::size_t row) {
    return DialogInfo(ScreenResource(row).Dialog);
}

bool TMainWindowModel::Chosen(std::size_t row, const std::u16string &chosen) {
    if (chosen.empty() || chosen == Path(row))
        return false;
    SetPath(row, chosen);
    return true;
}

TEditClick TMainWindowModel::Edit(std::size_t row) const {
    TEditClick click;
    switch (ScreenResource(row).Editor) {
    case TEditorKind::None:
        break;
    case TEditorKind::Size:
        click.Opens = TEditorKind::Size;
        break;
    case TEditorKind::Palette:
        if (Path(row).empty()) {
            click.Note = MsgSelectLutFirst;
            break;
        }
        click.Opens = TEditorKind::Palette;
        click.File = FilePath(Path(row));
        break;
    }
    return click;
}

std::string TMainWindowModel::PortName(std::u16string_view text) {
#ifdef _WIN32
    return ToWindows1252(text);
#else
    return Utf8(text);
#endif
}

std::filesystem::path TMainWindowModel::FilePath(std::u16string_view text) {
#ifdef _WIN32
    return std::filesystem::path(std::wstring(text.begin(), text.end()));
#else
    return std::filesystem::path(Utf8(text));
#endif
}

std::filesystem::path TMainWindowModel::SettingsFile(const std::filesystem::path &programFolder) {
    return programFolder / std::string(SettingsDumpFileName);
}

#include "MainWindowPresenter.h"

#include "LibraryScope.h"
#include "Utf8.h"

TMainWindowPresenter::TMainWindowPresenter(TMainWindowView &view, std::filesystem::path programFolder)
    : view_(view), programFolder_(std::move(programFolder)) {
    mdlLoader::SetHost(this);
    InstallLibraryHandlers();
}

TMainWindowPresenter::~TMainWindowPresenter() {
    if (mdlLoader::Host() == this)
        mdlLoader::SetHost(nullptr);
}

void TMainWindowPresenter::RowChecked(std::size_t row, bool checked) {
    model_.SetChecked(row, checked);
    view_.EnableRow(row, model_.RowEnabled(row));
}

void TMainWindowPresenter::PathEdited(std::size_t row, std::u16string path) {
    model_.SetPath(row, std::move(path));
}

void TMainWindowPresenter::Browse(std::size_t row) {
    const std::optional<std::u16string> chosen =
        view_.ChooseFile(TMainWindowModel::BrowseDialog(row), model_.Path(row));
    if (chosen && model_.Chosen(row, *chosen))
        view_.ShowPath(row, *chosen);
}

void TMainWindowPresenter::Edit(std::size_t row) {
    const TEditClick click = model_.Edit(row);
    if (!click.Note.empty())
        view_.Tell(TNotice::Note, click.Note);
    if (click.Opens == TEditorKind::Size) {
        if (!view_.HasWindow(TWindowKind::Size)) {
            if (!view_.MakeWindow(TWindowKind::Size))
                return;
            Place(TWindowKind::Size);
        }
        view_.Show(TWindowKind::Size);
    } else if (click.Opens == TEditorKind::Palette) {
        // One editor serves both palette rows; one made for a file it refuses
        // goes again.
        const bool created = !view_.HasWindow(TWindowKind::Palette);
        if (created) {
            if (!view_.MakeWindow(TWindowKind::Palette))
                return;
            Place(TWindowKind::Palette);
        }
        if (!view_.ShowPalette(click.File) && created)
            view_.Close(TWindowKind::Palette);
    }
}

void TMainWindowPresenter::LoadTheme() {
    view_.Tell(TNotice::Note, std::string(TMainWindowModel::LoadThemeNote()));
}

void TMainWindowPresenter::Upload() {
    RunUploadOperation(*this);
}

void TMainWindowPresenter::SaveSettings() {
    RunSaveOperation(*this);
}

void TMainWindowPresenter::Close() {
    model_.Close();
    for (const TWindowKind window : WindowKinds)
        if (view_.HasWindow(window))
            view_.Close(window);
}

void TMainWindowPresenter::ClearDebug() {
    view_.ClearDebug();
}

void TMainWindowPresenter::AddDebugLine(const std::u16string &line) {
    view_.AddDebugLine(line);
}

void TMainWindowPresenter::SetWritePercent(int percent) {
    // The progress window is created, not shown, as a bar it holds is set; a
    // percentage outside 0..100 leaves the bar as it is.
    if (!model_.ShowsWriteProgress() || !Ensure(TWindowKind::Progress))
        return;
    if (percent >= 0 && percent <= 100)
        view_.SetProgressPercent(percent);
}

void TMainWindowPresenter::ShowLibraryError(const std::u16string &text) {
    view_.Tell(TNotice::Error, Utf8(text));
}

std::array<TResourceChoice, ResourceCount> TMainWindowPresenter::Rows() const {
    return model_.Rows();
}

std::string TMainWindowPresenter::PortName() const {
    return TMainWindowModel::PortName(view_.PortText());
}

std::filesystem::path TMainWindowPresenter::SettingsFile() const {
    return TMainWindowModel::SettingsFile(programFolder_);
}

void TMainWindowPresenter::SetBusy(bool busy) {
    model_.SetBusy(busy);
    view_.EnableOperations(model_.OperationsEnabled());
}

void TMainWindowPresenter::Tell(TNotice kind, const std::string &utf8) {
    view_.Tell(kind, utf8);
}

void TMainWindowPresenter::OpenProgress() {
    if (!Ensure(TWindowKind::Progress))
        return;
    view_.SetProgressStep(0);
    Place(TWindowKind::Progress);
    view_.Show(TWindowKind::Progress);
}

void TMainWindowPresenter::SetProgressStep(int step) {
    if (view_.HasWindow(TWindowKind::Progress))
        view_.SetProgressStep(step);
}

void TMainWindowPresenter::CloseProgress() {
    if (view_.HasWindow(TWindowKind::Progress))
        view_.Close(TWindowKind::Progress);
}

bool TMainWindowPresenter::Ensure(TWindowKind window) {
    return view_.HasWindow(window) || view_.MakeWindow(window);
}

void TMainWindowPresenter::Place(TWindowKind window) {
    std::vector<TPlaceRect> avoid;
    for (const TWindowKind other : WindowKinds)
        if (other != window)
            if (const std::optional<TPlaceRect> frame = view_.ShownFrame(other))
                avoid.push_back(*frame);
    view_.PlaceBeside(window, avoid);
}

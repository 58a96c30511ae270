// The main window's operations: choosing files, opening the editors, the
// upload and the settings dump.
#include "Form1.h"

#include "QtText.h"
#include "UserPrompts.h"
#include "frmPalette.h"
#include "frmProgress.h"
#include "frmSize.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

// "Mpeg2 files (*.fnu;*.m2v)" with "*.fnu;*.m2v" becomes "Mpeg2 files (*.fnu *.m2v)".
QString QtFilter(const TDialogInfo &info) {
    QString description = QtText(info.Description);
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open > 0 && description.endsWith(QLatin1Char(')')))
        description = description.left(open).trimmed();
    QString patterns = QtText(info.Patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

} // namespace

std::array<TResourceChoice, ResourceCount> Form1::Rows() const {
    return model_.Rows();
}

TScreenSelection Form1::Selection() const {
    return UploaderSelection(Rows());
}

std::string Form1::PortName() const {
    return TMainWindowModel::PortName(Combo1->currentText().toStdU16String());
}

std::filesystem::path Form1::SettingsFile() const {
    return TMainWindowModel::SettingsFile(TMainWindowModel::FilePath(options_.ProgramFolder.toStdU16String()));
}

void Form1::SetBusy(bool busy) {
    model_.SetBusy(busy);
    Command1->setEnabled(model_.OperationsEnabled());
    Command2->setEnabled(model_.OperationsEnabled());
}

void Form1::Tell(TNotice kind, const std::string &utf8) {
    switch (kind) {
    case TNotice::Note:
        ShowNote(this, QtText(utf8));
        break;
    case TNotice::Warning:
        ShowWarning(this, QtText(utf8));
        break;
    case TNotice::Error:
        ShowError(this, QtText(utf8));
        break;
    }
}

void Form1::Browse(std::size_t row) {
    const TDialogInfo &info = TMainWindowModel::BrowseDialog(row);
    const std::optional<QString> chosen =
        Prompts().ChooseFile(this, {QtText(info.Title), QtFilter(info), txtPath[row]->text()});
    if (chosen && model_.Chosen(row, chosen->toStdU16String()))
        txtPath[row]->setText(*chosen);
}

void Form1::Edit(std::size_t row) {
    const TEditClick click = model_.Edit(row);
    if (!click.Note.empty())
        ShowNote(this, QtText(click.Note));
    if (click.Opens == TEditorKind::Size) {
        if (size_ == nullptr) {
            size_ = new frmSize(this);
            PlaceBeside(size_);
        }
        size_->show();
        size_->raise();
        size_->activateWindow();
    } else if (click.Opens == TEditorKind::Palette) {
        const bool created = palette_ == nullptr;
        if (created) {
            palette_ = new frmPalette(this);
            PlaceBeside(palette_);
        }
        if (!palette_->ShowForm(click.File) && created)
            delete palette_;
    }
}

void Form1::Upload() {
    RunUploadOperation(*this);
}

void Form1::SaveSettings() {
    RunSaveOperation(*this);
}

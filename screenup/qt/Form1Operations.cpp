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
#include <QFile>
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

std::filesystem::path FilePath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

std::array<TResourceChoice, ResourceCount> Form1::Rows() const {
    std::array<TResourceChoice, ResourceCount> rows;
    for (std::size_t i = 0; i < ResourceCount; ++i) {
        rows[i].Checked = Check1[i]->isChecked();
        rows[i].Path = FilePath(txtPath[i]->text());
    }
    return rows;
}

TScreenSelection Form1::Selection() const {
    return UploaderSelection(Rows());
}

std::string Form1::PortName() const {
    // A port name is a device name or path, in the file system's encoding.
    return QFile::encodeName(Combo1->currentText()).toStdString();
}

std::filesystem::path Form1::SettingsFile() const {
    return FilePath(options_.ProgramFolder) / std::string(SettingsDumpFileName);
}

void Form1::SetBusy(bool busy) {
    busy_ = busy;
    Command1->setEnabled(!busy);
    Command2->setEnabled(!busy);
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
    const TDialogInfo &info = DialogInfo(ScreenResource(row).Dialog);
    const std::optional<QString> chosen =
        Prompts().ChooseFile(this, {QtText(info.Title), QtFilter(info), txtPath[row]->text()});
    if (chosen && !chosen->isEmpty())
        txtPath[row]->setText(*chosen);
}

void Form1::Edit(std::size_t row) {
    const TEditorKind editor = ScreenResource(row).Editor;
    if (editor == TEditorKind::Size) {
        if (size_ == nullptr) {
            size_ = new frmSize(this);
            PlaceBeside(size_);
        }
        size_->show();
        size_->raise();
        size_->activateWindow();
        return;
    }
    if (editor != TEditorKind::Palette)
        return;
    const QString path = txtPath[row]->text();
    if (path.isEmpty()) {
        ShowNote(this, QtText(MsgSelectLutFirst));
        return;
    }
    const bool created = palette_ == nullptr;
    if (created) {
        palette_ = new frmPalette(this);
        PlaceBeside(palette_);
    }
    if (!palette_->ShowForm(path) && created)
        delete palette_;
}

void Form1::Upload() {
    RunUploadOperation(*this);
}

void Form1::SaveSettings() {
    RunSaveOperation(*this);
}

// The main window's operations: choosing files, opening the editors, the
// upload and the settings dump.
#include "Form1.h"

#include "LibraryScope.h"
#include "LibraryUpload.h"
#include "ResourceRows.h"
#include "UserPrompts.h"
#include "frmPalette.h"
#include "frmProgress.h"
#include "frmSize.h"
#include "screenerror.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
QString Text(const std::string &text) {
    return QString::fromStdString(text);
}

// "Mpeg2 files (*.fnu;*.m2v)" with "*.fnu;*.m2v" becomes "Mpeg2 files (*.fnu *.m2v)".
QString QtFilter(const TDialogInfo &info) {
    QString description = Text(info.Description);
    const qsizetype open = description.lastIndexOf(QLatin1Char('('));
    if (open > 0 && description.endsWith(QLatin1Char(')')))
        description = description.left(open).trimmed();
    QString patterns = Text(info.Patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
}

std::filesystem::path FilePath(const QString &path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

// While an operation runs, "Upload" and "save" are disabled, so a second
// library scope can never be opened inside the first.
class Form1::TBusy {
public:
    explicit TBusy(Form1 &form) : form_(form) { Set(true); }
    ~TBusy() { Set(false); }
    TBusy(const TBusy &) = delete;
    TBusy &operator=(const TBusy &) = delete;

private:
    void Set(bool busy) {
        form_.busy_ = busy;
        form_.Command1->setEnabled(!busy);
        form_.Command2->setEnabled(!busy);
    }
    Form1 &form_;
};

TScreenSelection Form1::Selection() const {
    TScreenSelection selection;
    for (std::size_t i = 0; i < ResourceCount; ++i) {
        selection.Rows[i].Checked = Check1[i]->isChecked();
        selection.Rows[i].Path = FilePath(txtPath[i]->text());
    }
    const TLoaderState &state = mdlLoader::State();
    selection.Size.Modified = state.SizeModified;
    for (std::size_t i = 0; i < state.SizeValues.size(); ++i)
        selection.Size.Values[i] = state.SizeValues[i];
    return selection;
}

void Form1::Browse(std::size_t row) {
    const TDialogInfo &info = DialogInfo(ScreenResource(row).Dialog);
    const std::optional<QString> chosen =
        Prompts().ChooseFile(this, {Text(info.Title), QtFilter(info), txtPath[row]->text()});
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
        ShowNote(this, Text(MsgSelectLutFirst));
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
    if (busy_ || TLibraryScope::Open())
        return;
    const TScreenSelection selection = Selection();
    if (const auto refusal = ResourceRowRefusal(selection)) {
        ShowWarning(this, Text(*refusal));
        return;
    }
    TUploadPlan plan;
    try {
        plan = MakeUploadPlan(selection);
    } catch (const ESizeExceeded &) {
        ShowError(this, Text(MsgSizeExceeded));
        return;
    } catch (const EScreenSet &error) {
        ShowWarning(this, Text(std::string(error.what())));
        return;
    }

    const TBusy busy(*this);
    TLibraryScope scope(Combo1->currentText());
    if (scope.Connected() && !closing_) {
        OpenProgressWindow();
        TLibraryUploadTarget target(
            [this](int step) {
                if (progress_ != nullptr)
                    progress_->ProgressBar1->setValue(step);
            },
            [this] { return closing_; });
        RunUpload(plan, target);
    }
    if (progress_ != nullptr)
        progress_->close();
}

void Form1::SaveSettings() {
    if (busy_ || TLibraryScope::Open())
        return;
    const TBusy busy(*this);
    TLibraryScope scope(Combo1->currentText());
    if (!scope.Connected() || closing_)
        return;
    try {
        const TDumpResult result = DumpSettings(SettingsFile(), [this] { return closing_; });
        if (!result.Message().empty() && !closing_)
            ShowNote(this, Text(result.Message()));
    } catch (const EScreenSet &error) {
        ShowWarning(this, Text(std::string(error.what())));
    }
}

#include "UserPrompts.h"

#include "QtText.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>

namespace {

class TDialogPrompts final : public TUserPrompts {
public:
    void Message(QWidget *parent, const TMessage &message) override {
        QMessageBox box(message.Icon, message.Caption, message.Text, QMessageBox::Ok, parent);
        box.exec();
    }

    std::optional<QString> ChooseFile(QWidget *parent, const TFileChoice &choice) override {
        QFileDialog dialog(parent, choice.Title);
        dialog.setObjectName(QStringLiteral("CommonDialog1"));
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setNameFilter(choice.Filter);
        if (!choice.StartPath.isEmpty()) {
            const QFileInfo start(choice.StartPath);
            dialog.setDirectory(start.absolutePath());
            if (start.isFile())
                dialog.selectFile(start.fileName());
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().constFirst();
    }

    std::optional<QColor> ChooseColor(QWidget *parent, const QColor &start) override {
        QColorDialog dialog(start, parent);
        dialog.setObjectName(QStringLiteral("CMD1"));
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.selectedColor();
    }
};

TUserPrompts *g_prompts = nullptr;

} // namespace

TUserPrompts &Prompts() {
    static TDialogPrompts dialogs;
    return g_prompts != nullptr ? *g_prompts : dialogs;
}

void SetPrompts(TUserPrompts *prompts) {
    g_prompts = prompts;
}

void ShowNotice(QWidget *parent, TNotice kind, const QString &text) {
    const QMessageBox::Icon icon = kind == TNotice::Warning ? QMessageBox::Warning
                                   : kind == TNotice::Error ? QMessageBox::Critical
                                                            : QMessageBox::NoIcon;
    Prompts().Message(parent, {QtText(NoticeCaption(kind)), text, icon});
}

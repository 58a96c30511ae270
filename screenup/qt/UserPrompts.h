// Every modal question the uploader asks goes through TUserPrompts: message
// boxes, the file-open dialog and the colour dialog. The program uses the Qt
// dialogs; tests install their own prompts so nothing ever waits for a user.
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>

#include <optional>

class QWidget;

struct TMessage {
    QString Caption;
    QString Text;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
};

struct TFileChoice {
    QString Title;
    QString Filter;    // a Qt name filter, "Palette files (*.lut)"
    QString StartPath; // the path the dialog starts from; may be empty
};

class TUserPrompts {
public:
    virtual ~TUserPrompts() = default;
    // A message with one OK button; returns when the user has closed it.
    virtual void Message(QWidget *parent, const TMessage &message) = 0;
    // The full path of the chosen file; nothing when the user cancelled.
    virtual std::optional<QString> ChooseFile(QWidget *parent, const TFileChoice &choice) = 0;
    // The chosen colour; nothing when the user cancelled.
    virtual std::optional<QColor> ChooseColor(QWidget *parent, const QColor &start) = 0;
};

// The prompts in use: the Qt dialogs unless a replacement is installed.
TUserPrompts &Prompts();
// Installs replacement prompts (not owned); null goes back to the Qt dialogs.
void SetPrompts(TUserPrompts *prompts);

// The caption of the uploader's own messages.
// A message with one OK button and no icon, as the uploader's notes are shown.
void ShowNote(QWidget *parent, const QString &text);
// A refusal of the user's input, with the warning icon.
void ShowWarning(QWidget *parent, const QString &text);
// An error: the critical icon and the caption "Error".
void ShowError(QWidget *parent, const QString &text);

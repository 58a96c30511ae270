// Every modal question the uploader asks goes through TUserPrompts: message
// boxes, the file-open dialog and the colour dialog. The program uses the Qt
// dialogs; tests install their own prompts so nothing ever waits for a user.
#pragma once

#include "UploaderOperations.h"

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

// A message of the uploader with one OK button: its caption and icon by kind.
void ShowNotice(QWidget *parent, TNotice kind, const QString &text);

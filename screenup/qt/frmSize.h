// frmSize: the picture size editor. It edits the four values Orig X, Orig Y,
// Width and Height that the upload puts into the settings item, and sets the
// flag that makes the upload send them. Enter in a field presses "oK", Esc
// presses "Cancel".
#pragma once

#include "SizeEditorPresenter.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmSize : public QWidget, public TSizeEditorView {
public:
    explicit frmSize(QWidget *owner);

    QCheckBox *Check1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    std::array<QLabel *, 4> Label1{};
    std::array<QLineEdit *, 4> txtSize{};
    QPushButton *cmd1 = nullptr;
    QPushButton *Command2 = nullptr;

    // TSizeEditorView
    void EnableFields(bool enabled) override;
    std::u16string FieldText(std::size_t field) const override;
    void Warn(const std::string &utf8) override;
    void FocusField(std::size_t field) override;
    void Close() override { close(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void PlaceModifyBox();

    TSizeEditorPresenter presenter_{*this, mdlLoader::State()};
};

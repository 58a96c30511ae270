// frmSize: the picture size editor. It edits the four values Orig X, Orig Y,
// Width and Height that the upload puts into the settings item, and sets the
// flag that makes the upload send them. Enter in a field presses "oK", Esc
// presses "Cancel".
#pragma once

#include "SizeEditorModel.h"

#include <QWidget>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

class frmSize : public QWidget {
public:
    explicit frmSize(QWidget *owner);

    QCheckBox *Check1 = nullptr;
    QGroupBox *Frame1 = nullptr;
    std::array<QLabel *, 4> Label1{};
    std::array<QLineEdit *, 4> txtSize{};
    QPushButton *cmd1 = nullptr;
    QPushButton *Command2 = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Accept();
    void PlaceModifyBox();

    TSizeEditorModel model_{mdlLoader::State()};
};

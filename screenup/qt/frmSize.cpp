#include "frmSize.h"

#include "QtText.h"
#include "ScreenupTexts.h"
#include "UserPrompts.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmSize::frmSize(QWidget *owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmSize"));
    setWindowTitle(QtText(SizeCaption));
    setAttribute(Qt::WA_DeleteOnClose);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    auto *fields = new QGridLayout(Frame1);
    // Room above the first line for the "Modify" box on the frame's edge.
    fields->setContentsMargins(12, 20, 12, 12);
    for (int i = 0; i < 4; ++i) {
        auto *label = new QLabel(QtText(TSizeEditorModel::Label(static_cast<std::size_t>(i))), Frame1);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        auto *field = new QLineEdit(QtText(presenter_.Model().StartTexts()[static_cast<std::size_t>(i)]), Frame1);
        field->setObjectName(QStringLiteral("txtSize_%1").arg(i));
        field->setMaxLength(12);
        label->setBuddy(field);
        // Enter in a field accepts the values as "oK" does.
        connect(field, &QLineEdit::returnPressed, this, [this] { cmd1->click(); });
        // Orig X and Orig Y on the first line, Width and Height on the second.
        fields->addWidget(label, i / 2, 2 * (i % 2));
        fields->addWidget(field, i / 2, 2 * (i % 2) + 1);
        Label1[static_cast<std::size_t>(i)] = label;
        txtSize[static_cast<std::size_t>(i)] = field;
    }

    // The box belongs to the window, not to the frame: disabling the frame
    // leaves it usable.
    Check1 = new QCheckBox(QtText(ModifyCaption), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setAutoFillBackground(true);
    connect(Check1, &QCheckBox::toggled, this, [this](bool checked) { presenter_.ModifyClicked(checked); });

    cmd1 = new QPushButton(QtText(SizeOkCaption), this);
    cmd1->setObjectName(QStringLiteral("cmd1"));
    cmd1->setDefault(true);
    Command2 = new QPushButton(QtText(SizeCancelCaption), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    connect(cmd1, &QPushButton::clicked, this, [this] { presenter_.Ok(); });
    connect(Command2, &QPushButton::clicked, this, [this] { presenter_.Cancel(); });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmd1);
    buttons->addWidget(Command2);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 18, 12, 12);
    layout->addWidget(Frame1);
    layout->addLayout(buttons);

    Check1->setChecked(presenter_.Model().Modify());
    presenter_.ShowFields();
}

void frmSize::EnableFields(bool enabled) {
    Frame1->setEnabled(enabled);
}

std::u16string frmSize::FieldText(std::size_t field) const {
    return txtSize[field]->text().toStdU16String();
}

void frmSize::Warn(const std::string &utf8) {
    ShowNotice(this, TNotice::Warning, QtText(utf8));
}

void frmSize::FocusField(std::size_t field) {
    txtSize[field]->setFocus();
}

void frmSize::keyPressEvent(QKeyEvent *event) {
    // Esc leaves the editor as "Cancel" does.
    if (event->key() == Qt::Key_Escape) {
        Command2->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmSize::PlaceModifyBox() {
    Check1->adjustSize();
    const QRect frame = Frame1->geometry();
    Check1->move(frame.left() + 10, frame.top() - Check1->height() / 2);
    Check1->raise();
}

void frmSize::resizeEvent(QResizeEvent *event) {
    QWidget::resizeEvent(event);
    PlaceModifyBox();
}

void frmSize::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    PlaceModifyBox();
}

#include "frmPalette.h"

#include "ColorCell.h"
#include "MainWindowModel.h"
#include "QtText.h"
#include "ScreenupTexts.h"
#include "UserPrompts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

frmPalette::frmPalette(QWidget *owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("frmPalette"));
    setWindowTitle(QtText(PaletteCaption));
    setAttribute(Qt::WA_DeleteOnClose);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));

    auto *grid = new QGridLayout;
    grid->setSpacing(4);
    for (int i = 0; i < static_cast<int>(PaletteEntryCount); ++i) {
        auto *cell = new TColorCell(Frame1);
        cell->setObjectName(QStringLiteral("col_%1").arg(i));
        cell->setFixedSize(40, 40);
        grid->addWidget(cell, i / 4, i % 4);
        connect(cell, &TColorCell::Clicked, this, [this, i] { presenter_.Select(i); });
        connect(cell, &TColorCell::DoubleClicked, this, [this, i] { presenter_.PickColor(i); });
        col[static_cast<std::size_t>(i)] = cell;
    }

    auto *alphaLabel = new QLabel(QtText(AlphaCaption), Frame1);
    Slider1 = new QSlider(Qt::Horizontal, Frame1);
    Slider1->setObjectName(QStringLiteral("Slider1"));
    Slider1->setRange(0, AlphaMax);
    Slider1->setPageStep(1);
    Slider1->setTickPosition(QSlider::TicksBelow);
    Slider1->setTickInterval(1);
    alphaLabel->setBuddy(Slider1);
    connect(Slider1, &QSlider::valueChanged, this, [this](int value) { presenter_.AlphaMoved(value); });
    auto *alphaRow = new QHBoxLayout;
    alphaRow->addWidget(alphaLabel);
    alphaRow->addWidget(Slider1, 1);

    Command1 = new QPushButton(QtText(PaletteOkCaption), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = new QPushButton(QtText(PaletteCancelCaption), Frame1);
    Command2->setObjectName(QStringLiteral("Command2"));
    connect(Command1, &QPushButton::clicked, this, [this] { presenter_.Ok(); });
    connect(Command2, &QPushButton::clicked, this, [this] { presenter_.Cancel(); });
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addWidget(Command2);

    auto *frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addLayout(grid);
    frameLayout->addLayout(alphaRow);
    frameLayout->addLayout(buttons);

    // The frame stays centred in the window whatever its size.
    auto *outer = new QGridLayout(this);
    outer->addWidget(Frame1, 1, 1);
    outer->setRowStretch(0, 1);
    outer->setRowStretch(2, 1);
    outer->setColumnStretch(0, 1);
    outer->setColumnStretch(2, 1);
}

bool frmPalette::ShowForm(const QString &path) {
    return ShowForm(TMainWindowModel::FilePath(path.toStdU16String()));
}

void frmPalette::keyPressEvent(QKeyEvent *event) {
    // Esc leaves the editor as "Cancel" does, the file untouched.
    if (event->key() == Qt::Key_Escape) {
        Command2->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmPalette::ShowCell(int entry, const TPaletteCell &shown) {
    TColorCell *cell = col[static_cast<std::size_t>(entry)];
    cell->SetRaised(shown.Raised);
    cell->SetColor(QColor(shown.Red, shown.Green, shown.Blue));
    cell->SetTag(QtText(shown.Tag));
    cell->setToolTip(QtText(shown.ToolTip));
}

void frmPalette::ShowAlpha(int value) {
    const QSignalBlocker quiet(Slider1);
    Slider1->setValue(value);
}

std::optional<TRgb> frmPalette::ChooseColor(TRgb start) {
    const std::optional<QColor> chosen = Prompts().ChooseColor(this, QColor(start.Red, start.Green, start.Blue));
    if (!chosen || !chosen->isValid())
        return std::nullopt;
    return TRgb{static_cast<uint8_t>(chosen->red()), static_cast<uint8_t>(chosen->green()),
                static_cast<uint8_t>(chosen->blue())};
}

void frmPalette::Warn(const std::string &utf8) {
    ShowNotice(this, TNotice::Warning, QtText(utf8));
}

void frmPalette::Present() {
    show();
    raise();
    activateWindow();
}

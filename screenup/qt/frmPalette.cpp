#include "frmPalette.h"

#include "ColorCell.h"
#include "QtText.h"
#include "ScreenupTexts.h"
#include "UserPrompts.h"
#include "screenerror.h"

#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace {
std::filesystem::path FilePath(const QString &path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}
} // namespace

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
        connect(cell, &TColorCell::Clicked, this, [this, i] { Select(i); });
        connect(cell, &TColorCell::DoubleClicked, this, [this, i] { PickColor(i); });
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
    connect(Slider1, &QSlider::valueChanged, this, &frmPalette::SliderChanged);
    auto *alphaRow = new QHBoxLayout;
    alphaRow->addWidget(alphaLabel);
    alphaRow->addWidget(Slider1, 1);

    Command1 = new QPushButton(QtText(PaletteOkCaption), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setDefault(true);
    Command2 = new QPushButton(QtText(PaletteCancelCaption), Frame1);
    Command2->setObjectName(QStringLiteral("Command2"));
    connect(Command1, &QPushButton::clicked, this, &frmPalette::Save);
    connect(Command2, &QPushButton::clicked, this, &QWidget::close);
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

int frmPalette::SliderAlpha(uint8_t alpha) {
    return std::min<int>(alpha, AlphaMax);
}

bool frmPalette::ShowForm(const QString &path) {
    TPalette loaded;
    try {
        loaded = LoadPalette(FilePath(path));
    } catch (const EScreenSet &error) {
        ShowWarning(this, QString::fromStdString(error.what()));
        return false;
    }
    FName = path;
    Palette = loaded;
    Select(0);
    show();
    raise();
    activateWindow();
    return true;
}

void frmPalette::keyPressEvent(QKeyEvent *event) {
    // Esc leaves the editor as "Cancel" does, the file untouched.
    if (event->key() == Qt::Key_Escape) {
        Command2->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmPalette::Select(int entry) {
    SelectedEntry = entry;
    for (int j = 0; j < static_cast<int>(PaletteEntryCount); ++j) {
        const TPaletteEntry &value = Palette[static_cast<std::size_t>(j)];
        TColorCell *cell = col[static_cast<std::size_t>(j)];
        cell->SetRaised(j == entry);
        if (j == entry) {
            // Showing the alpha is not a change of it: an alpha above the
            // slider's range stays as it is until the slider is moved.
            const QSignalBlocker quiet(Slider1);
            Slider1->setValue(SliderAlpha(value.Alpha));
        }
        cell->SetColor(QColor(value.Red, value.Green, value.Blue));
        cell->SetTag(QString::number(value.Alpha));
        cell->setToolTip(QString::fromStdString(PaletteToolTip(value)));
    }
}

void frmPalette::PickColor(int entry) {
    TColorCell *cell = col[static_cast<std::size_t>(entry)];
    const std::optional<QColor> chosen = Prompts().ChooseColor(this, cell->Color());
    if (!chosen || !chosen->isValid())
        return;
    cell->SetColor(*chosen);
    TPaletteEntry &value = Palette[static_cast<std::size_t>(entry)];
    value.Red = static_cast<uint8_t>(chosen->red());
    value.Green = static_cast<uint8_t>(chosen->green());
    value.Blue = static_cast<uint8_t>(chosen->blue());
}

void frmPalette::SliderChanged(int value) {
    Palette[static_cast<std::size_t>(SelectedEntry)].Alpha = static_cast<uint8_t>(value);
}

void frmPalette::Save() {
    try {
        SavePalette(FilePath(FName), Palette);
    } catch (const EScreenSet &error) {
        ShowWarning(this, QString::fromStdString(error.what()));
        return;
    }
    close();
}

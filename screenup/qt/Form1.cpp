#include "Form1.h"

#include "PortList.h"
#include "QtText.h"
#include "ScreenupTexts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {

// The program's folder unless the options name another.
std::filesystem::path ProgramFolder(const QString &folder) {
    const QString chosen = folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
    return TMainWindowModel::FilePath(chosen.toStdU16String());
}

} // namespace

Form1::Form1(const TForm1Options &options) : presenter_(*this, ProgramFolder(options.ProgramFolder)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QtText(MainCaption));

    auto *central = new QWidget(this);
    setCentralWidget(central);

    Command3 = new QPushButton(QtText(LoadThemeCaption), central);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command2 = new QPushButton(QtText(UploadCaption), central);
    Command2->setObjectName(QStringLiteral("Command2"));
    Combo1 = new QComboBox(central);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setMinimumContentsLength(18);
    Combo1->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto *left = new QVBoxLayout;
    left->addWidget(Command3);
    left->addWidget(Command2);
    left->addWidget(Combo1);
    left->addStretch(1);

    Frame2 = new QGroupBox(QtText(PicturesCaption), central);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    BuildRows();

    auto *top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(Frame2, 1);

    Frame1 = new QGroupBox(QtText(DebugCaption), central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    lstDebug = new QListWidget(Frame1);
    lstDebug->setObjectName(QStringLiteral("lstDebug"));
    lstDebug->setUniformItemSizes(true);
    Command1 = new QPushButton(QtText(SaveCaption), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    auto *debugButtons = new QVBoxLayout;
    debugButtons->addStretch(1);
    debugButtons->addWidget(Command1);
    auto *debug = new QHBoxLayout(Frame1);
    debug->addWidget(lstDebug, 1);
    debug->addLayout(debugButtons);

    auto *layout = new QVBoxLayout(central);
    layout->addLayout(top);
    layout->addWidget(Frame1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    setStatusBar(StatusBar1);

    connect(Command2, &QPushButton::clicked, this, [this] { presenter_.Upload(); });
    connect(Command1, &QPushButton::clicked, this, [this] { presenter_.SaveSettings(); });
    connect(Command3, &QPushButton::clicked, this, [this] { presenter_.LoadTheme(); });

    BuildPortList(options.Port);
    resize(640, 480);
}

void Form1::BuildRows() {
    auto *grid = new QGridLayout(Frame2);
    grid->setColumnStretch(1, 1);
    for (const TScreenResource &resource : ScreenResources()) {
        const auto i = static_cast<std::size_t>(resource.Index);
        const int row = resource.Index;
        Check1[i] = new QCheckBox(QtText(resource.Caption), Frame2);
        Check1[i]->setObjectName(QStringLiteral("Check1_%1").arg(row));
        txtPath[i] = new QLineEdit(Frame2);
        txtPath[i]->setObjectName(QStringLiteral("txtPath_%1").arg(row));
        txtPath[i]->setEnabled(false);
        btnbrw[i] = new QPushButton(QtText(BrowseCaption), Frame2);
        btnbrw[i]->setObjectName(QStringLiteral("btnbrw_%1").arg(row));
        btnbrw[i]->setEnabled(false);
        btnbrw[i]->setFixedWidth(36);
        grid->addWidget(Check1[i], row, 0);
        if (!TMainWindowModel::HasEditButton(i)) {
            // Rows without an edit button have a wider path box.
            grid->addWidget(txtPath[i], row, 1, 1, 2);
            grid->addWidget(btnbrw[i], row, 3);
        } else {
            cmdEdit[i] = new QPushButton(QtText(EditCaption), Frame2);
            cmdEdit[i]->setObjectName(QStringLiteral("cmdEdit_%1").arg(row));
            cmdEdit[i]->setEnabled(false);
            cmdEdit[i]->setFixedWidth(36);
            grid->addWidget(txtPath[i], row, 1);
            grid->addWidget(btnbrw[i], row, 2);
            grid->addWidget(cmdEdit[i], row, 3);
            connect(cmdEdit[i], &QPushButton::clicked, this, [this, i] { presenter_.Edit(i); });
        }
        connect(Check1[i], &QCheckBox::toggled, this, [this, i](bool checked) { presenter_.RowChecked(i, checked); });
        connect(txtPath[i], &QLineEdit::textChanged, this,
                [this, i](const QString &text) { presenter_.PathEdited(i, text.toStdU16String()); });
        connect(btnbrw[i], &QPushButton::clicked, this, [this, i] { presenter_.Browse(i); });
    }
}

void Form1::BuildPortList(const QString &port) {
    for (const std::u16string &entry : PortListEntries(port.toStdU16String()))
        Combo1->addItem(QtText(entry));
    Combo1->setCurrentIndex(0);
}

void Form1::EnableRow(std::size_t row, bool enabled) {
    btnbrw[row]->setEnabled(enabled);
    txtPath[row]->setEnabled(enabled);
    if (cmdEdit[row] != nullptr)
        cmdEdit[row]->setEnabled(enabled);
}

void Form1::ShowPath(std::size_t row, const std::u16string &path) {
    txtPath[row]->setText(QtText(path));
}

void Form1::EnableOperations(bool enabled) {
    Command1->setEnabled(enabled);
    Command2->setEnabled(enabled);
}

std::u16string Form1::PortText() const {
    return Combo1->currentText().toStdU16String();
}

void Form1::ClearDebug() {
    lstDebug->clear();
}

void Form1::AddDebugLine(const std::u16string &line) {
    lstDebug->addItem(QtText(line));
    lstDebug->scrollToBottom();
}

void Form1::closeEvent(QCloseEvent *event) {
    // The program ends with its main window.
    presenter_.Close();
    event->accept();
    QCoreApplication::quit();
}

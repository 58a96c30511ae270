#include "Form1.h"

#include "LibraryScope.h"
#include "PortList.h"
#include "QtText.h"
#include "ScreenupTexts.h"
#include "UserPrompts.h"
#include "WindowPlacement.h"
#include "frmPalette.h"
#include "frmProgress.h"
#include "frmSize.h"
#include "velklink.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>

#include <vector>

Form1::Form1(TForm1Options options) : options_(std::move(options)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QtText(MainCaption));
    if (options_.ProgramFolder.isEmpty())
        options_.ProgramFolder = QCoreApplication::applicationDirPath();
    mdlLoader::SetHost(this);
    InstallLibraryHandlers();

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

    connect(Command2, &QPushButton::clicked, this, &Form1::Upload);
    connect(Command1, &QPushButton::clicked, this, &Form1::SaveSettings);
    connect(Command3, &QPushButton::clicked, this, &Form1::LoadTheme);

    BuildPortList(options_.Port);
    resize(640, 480);
}

Form1::~Form1() {
    if (mdlLoader::Host() == this)
        mdlLoader::SetHost(nullptr);
}

frmProgress *Form1::ProgressWindow() const {
    return progress_;
}
frmPalette *Form1::PaletteEditor() const {
    return palette_;
}
frmSize *Form1::SizeEditor() const {
    return size_;
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
            connect(cmdEdit[i], &QPushButton::clicked, this, [this, i] { Edit(i); });
        }
        connect(Check1[i], &QCheckBox::toggled, this, [this, i](bool checked) { RowChecked(i, checked); });
        connect(txtPath[i], &QLineEdit::textChanged, this,
                [this, i](const QString &text) { model_.SetPath(i, text.toStdU16String()); });
        connect(btnbrw[i], &QPushButton::clicked, this, [this, i] { Browse(i); });
    }
}

void Form1::BuildPortList(const QString &port) {
    for (const std::u16string &entry : PortListEntries(port.toStdU16String()))
        Combo1->addItem(QtText(entry));
    Combo1->setCurrentIndex(0);
}

void Form1::RowChecked(std::size_t row, bool checked) {
    model_.SetChecked(row, checked);
    const bool enabled = model_.RowEnabled(row);
    btnbrw[row]->setEnabled(enabled);
    txtPath[row]->setEnabled(enabled);
    if (cmdEdit[row] != nullptr)
        cmdEdit[row]->setEnabled(enabled);
}

void Form1::LoadTheme() {
    ShowNote(this, QtText(TMainWindowModel::LoadThemeNote()));
}

void Form1::ClearDebug() {
    lstDebug->clear();
}

void Form1::AddDebugLine(const std::u16string &line) {
    lstDebug->addItem(QtText(line));
    lstDebug->scrollToBottom();
}

void Form1::SetWritePercent(int percent) {
    if (!model_.ShowsWriteProgress())
        return;
    if (progress_ == nullptr)
        progress_ = new frmProgress(this); // created, not shown, as a bar it holds is set
    progress_->SetPercent(percent);
}

void Form1::ShowLibraryError(const std::u16string &text) {
    ShowError(this, QtText(text));
}

void Form1::OpenProgress() {
    if (progress_ == nullptr)
        progress_ = new frmProgress(this);
    progress_->ProgressBar1->setValue(0);
    PlaceBeside(progress_);
    progress_->show();
}

void Form1::SetProgressStep(int step) {
    if (progress_ != nullptr)
        progress_->ProgressBar1->setValue(step);
}

void Form1::CloseProgress() {
    if (progress_ != nullptr)
        progress_->close();
}

void Form1::PlaceBeside(QWidget *window) const {
    if (window->isVisible())
        return;
    const QScreen *shown = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    if (shown == nullptr)
        return;
    const QRect available = shown->availableGeometry();
    // The window's frame is not known before it is shown: it gets the
    // decoration the main window has, around the size its layout asks for.
    const QRect frame = frameGeometry();
    const QRect inner = geometry();
    const QMargins decoration(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                              frame.bottom() - inner.bottom());
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QSize room = available.size().shrunkBy(decoration);
    if (window->width() > room.width() || window->height() > room.height())
        window->resize(window->size().boundedTo(room));

    const auto place = [](const QRect &rect) {
        return TPlaceRect{rect.left(), rect.top(), rect.width(), rect.height()};
    };
    std::vector<TPlaceRect> showing;
    for (const QWidget *other :
         {static_cast<QWidget *>(progress_), static_cast<QWidget *>(palette_), static_cast<QWidget *>(size_)})
        if (other != nullptr && other != window && other->isVisible())
            showing.push_back(place(other->frameGeometry()));
    const QSize outer = window->size().grownBy(decoration);
    const TPlacePoint at = WindowPlacement(place(frame), outer.width(), outer.height(), place(available), showing);
    window->move(at.X, at.Y);
}

void Form1::closeEvent(QCloseEvent *event) {
    // The program ends with its main window: the other windows close with it,
    // and a running operation asks the library for nothing more.
    model_.Close();
    for (QWidget *window :
         {static_cast<QWidget *>(progress_), static_cast<QWidget *>(palette_), static_cast<QWidget *>(size_)})
        if (window != nullptr)
            window->close();
    event->accept();
    QCoreApplication::quit();
}

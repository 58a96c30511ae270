#include "SimUploader.h"

#include "frmProgress.h"
#include "velksimdemo.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

namespace {

uint32_t BigEndian(const std::vector<uint8_t> &bytes, std::size_t at, std::size_t size) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i)
        value = (value << 8) | bytes.at(at + i);
    return value;
}

std::string Name(const std::vector<uint8_t> &bytes, std::size_t at, std::size_t width) {
    std::string name;
    for (std::size_t i = 0; i < width && bytes.at(at + i) != 0; ++i)
        name += static_cast<char>(bytes[at + i]);
    return name;
}

} // namespace

void SimUploaderTest::SetUp() {
    ScreenupTest::SetUp();
    form = std::make_unique<Form1>(TForm1Options{QString::fromStdString(sim.LinePath()), folder.QPath()});
    form->show();
    prompts.Messages.clear();
    sim.ResetCounters();
}

void SimUploaderTest::TearDown() {
    form.reset();
    ScreenupTest::TearDown();
}

void SimUploaderTest::Choose(int row, const QString &path) {
    form->findChild<QCheckBox *>(QStringLiteral("Check1_%1").arg(row))->setChecked(true);
    form->findChild<QLineEdit *>(QStringLiteral("txtPath_%1").arg(row))->setText(path);
}

void SimUploaderTest::Watch() {
    steps.clear();
    percents.clear();
    debugLines.clear();
    // The progress window, created hidden as a write-progress event would,
    // so its bars can be watched from the start.
    form->Presenter().SetWritePercent(-1);
    frmProgress *progress = form->ProgressWindow();
    steps.push_back(progress->ProgressBar1->value());
    QObject::connect(progress->ProgressBar1, &QProgressBar::valueChanged, [this](int v) { steps.push_back(v); });
    QObject::connect(progress->ProgressBar2, &QProgressBar::valueChanged, [this](int v) { percents.push_back(v); });
    QListWidget *list = form->lstDebug;
    // One watch of the debug list at a time, so a second operation's lines are
    // recorded once.
    QObject::disconnect(debugWatch_);
    debugWatch_ = QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, list,
                                   [this, list](const QModelIndex &, int first, int last) {
                                       for (int row = first; row <= last; ++row)
                                           debugLines.push_back(list->item(row)->text());
                                   });
}

void SimUploaderTest::ClickUpload() {
    Watch();
    form->findChild<QPushButton *>(QStringLiteral("Command2"))->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void SimUploaderTest::ClickSave() {
    Watch();
    form->findChild<QPushButton *>(QStringLiteral("Command1"))->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void SimUploaderTest::DuringOperation(std::function<void()> action) {
    QTimer::singleShot(0, form.get(), std::move(action));
}

std::map<std::string, std::vector<uint8_t>> SimUploaderTest::RecordItems(const std::string &record) const {
    std::map<std::string, std::vector<uint8_t>> items;
    for (int32_t slot = 0; slot < 30; ++slot) {
        const std::vector<uint8_t> image = sim.ReadSlot(slot);
        if (BigEndian(image, 0, 2) != velksim::RecordInUse || Name(image, velksim::RecordNameAt, 8) != record)
            continue;
        const uint32_t count = BigEndian(image, velksim::ItemCountAt, 4);
        for (uint32_t k = 0; k < count; ++k) {
            const std::size_t entry = velksim::ItemTableAt + k * velksim::ItemEntrySize;
            const uint32_t offset = BigEndian(image, entry + 12, 4);
            const uint32_t size = BigEndian(image, entry + 16, 4);
            const auto data = image.begin() + velksim::ItemCountAt + offset;
            items[Name(image, entry, 12)] = std::vector<uint8_t>(data, data + size);
        }
    }
    return items;
}

velksim::TSimCounters SimUploaderTest::Traffic() const {
    EXPECT_TRUE(sim.WaitIdle());
    return sim.Counters();
}

bool SimUploaderTest::Untouched() const {
    const velksim::TSimCounters traffic = Traffic();
    return traffic.lineOpens == 0 && traffic.bytesReceived == 0;
}

// "Upload" end to end: the screen set and the settings item in the decoder's
// record "pictures", the progress shown meanwhile, and every refusal made
// before the port is opened.
#include "SimUploader.h"

#include "LibraryScope.h"
#include "velkhlpacket.h"
#include "velksimdemo.h"

#include "frmPalette.h"
#include "frmProgress.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace {

using Items = std::map<std::string, std::vector<uint8_t>>;

class UploadTest : public SimUploaderTest {
protected:
    using SimUploaderTest::SimUploaderTest;

    static std::vector<uint8_t> Settings(std::initializer_list<uint8_t> head) {
        std::vector<uint8_t> item(64, 0);
        std::copy(head.begin(), head.end(), item.begin());
        return item;
    }

    // The program's notes become real modal boxes, each closed after heldMs
    // (and then whileOpen run just before it closes); the library's error
    // boxes are only recorded.
    void HoldNotes(int heldMs, std::function<void()> whileOpen = {}) {
        prompts.OnMessage = [this, heldMs, whileOpen](const TMessage &message) {
            if (message.Caption == QStringLiteral("Error"))
                return;
            QMessageBox box(message.Icon, message.Caption, message.Text, QMessageBox::Ok, form.get());
            QTimer::singleShot(heldMs, &box, [&box, whileOpen] {
                if (whileOpen)
                    whileOpen();
                box.accept();
            });
            box.exec();
        };
    }
};

TEST_F(UploadTest, CheckedRowsBecomeItemsOfPictures) {
    const auto boot = Pattern(5000, 1), lut = Pattern(64, 2), panel = Pattern(2048, 3);
    Choose(0, folder.QWrite("boot.m2v", boot));
    Choose(3, folder.QWrite("setup.lut", lut));
    Choose(4, folder.QWrite("bandeau.pan", panel));
    ClickUpload();

    EXPECT_TRUE(prompts.Messages.empty());
    const Items expected = {
        {"ini", Settings({1, 0, 0, 1, 1, 1})}, {"splash.fnt", boot}, {"setup.lut", lut}, {"bandeau.pan", panel}};
    EXPECT_EQ(RecordItems("pictures"), expected);
    // The settings record is still where it was.
    EXPECT_EQ(RecordItems("SET"), (Items{{"SET", velksim::DemoSettings()}}));

    // Steps 0, 1 (directory read), 2 (settings item), then 3 + row of each
    // checked row; the progress window is gone afterwards.
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 6, 7}));
    EXPECT_EQ(form->ProgressWindow(), nullptr);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(*std::max_element(percents.begin(), percents.end()), 100);
    for (int percent : percents)
        EXPECT_TRUE(percent >= 0 && percent <= 100) << percent;

    // The debug list had transfer-log lines only.
    ASSERT_FALSE(debugLines.empty());
    bool sawWrite = false;
    for (const QString &line : debugLines) {
        sawWrite = sawWrite || line.startsWith(QStringLiteral("Scrittura Flash"));
        EXPECT_FALSE(line.startsWith(QStringLiteral("Pacchetto dati:")) || line == QStringLiteral("Invio dati") ||
                     line == QStringLiteral("Ricezione dati"))
            << line.toStdString();
    }
    EXPECT_TRUE(sawWrite);
    EXPECT_FALSE(TLibraryScope::Open());
}

TEST_F(UploadTest, WithNoBoxCheckedOnlyTheSettingsItemIsWritten) {
    ClickUpload();
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_EQ(RecordItems("pictures"), (Items{{"ini", Settings({})}}));
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2}));
}

TEST_F(UploadTest, SettingsItemRepeatsSetupLutAndCarriesTheSizeValues) {
    const QString lut = folder.QWrite("basic.lut", Pattern(64));
    Choose(1, folder.QWrite("radio.m2v", Pattern(10)));
    Choose(5, lut);
    mdlLoader::State().SizeValues = {300, 1, 2, 3};
    ClickUpload();
    // Size values not set: offsets 6..14 are zero whatever they hold.
    EXPECT_EQ(RecordItems("pictures").at("ini"), Settings({0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 4, 8}));

    mdlLoader::State().SizeModified = true;
    ClickUpload();
    EXPECT_EQ(RecordItems("pictures").at("ini"),
              Settings({0, 0, 1, 0, 0, 0, 0xFF, 0x01, 0x2C, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03}));
    EXPECT_TRUE(prompts.Messages.empty());
}

TEST_F(UploadTest, AnEmptyFileIsSentAsAnEmptyItem) {
    Choose(2, folder.QWrite("setup.m2v", {}));
    ClickUpload();
    EXPECT_EQ(RecordItems("pictures").at("setup.fnt"), std::vector<uint8_t>{});
}

TEST_F(UploadTest, MoreThan64000BytesAreRefusedWithoutTraffic) {
    Choose(0, folder.QWrite("a.m2v", Pattern(32000)));
    Choose(1, folder.QWrite("b.m2v", Pattern(32001)));
    ClickUpload();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Text, QStringLiteral("Size exceed limit of 64k"));
    EXPECT_EQ(prompts.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(prompts.Messages[0].Icon, QMessageBox::Critical);
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(steps, std::vector<int>{0}); // the progress window was never opened

    // Exactly 64000 bytes are accepted.
    prompts.Messages.clear();
    Choose(1, folder.QWrite("b.m2v", Pattern(32000, 5)));
    ClickUpload();
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_EQ(RecordItems("pictures").at("radio.fnt"), Pattern(32000, 5));
}

TEST_F(UploadTest, ACheckedRowWithoutAReadableFileIsRefusedBeforeThePortOpens) {
    const QString missing = folder.QPath() + QStringLiteral("/gone.m2v");
    const struct {
        int Row;
        QString Path;
        QString Caption;
    } cases[] = {
        {2, QString(), QStringLiteral("\"setup\"")},
        {0, missing, QStringLiteral("\"boot\"")},
        {4, folder.QPath(), QStringLiteral("\"bandeau\"")}, // a folder
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        Choose(c.Row, c.Path);
        ClickUpload();
        ASSERT_EQ(prompts.Messages.size(), 1u);
        const QString text = prompts.Messages[0].Text;
        EXPECT_TRUE(text.contains(c.Caption)) << text.toStdString();
        if (!c.Path.isEmpty()) {
            EXPECT_TRUE(text.contains(c.Path)) << text.toStdString();
        }
        prompts.Messages.clear();
        EXPECT_TRUE(Untouched());
        form->Check1[static_cast<std::size_t>(c.Row)]->setChecked(false);
    }
    // An unchecked row's path is not looked at.
    ClickUpload();
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_EQ(RecordItems("pictures").size(), 1u);
}

TEST_F(UploadTest, UploadAndSaveAreDisabledWhileAnOperationRuns) {
    Choose(0, folder.QWrite("boot.m2v", Pattern(3000)));
    bool ran = false;
    DuringOperation([&] {
        ran = true;
        EXPECT_TRUE(form->Presenter().Busy());
        EXPECT_TRUE(TLibraryScope::Open());
        EXPECT_FALSE(form->Command1->isEnabled());
        EXPECT_FALSE(form->Command2->isEnabled());
        // Neither a click nor a direct call opens a second scope.
        form->Command2->click();
        form->Command1->click();
        form->Presenter().Upload();
        form->Presenter().SaveSettings();
    });
    ClickUpload();
    EXPECT_TRUE(ran);
    EXPECT_TRUE(prompts.Messages.empty());
    EXPECT_TRUE(form->Command1->isEnabled());
    EXPECT_TRUE(form->Command2->isEnabled());
    EXPECT_FALSE(form->Presenter().Busy());
    // One upload: one settings item and one resource written, one line open.
    const velksim::TSimCounters traffic = Traffic();
    EXPECT_EQ(traffic.lineOpens, 1);
    EXPECT_EQ(traffic.writeFlashRequests, 2);
    EXPECT_FALSE(QFile::exists(folder.QPath() + QStringLiteral("/set.bin")));
}

TEST_F(UploadTest, ClosingTheMainWindowStopsTheUpload) {
    Choose(0, folder.QWrite("boot.m2v", Pattern(3000)));
    DuringOperation([&] { form->close(); });
    ClickUpload();
    EXPECT_TRUE(form->Presenter().Closing());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ProgressWindow(), nullptr);
    EXPECT_FALSE(TLibraryScope::Open());
    // Nothing more was asked of the library once the window closed.
    EXPECT_EQ(Traffic().writeFlashRequests, 0);
    EXPECT_TRUE(RecordItems("pictures").empty());
}

// Holds the decoder's answer to a flash read longer than one link packet,
// once armed, until released (at most 10 s): what the PC does meanwhile then
// happens while the decoder is still to send the record, however late the
// window thread runs.
class TLargeReadGate {
public:
    velksim::TSimConfig Config(const std::shared_ptr<TLargeReadGate> &self) const {
        velksim::TSimConfig config;
        config.onTrace = [self](const velksim::TSimTraceEntry &entry) { self->Hold(entry); };
        return config;
    }
    void Arm() { Set(armed_, true); }
    void Release() { Set(released_, true); }

private:
    void Hold(const velksim::TSimTraceEntry &entry) {
        if (entry.kind != velksim::TSimTraceKind::TransferIn || entry.code != HL_READ_FLASH)
            return;
        const std::size_t comma = entry.text.rfind(", ");
        if (comma == std::string::npos || std::stoul(entry.text.substr(comma + 2)) <= 2032)
            return;
        std::unique_lock lock(mutex_);
        if (armed_)
            changed_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
    }
    void Set(bool &flag, bool value) {
        std::lock_guard lock(mutex_);
        flag = value;
        changed_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool released_ = false;
};

class UploadHeldReadTest : public UploadTest {
protected:
    UploadHeldReadTest() : UploadHeldReadTest(std::make_shared<TLargeReadGate>()) {}
    explicit UploadHeldReadTest(std::shared_ptr<TLargeReadGate> gate) : UploadTest(gate->Config(gate)), gate_(gate) {}

    std::shared_ptr<TLargeReadGate> gate_;
};

TEST_F(UploadHeldReadTest, ABoxHeldOpenPastTheResponseTimeOutLeavesTheUploadWhole) {
    // A decoder that holds "pictures" from an earlier upload: saving "ini"
    // first reads that record back, an answer of several link packets.
    const auto boot = Pattern(5000, 1), lut = Pattern(64, 2), panel = Pattern(2048, 3);
    Choose(0, folder.QWrite("boot.m2v", boot));
    ClickUpload();
    ASSERT_EQ(RecordItems("pictures").size(), 2u);
    Choose(3, folder.QWrite("setup.lut", lut));
    Choose(4, folder.QWrite("bandeau.pan", panel));
    // "Load theme" is clicked once the library waits for that record, and its
    // box stays open longer than the decoder and the library wait for an
    // answer (5000 ms each); the decoder sends the record once the box is open.
    bool largeRead = false, opened = false;
    std::size_t linesAtOpen = 0;
    std::vector<QString> linesWhileOpen;
    HoldNotes(6000, [&] {
        linesWhileOpen.assign(debugLines.begin() + static_cast<std::ptrdiff_t>(linesAtOpen), debugLines.end());
    });
    const QRegularExpression readLine(QStringLiteral("^Lettura Flash \\(indirizzo 0x[0-9A-F]+, (\\d+) bytes\\)$"));
    QObject::connect(form->lstDebug->model(), &QAbstractItemModel::rowsInserted, form.get(),
                     [&](const QModelIndex &, int first, int last) {
                         for (int row = first; row <= last && !opened; ++row) {
                             const QString line = form->lstDebug->item(row)->text();
                             if (const QRegularExpressionMatch read = readLine.match(line); read.hasMatch())
                                 largeRead = read.captured(1).toInt() > 2032; // more than one link packet
                             if (!largeRead || line != QStringLiteral("Stato: TX READ REQUEST -> WAIT DATA."))
                                 continue;
                             opened = true;
                             QTimer::singleShot(0, form.get(), [&] {
                                 linesAtOpen = debugLines.size();
                                 // Runs inside the box's own loop, so once it is open.
                                 QTimer::singleShot(0, form.get(), [&] { gate_->Release(); });
                                 form->Command3->click();
                             });
                         }
                     });
    gate_->Arm();
    ClickUpload();

    ASSERT_TRUE(opened);
    // Only the note was shown: no item failed.
    EXPECT_EQ(prompts.Texts(), std::vector<QString>{QStringLiteral("Not yet available")});
    const Items expected = {
        {"ini", Settings({1, 0, 0, 1, 1, 1})}, {"splash.fnt", boot}, {"setup.lut", lut}, {"bandeau.pan", panel}};
    EXPECT_EQ(RecordItems("pictures"), expected);
    EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 6, 7}));
    // The read went on behind the box and ended before it closed.
    EXPECT_NE(std::find(linesWhileOpen.begin(), linesWhileOpen.end(), QStringLiteral("Lettura completata.")),
              linesWhileOpen.end());
}

TEST_F(UploadTest, TheProgressWindowOpensOnTheScreenAwayFromThePaletteEditor) {
    Choose(3, folder.QWrite("setup.lut", Pattern(64)));
    form->Presenter().Edit(3);
    ASSERT_NE(form->PaletteEditor(), nullptr);
    const QRect palette = form->PaletteEditor()->frameGeometry();
    const QRect available = form->screen()->availableGeometry();
    QRect progress;
    DuringOperation([&] { progress = form->ProgressWindow()->frameGeometry(); });
    ClickUpload();
    EXPECT_TRUE(available.contains(palette)) << palette.x() << "," << palette.y();
    EXPECT_TRUE(available.contains(progress)) << progress.x() << "," << progress.y();
    EXPECT_FALSE(progress.intersects(palette));
    EXPECT_EQ(RecordItems("pictures").at("setup.lut"), Pattern(64));
}

TEST_F(UploadTest, ClosingTheMainWindowWithABoxOpenStopsTheUploadAlike) {
    Choose(0, folder.QWrite("boot.m2v", Pattern(3000)));
    HoldNotes(300, [&] { form->close(); });
    DuringOperation([&] { form->Command3->click(); });
    ClickUpload();
    EXPECT_TRUE(form->Presenter().Closing());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ProgressWindow(), nullptr);
    EXPECT_FALSE(TLibraryScope::Open());
    EXPECT_EQ(prompts.Texts(), std::vector<QString>{QStringLiteral("Not yet available")});
    EXPECT_EQ(Traffic().writeFlashRequests, 0);
    EXPECT_TRUE(RecordItems("pictures").empty());
}

TEST_F(UploadTest, APortThatDoesNotOpenEndsTheUploadAfterTheLibrarysError) {
    form->Combo1->setEditText(QStringLiteral("/nonexistent/velk-line"));
    ClickUpload();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_TRUE(prompts.Messages[0].Text.contains(QStringLiteral("/nonexistent/velk-line")))
        << prompts.Messages[0].Text.toStdString();
    EXPECT_EQ(steps, std::vector<int>{0});
    EXPECT_FALSE(TLibraryScope::Open());
    EXPECT_TRUE(Untouched());
}

TEST_F(UploadTest, AFailedDirectoryReadWritesNothing) {
    velksim::TSimFaults faults;
    faults.refuseReads = 1;
    sim.SetFaults(faults);
    Choose(0, folder.QWrite("boot.m2v", Pattern(100)));
    ClickUpload();
    ASSERT_EQ(prompts.Messages.size(), 1u);
    EXPECT_EQ(prompts.Messages[0].Caption, QStringLiteral("Error"));
    // Without a directory every slot would look free: the settings record in
    // slot 0 must survive.
    EXPECT_EQ(Traffic().writeFlashRequests, 0);
    EXPECT_EQ(RecordItems("SET"), (Items{{"SET", velksim::DemoSettings()}}));
    EXPECT_EQ(steps, std::vector<int>{0});
}

} // namespace

// The callbacks the uploader hands to the library: write progress into the
// lower progress bar, transfer-log lines into the debug list, the error box.
#include "ScreenupTest.h"

#include "Windows1252.h"
#include "frmProgress.h"

#include <QListWidget>
#include <QProgressBar>

#include <limits>

namespace {

using namespace mdlLoader;

class CallbacksTest : public ScreenupTest {
protected:
    void SetUp() override {
        ScreenupTest::SetUp();
        form = std::make_unique<Form1>(TForm1Options{QString(), QString()});
        prompts.Messages.clear();
    }
    void TearDown() override {
        form.reset();
        ScreenupTest::TearDown();
    }
    int Percent() const {
        frmProgress *progress = form->ProgressWindow();
        return progress != nullptr ? progress->ProgressBar2->value() : -1;
    }

    std::unique_ptr<Form1> form;
};

TEST(Windows1252Test, LibraryTextsBecomeUtf16AndPortNamesGoBack) {
    // The bytes 0x80..0x9F are the code page's own characters, not control codes.
    EXPECT_EQ(FromWindows1252("gi\xE0 \x80\x93\x9F"), u"gi\u00E0 \u20AC\u201C\u0178");
    EXPECT_EQ(FromWindows1252(nullptr), u"");
    EXPECT_EQ(ToWindows1252(u"COM5 gi\u00E0 \u20AC\u201C\u0178"), "COM5 gi\xE0 \x80\x93\x9F");
    // A character the code page lacks cannot name a port: it becomes '?'.
    EXPECT_EQ(ToWindows1252(u"\u0416\u4E2D"), "??");
}

TEST(TransferPercentTest, TruncatesAndRefusesWhatCannotBeComputed) {
    EXPECT_EQ(TransferPercent(1, 3), 33);
    EXPECT_EQ(TransferPercent(2, 3), 66);
    EXPECT_EQ(TransferPercent(3, 3), 100);
    EXPECT_EQ(TransferPercent(-1, 3), -33);
    EXPECT_EQ(TransferPercent(5, 0), std::nullopt);
    EXPECT_EQ(TransferPercent(0, 0), std::nullopt);
    // The product must fit 32 bits.
    EXPECT_EQ(TransferPercent(21474836, 21474836), 100);
    EXPECT_EQ(TransferPercent(21474837, 21474837), std::nullopt);
    EXPECT_EQ(TransferPercent(std::numeric_limits<int32_t>::min(), 1), std::nullopt);
}

TEST_F(CallbacksTest, WriteProgressMovesTheLowerBar) {
    // An event 14 before any event 15 sets the bar to 0, creating the
    // progress window without showing it.
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 5);
    ASSERT_NE(form->ProgressWindow(), nullptr);
    EXPECT_FALSE(form->ProgressWindow()->isVisible());
    EXPECT_EQ(Percent(), 0);
    EXPECT_EQ(State().TransferDone, 5);

    HlpEventCallback(VELK_EVENT_WRITE_START, 8);
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 3);
    EXPECT_EQ(Percent(), 37);
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 8);
    EXPECT_EQ(Percent(), 100);

    // Read progress changes nothing, and neither do the other states.
    for (int32_t code : {11, 12, 1, 2, 4, 5, 6, 7, 13, 16}) {
        HlpEventCallback(code, 1);
        EXPECT_EQ(Percent(), 100) << code;
    }
    EXPECT_EQ(State().TransferTotal, 8);
    EXPECT_EQ(State().TransferDone, 8);

    // A percentage outside 0..100 is refused: the bar keeps its value.
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 9);
    EXPECT_EQ(Percent(), 100);
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, -1);
    EXPECT_EQ(Percent(), 100);
    // An overflowing product gives 0.
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 30000000);
    EXPECT_EQ(Percent(), 0);
}

TEST_F(CallbacksTest, NotConnectedResetsTheCountButNotTheTotal) {
    HlpEventCallback(VELK_EVENT_WRITE_START, 4);
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 4);
    HlpEventCallback(VELK_STATE_NOT_CONNECTED, 0);
    EXPECT_EQ(State().TransferDone, 0);
    EXPECT_EQ(State().TransferTotal, 4);
    // A later write without its own total is measured against the old one.
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 1);
    EXPECT_EQ(Percent(), 25);
}

TEST_F(CallbacksTest, DebugListShowsTransferLinesAndEmptiesWhenIdle) {
    LogEventCallback(VELK_LOG_TRANSFER, "Stato: NOT CONNECTED -> TX SYNC.");
    LogEventCallback(VELK_LOG_LINK, "Pacchetto: <- ACK.");
    LogEventCallback(VELK_LOG_TRANSFER, "Decoder gi\xE0 sincronizzato.");
    LogEventCallback(7, "other kind");
    ASSERT_EQ(form->lstDebug->count(), 2);
    EXPECT_EQ(form->lstDebug->item(0)->text(), QStringLiteral("Stato: NOT CONNECTED -> TX SYNC."));
    EXPECT_EQ(form->lstDebug->item(1)->text(), QString::fromUtf8("Decoder gi\u00E0 sincronizzato."));
    HlpEventCallback(VELK_STATE_IDLE, 0);
    EXPECT_EQ(form->lstDebug->count(), 0);
    LogEventCallback(VELK_LOG_TRANSFER, "after");
    EXPECT_EQ(form->lstDebug->count(), 1);
}

TEST_F(CallbacksTest, LibraryErrorsShowTheErrorBox) {
    ErrorEventCallback("Errore connettendo la porta COM9.");
    ErrorEventCallback("\x80 \x93quoted\x94");
    ASSERT_EQ(prompts.Messages.size(), 2u);
    EXPECT_EQ(prompts.Messages[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(prompts.Messages[0].Icon, QMessageBox::Critical);
    EXPECT_EQ(prompts.Messages[0].Text, QStringLiteral("Errore connettendo la porta COM9."));
    EXPECT_EQ(prompts.Messages[1].Text, QString::fromUtf8("\u20AC \u201Cquoted\u201D"));
}

TEST_F(CallbacksTest, WithoutAWindowTheCallbacksChangeOnlyTheState) {
    form.reset();
    HlpEventCallback(VELK_EVENT_WRITE_START, 2);
    HlpEventCallback(VELK_EVENT_WRITE_PACKET, 1);
    HlpEventCallback(VELK_STATE_IDLE, 0);
    LogEventCallback(VELK_LOG_TRANSFER, "line");
    EXPECT_EQ(State().TransferDone, 1);
    EXPECT_EQ(State().TransferTotal, 2);
    ErrorEventCallback("still shown");
    EXPECT_EQ(prompts.Texts(), std::vector<QString>{QStringLiteral("still shown")});
}

} // namespace

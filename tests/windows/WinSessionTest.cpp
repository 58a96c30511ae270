// The session interface of velklink.dll under Wine, as a Windows host uses it:
// every kind of call against the decoder simulator on COM5, result codes from
// real causes on the prefix's other lines (COM7 nobody reads, COM9 hangs up
// after 3000 bytes), two sessions on two threads, a session beside the
// original exports, and a cancel in the middle of a read paced like a cable
// (the .paced run). See wine-with-lines.sh for the lines.
#include <windows.h>

#include "LibrarySession.h"
#include "VelkLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSlot1 = 0x34030000; // record slot 1, free in the demo decoder
constexpr uint32_t kMoved = 64 * 1024;

// Kept loaded for the whole program, as WinExportsTest explains.
const VelkLibrary g_keptLoaded;

std::vector<uint8_t> Pattern(uint32_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(i * 11 + seed + (i >> 8));
    return bytes;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void VELK_CALL CountProgress(void *context, uint32_t, uint32_t total) {
    *static_cast<uint32_t *>(context) = total;
}

class WinSessionTest : public ::testing::Test {
protected:
    velk_session *Open(const char *port) {
        velk_session *s = nullptr;
        EXPECT_EQ(VELK_FN(lib_, velk_open)(port, &s), VELK_OK) << VELK_FN(lib_, velk_message)(nullptr);
        sessions_.push_back(s);
        return s;
    }
    void TearDown() override {
        for (velk_session *s : sessions_)
            VELK_FN(lib_, velk_close)(s);
    }
    std::string Message(const velk_session *s) { return VELK_FN(lib_, velk_message)(s); }

    VelkLibrary lib_;

private:
    std::vector<velk_session *> sessions_;
};

TEST_F(WinSessionTest, EveryKindOfCallAgainstTheSimulator) {
    velk_session *s = Open("COM5");
    ASSERT_NE(s, nullptr);
    int already = -1;
    ASSERT_EQ(VELK_FN(lib_, velk_sync)(s, &already), VELK_OK) << Message(s);

    uint32_t total = 0;
    ASSERT_EQ(VELK_FN(lib_, velk_set_progress)(s, &CountProgress, &total), VELK_OK);
    const std::vector<uint8_t> data = Pattern(kMoved, 3);
    ASSERT_EQ(VELK_FN(lib_, velk_write_flash)(s, kSlot1, data.data(), kMoved), VELK_OK) << Message(s);
    std::vector<uint8_t> back(kMoved);
    ASSERT_EQ(VELK_FN(lib_, velk_read_flash)(s, kSlot1, back.data(), kMoved), VELK_OK) << Message(s);
    EXPECT_EQ(back, data);
    EXPECT_EQ(total, kMoved);

    const std::vector<uint8_t> eeprom = Pattern(100, 5);
    ASSERT_EQ(VELK_FN(lib_, velk_write_eeprom)(s, 0x100, eeprom.data(), 100), VELK_OK) << Message(s);
    std::vector<uint8_t> eepromBack(100);
    ASSERT_EQ(VELK_FN(lib_, velk_read_eeprom)(s, 0x100, eepromBack.data(), 100), VELK_OK) << Message(s);
    EXPECT_EQ(eepromBack, eeprom);

    // Items: saved, listed in the directory, loaded, deleted.
    const std::vector<uint8_t> item = Pattern(3000, 7);
    const char *names[] = {"item"};
    const void *contents[] = {item.data()};
    const uint32_t lengths[] = {3000};
    ASSERT_EQ(VELK_FN(lib_, velk_put_items)(s, "wintest", 1, names, contents, lengths), VELK_OK) << Message(s);
    velk_directory directory{};
    ASSERT_EQ(VELK_FN(lib_, velk_get_directory)(s, &directory), VELK_OK);
    bool listed = false;
    for (uint32_t slot = 0; slot < directory.slot_count; ++slot) {
        velk_slot_info info{};
        ASSERT_EQ(VELK_FN(lib_, velk_get_slot)(s, slot, &info), VELK_OK);
        listed = listed || (std::string(info.name) == "wintest" && info.items == 1);
    }
    EXPECT_TRUE(listed);
    uint32_t length = 0;
    ASSERT_EQ(VELK_FN(lib_, velk_get_item)(s, "wintest", "item", nullptr, 0, &length), VELK_OK) << Message(s);
    ASSERT_EQ(length, 3000u);
    std::vector<uint8_t> loaded(length);
    ASSERT_EQ(VELK_FN(lib_, velk_get_item)(s, "wintest", "item", loaded.data(), length, &length), VELK_OK);
    EXPECT_EQ(loaded, item);
    ASSERT_EQ(VELK_FN(lib_, velk_delete_item)(s, "wintest", "item"), VELK_OK) << Message(s);
    EXPECT_EQ(VELK_FN(lib_, velk_get_item)(s, "wintest", "item", nullptr, 0, &length), VELK_ERR_RECORD);
}

TEST_F(WinSessionTest, ResultCodesFromRealCauses) {
    std::vector<uint8_t> buffer(kMoved);
    struct TCase {
        const char *cause;
        std::function<velk_result()> call;
        velk_result expected;
        double boundSeconds;
    };
    velk_session *decoder = Open("COM5");
    const TCase cases[] = {
        {"a port that is not there",
         [&] {
             velk_session *none = nullptr;
             const velk_result r = VELK_FN(lib_, velk_open)("COM30", &none);
             EXPECT_EQ(none, nullptr);
             EXPECT_NE(Message(nullptr), "");
             EXPECT_GT(VELK_FN(lib_, velk_system_error)(nullptr), 0); // the system's code, for the host to word
             return r;
         },
         VELK_ERR_PORT, 2},
        {"a port name Windows-1252 cannot hold",
         [&] {
             velk_session *none = nullptr;
             return VELK_FN(lib_, velk_open)("COM\xE2\x9C\x93", &none);
         },
         VELK_ERR_ARGUMENT, 1},
        {"an EEPROM range past its end",
         [&] { return VELK_FN(lib_, velk_read_eeprom)(decoder, 8190, buffer.data(), 4); }, VELK_ERR_ARGUMENT, 1},
        {"a read the decoder refuses", [&] { return VELK_FN(lib_, velk_read_flash)(decoder, 0, buffer.data(), 16); },
         VELK_ERR_REFUSED, 3},
        {"a missing item", [&] { return VELK_FN(lib_, velk_delete_item)(decoder, "NOSUCH", "ITEM"); }, VELK_ERR_RECORD,
         6},
        {"a line nobody reads", [&] { return VELK_FN(lib_, velk_sync)(Open("COM7"), nullptr); }, VELK_ERR_NO_ANSWER, 9},
        {"a line that goes away",
         [&] { return VELK_FN(lib_, velk_read_flash)(Open("COM9"), kSlot1, buffer.data(), kMoved); }, VELK_ERR_LINE, 3},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.cause);
        const auto start = Clock::now();
        EXPECT_EQ(c.call(), c.expected);
        EXPECT_LT(Seconds(start), c.boundSeconds);
    }
}

// Two sessions on two threads, each with its own line, and the original
// exports on a third line at the same time.
TEST_F(WinSessionTest, SessionsOnThreadsBesideTheOriginalExports) {
    velk_session *first = Open("COM5");
    velk_session *second = Open("COM9"); // less than its 3000 bytes
    LibrarySession original{lib_};
    const std::vector<uint8_t> data = Pattern(kMoved, 9);
    ASSERT_EQ(VELK_FN(lib_, velk_write_flash)(first, kSlot1, data.data(), kMoved), VELK_OK) << Message(first);

    std::vector<uint8_t> big(kMoved), small(1024);
    velk_result bigResult = VELK_ERR_BUSY, smallResult = VELK_ERR_BUSY;
    std::thread reader([&] { bigResult = VELK_FN(lib_, velk_read_flash)(first, kSlot1, big.data(), kMoved); });
    std::thread other([&] { smallResult = VELK_FN(lib_, velk_read_flash)(second, kSlot1, small.data(), 1024); });
    // The original exports meanwhile, on a line nobody reads: their sync ends
    // unanswered, as the exports say, without touching the sessions.
    ASSERT_EQ(VELK_FN(lib_, OpenComPort)("COM7"), 1);
    EXPECT_EQ(VELK_FN(lib_, HLPSendSync)(), 1);
    VELK_FN(lib_, HLPWaitFor)();
    EXPECT_EQ(VELK_FN(lib_, CloseComPort)(), 1);
    reader.join();
    other.join();
    EXPECT_EQ(bigResult, VELK_OK) << Message(first);
    EXPECT_EQ(smallResult, VELK_OK) << Message(second);
    EXPECT_EQ(big, data);
}

// A cancel from another thread ends a read paced like a cable within a second,
// and the session works again afterwards.
TEST_F(WinSessionTest, CancelEndsAPacedReadWithinASecond) {
    const char *paced = std::getenv("VELK_WINE_PACED");
    if (paced == nullptr || std::string(paced) != "1")
        GTEST_SKIP() << "needs the paced line (the .paced run)";
    velk_session *s = Open("COM5");
    std::vector<uint8_t> buffer(kMoved);
    Clock::time_point cancelledAt{};
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        cancelledAt = Clock::now();
        VELK_FN(lib_, velk_cancel)(s);
    });
    EXPECT_EQ(VELK_FN(lib_, velk_read_flash)(s, kSlot1, buffer.data(), kMoved), VELK_ERR_CANCELLED);
    const auto ended = Clock::now();
    canceller.join();
    EXPECT_LT(std::chrono::duration<double>(ended - cancelledAt).count(), 1.0);
    EXPECT_EQ(VELK_FN(lib_, velk_read_flash)(s, kSlot1, buffer.data(), 4096), VELK_OK) << Message(s);
}

} // namespace

// The session interface through the real shared library, against the decoder
// simulator: every call, every result code from a real cause, cancel, several
// sessions at once and the original exports beside a session.
#include "CPortDescription.h"
#include "VelkLibrary.h"
#include "velksim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kSlot1 = 0x34030000; // record slot 1
constexpr uint32_t kMoved = 64 * 1024;  // one slot's bytes

std::vector<uint8_t> Pattern(uint32_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return bytes;
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// The session functions resolved from the loaded library.
struct TSessionApi {
    explicit TSessionApi(const VelkLibrary &lib) : lib_(lib) {}
    const VelkLibrary &lib_;
#define VELK_SESSION_FN(name) decltype(&::name) name = VELK_FN(lib_, name)
    VELK_SESSION_FN(velk_version);
    VELK_SESSION_FN(velk_open);
    VELK_SESSION_FN(velk_close);
    VELK_SESSION_FN(velk_message);
    VELK_SESSION_FN(velk_system_error);
    VELK_SESSION_FN(velk_cancel);
    VELK_SESSION_FN(velk_set_progress);
    VELK_SESSION_FN(velk_set_log);
    VELK_SESSION_FN(velk_set_retry_callback);
    VELK_SESSION_FN(velk_set_retries);
    VELK_SESSION_FN(velk_sync);
    VELK_SESSION_FN(velk_read_flash);
    VELK_SESSION_FN(velk_write_flash);
    VELK_SESSION_FN(velk_read_eeprom);
    VELK_SESSION_FN(velk_write_eeprom);
    VELK_SESSION_FN(velk_upload_firmware);
    VELK_SESSION_FN(velk_get_item);
    VELK_SESSION_FN(velk_put_items);
    VELK_SESSION_FN(velk_delete_item);
    VELK_SESSION_FN(velk_free_slot);
    VELK_SESSION_FN(velk_refresh);
    VELK_SESSION_FN(velk_get_directory);
    VELK_SESSION_FN(velk_get_slot);
    VELK_SESSION_FN(velk_get_slot_item);
    VELK_SESSION_FN(velk_check_port_name);
    VELK_SESSION_FN(velk_device_path);
    VELK_SESSION_FN(velk_stored_length);
    VELK_SESSION_FN(velk_describe_slot);
    VELK_SESSION_FN(velk_list_ports);
    VELK_SESSION_FN(velk_describe_port);
#undef VELK_SESSION_FN
};

class SessionTest : public ::testing::Test {
protected:
    // A session on sim, closed at the end of the test.
    velk_session *Open(velksim::TDecoderSim &on) {
        velk_session *s = nullptr;
        EXPECT_EQ(api.velk_open(on.LinePath().c_str(), &s), VELK_OK) << api.velk_message(nullptr);
        sessions_.push_back(s);
        return s;
    }
    void TearDown() override {
        for (velk_session *s : sessions_)
            api.velk_close(s);
    }

    VelkLibrary lib;
    TSessionApi api{lib};
    velksim::TDecoderSim sim;

private:
    std::vector<velk_session *> sessions_;
};

struct TSeen {
    std::vector<std::pair<uint32_t, uint32_t>> progress;
    std::vector<int32_t> logKinds;
};

void VELK_CALL OnProgress(void *context, uint32_t done, uint32_t total) {
    static_cast<TSeen *>(context)->progress.emplace_back(done, total);
}
void VELK_CALL OnLog(void *context, int32_t kind, const char *) {
    static_cast<TSeen *>(context)->logKinds.push_back(kind);
}

TEST_F(SessionTest, EachCallOnce) {
    EXPECT_EQ(std::string(api.velk_version()).rfind("Velkora Library ", 0), 0u);
    velk_session *s = Open(sim);
    TSeen seen;
    ASSERT_EQ(api.velk_set_progress(s, &OnProgress, &seen), VELK_OK);
    ASSERT_EQ(api.velk_set_log(s, &OnLog, &seen), VELK_OK);
    ASSERT_EQ(api.velk_set_retries(s, 2), VELK_OK);

    int already = -1;
    ASSERT_EQ(api.velk_sync(s, &already), VELK_OK);
    EXPECT_EQ(already, 0);
    ASSERT_EQ(api.velk_sync(s, &already), VELK_OK);
    EXPECT_EQ(already, 1);
    EXPECT_EQ(std::string(api.velk_message(s)), "");

    const std::vector<uint8_t> image = Pattern(5000, 1);
    seen.progress.clear();
    ASSERT_EQ(api.velk_write_flash(s, kSlot1, image.data(), uint32_t(image.size())), VELK_OK);
    EXPECT_EQ(seen.progress.back(), std::make_pair(5000u, 5000u));
    std::vector<uint8_t> back(image.size());
    ASSERT_EQ(api.velk_read_flash(s, kSlot1, back.data(), uint32_t(back.size())), VELK_OK);
    EXPECT_EQ(back, image);
    EXPECT_EQ(sim.ReadFlash(kSlot1, 5000), image);

    const std::vector<uint8_t> cells = Pattern(16, 2);
    ASSERT_EQ(api.velk_write_eeprom(s, 0x100, cells.data(), 16), VELK_OK);
    std::vector<uint8_t> cellsBack(16);
    ASSERT_EQ(api.velk_read_eeprom(s, 0x100, cellsBack.data(), 16), VELK_OK);
    EXPECT_EQ(cellsBack, cells);
    ASSERT_EQ(api.velk_upload_firmware(s, image.data(), 300), VELK_OK);
    EXPECT_EQ(sim.Firmware(), std::vector<uint8_t>(image.begin(), image.begin() + 300));

    // Items: two at once, read back by length then bytes, one deleted.
    const char *names[] = {"ALPHA", "BETA"};
    const std::vector<uint8_t> a = Pattern(700, 3), b = Pattern(9, 4);
    const void *data[] = {a.data(), b.data()};
    const uint32_t lengths[] = {700, 9};
    ASSERT_EQ(api.velk_put_items(s, "SESSION", 2, names, data, lengths), VELK_OK) << api.velk_message(s);
    uint32_t length = 0;
    ASSERT_EQ(api.velk_get_item(s, "SESSION", "ALPHA", nullptr, 0, &length), VELK_OK);
    EXPECT_EQ(length, 700u);
    std::vector<uint8_t> item(length);
    ASSERT_EQ(api.velk_get_item(s, "SESSION", "ALPHA", item.data(), length, &length), VELK_OK);
    EXPECT_EQ(item, a);
    ASSERT_EQ(api.velk_delete_item(s, "SESSION", "BETA"), VELK_OK);

    // The directory as data, a damaged record marked as such.
    // In use, one item whose data offset breaks the chain of entries.
    std::vector<uint8_t> damaged(120, 0);
    damaged[1] = 0x40;
    std::memcpy(damaged.data() + 64, "BROKEN", 6);
    damaged[75] = 34; // body length: count, one entry, 10 bytes
    damaged[79] = 1;  // item count
    std::memcpy(damaged.data() + 80, "X", 1);
    damaged[94] = 0x03, damaged[95] = 0xE7; // data offset 999 instead of 24
    damaged[99] = 10;                       // size
    sim.WriteSlot(5, damaged);
    ASSERT_EQ(api.velk_refresh(s, 1), VELK_OK);
    velk_directory directory{};
    ASSERT_EQ(api.velk_get_directory(s, &directory), VELK_OK);
    EXPECT_EQ(directory.base, 0x34020000u);
    EXPECT_EQ(directory.slot_count, 30u);
    bool sawDamaged = false, sawSession = false;
    for (uint32_t i = 0; i < directory.slot_count; ++i) {
        velk_slot_info slot{};
        ASSERT_EQ(api.velk_get_slot(s, i, &slot), VELK_OK);
        EXPECT_EQ(slot.address, 0x34020000u + i * 0x10000u);
        if (std::string(slot.name) == "BROKEN") {
            sawDamaged = true;
            EXPECT_EQ(slot.status, VELK_SLOT_DAMAGED);
            EXPECT_EQ(slot.items, 0u);
        }
        if (std::string(slot.name) == "SESSION") {
            sawSession = true;
            EXPECT_EQ(slot.status, VELK_SLOT_RECORD);
            ASSERT_EQ(slot.items, 1u);
            velk_item_info info{};
            ASSERT_EQ(api.velk_get_slot_item(s, i, 0, &info), VELK_OK);
            EXPECT_EQ(std::string(info.name), "ALPHA");
            EXPECT_EQ(info.size, 700u);
            EXPECT_EQ(api.velk_get_slot_item(s, i, 1, &info), VELK_ERR_ARGUMENT);
        }
    }
    EXPECT_TRUE(sawDamaged);
    EXPECT_TRUE(sawSession);
    // A damaged record's slot freed; a free slot cannot be.
    ASSERT_EQ(api.velk_free_slot(s, 5), VELK_OK) << api.velk_message(s);
    velk_slot_info freed{};
    ASSERT_EQ(api.velk_get_slot(s, 5, &freed), VELK_OK);
    EXPECT_EQ(freed.status, VELK_SLOT_FREE);
    EXPECT_EQ(api.velk_free_slot(s, 5), VELK_ERR_RECORD);
    EXPECT_EQ(api.velk_free_slot(s, 30), VELK_ERR_ARGUMENT);
    ASSERT_EQ(api.velk_refresh(s, 0), VELK_OK); // read back from the decoder
    ASSERT_EQ(api.velk_get_slot(s, 5, &freed), VELK_OK);
    EXPECT_EQ(freed.status, VELK_SLOT_FREE);
    // Every log line came with the session's context, of a known kind.
    ASSERT_FALSE(seen.logKinds.empty());
    for (int32_t kind : seen.logKinds)
        EXPECT_TRUE(kind == VELK_LOG_LINK || kind == VELK_LOG_TRANSFER) << kind;
}

// Each result code from a real cause: the code, a message, and an end within
// its bound.
TEST_F(SessionTest, ResultCodesFromRealCauses) {
    velk_session *s = Open(sim);
    std::vector<uint8_t> buffer(kMoved);
    velksim::TSimFaults silent, stopsAfterSync, hangsUp, shortReads;
    silent.stopAfter = 0;
    stopsAfterSync.stopAfter = 1;
    hangsUp.hangUpAfterBytes = 4000;
    shortReads.shortReads = 1;
    const auto read = [&](uint32_t address, uint32_t length) {
        return api.velk_read_flash(s, address, buffer.data(), length);
    };
    struct TCase {
        const char *cause;
        velksim::TSimFaults faults;
        std::function<velk_result()> call;
        velk_result expected;
        double boundSeconds;
    };
    const TCase cases[] = {
        {"a port that is not there",
         {},
         [&] {
             velk_session *none = nullptr;
             const velk_result r = api.velk_open("/dev/velk-no-such-port", &none);
             EXPECT_EQ(none, nullptr);
             EXPECT_NE(std::string(api.velk_message(nullptr)), "");
             EXPECT_EQ(api.velk_system_error(nullptr), ENOENT); // a host words the cause itself
             return r;
         },
         VELK_ERR_PORT,
         1},
        {"a port name Windows-1252 cannot hold",
         {},
         [&] {
             velk_session *none = nullptr;
             return api.velk_open("/dev/\xE2\x9C\x93", &none);
         },
         VELK_ERR_ARGUMENT,
         1},
        {"a record name Windows-1252 cannot hold",
         {},
         [&] { return api.velk_delete_item(s, "\xE6\x97\xA5", "ITEM"); },
         VELK_ERR_ARGUMENT,
         1},
        {"an item name too long",
         {},
         [&] { return api.velk_delete_item(s, "SESSION", "THIRTEENCHARS"); },
         VELK_ERR_ARGUMENT,
         1},
        {"an EEPROM range past its end",
         {},
         [&] { return api.velk_read_eeprom(s, 8190, buffer.data(), 4); },
         VELK_ERR_ARGUMENT,
         1},
        {"a missing item", {}, [&] { return api.velk_delete_item(s, "NOSUCH", "ITEM"); }, VELK_ERR_RECORD, 5},
        {"a read the decoder refuses", {}, [&] { return read(0, 16); }, VELK_ERR_REFUSED, 2},
        {"an answer of the wrong length", shortReads, [&] { return read(kSlot1, 16); }, VELK_ERR_PROTOCOL, 2},
        {"a silent decoder", silent, [&] { return read(kSlot1, 16); }, VELK_ERR_NO_ANSWER, 7},
        {"a decoder that stops after the sync", stopsAfterSync, [&] { return read(kSlot1, 16); }, VELK_ERR_TIMEOUT, 7},
        {"a line that goes away", hangsUp, [&] { return read(kSlot1, kMoved); }, VELK_ERR_LINE, 2},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.cause);
        sim.SetFaults(c.faults);
        const auto start = Clock::now();
        EXPECT_EQ(c.call(), c.expected) << api.velk_message(s);
        EXPECT_LT(Seconds(start), c.boundSeconds);
        if (c.expected != VELK_ERR_ARGUMENT && c.expected != VELK_ERR_PORT) {
            EXPECT_NE(std::string(api.velk_message(s)), "");
        }
    }
}

void VELK_CALL CountRetries(void *context, int32_t kind, const char *) {
    if (kind == VELK_LOG_SESSION)
        ++*static_cast<int *>(context);
}

// The retries' own callback: which try, of how many, and why.
void VELK_CALL NoteRetry(void *context, uint32_t attempt, uint32_t retries, int32_t cause, const char *message) {
    static_cast<std::vector<std::string> *>(context)->push_back(std::to_string(attempt) + "/" +
                                                                std::to_string(retries) + " " + std::to_string(cause) +
                                                                (message[0] != '\0' ? " said" : " silent"));
}

// Retries are the session's own (off by default, as the causes' table shows):
// a read the decoder took but never answered is sent again as often as asked,
// after the reply time-out; a refusal never is.
TEST_F(SessionTest, RetriesPerSession) {
    velk_session *s = Open(sim);
    int retried = 0;
    ASSERT_EQ(api.velk_set_log(s, &CountRetries, &retried), VELK_OK);
    std::vector<std::string> heard;
    ASSERT_EQ(api.velk_set_retry_callback(s, &NoteRetry, &heard), VELK_OK);
    velksim::TSimFaults swallowed, refused;
    swallowed.swallowRate = 1;
    swallowed.swallowKinds = velksim::rqReadFlash;
    refused.refuseReads = 1;
    struct TCase {
        const char *name;
        velksim::TSimFaults faults;
        uint32_t retries;
        velk_result expected;
        int64_t requests;
        std::vector<std::string> heard; // as the retry callback heard them
    };
    const TCase cases[] = {
        {"unanswered, one retry", swallowed, 1, VELK_ERR_TIMEOUT, 2, {"1/1 -5 said"}},
        {"refused, two retries", refused, 2, VELK_ERR_REFUSED, 1, {}},
    };
    std::vector<uint8_t> buffer(16);
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(api.velk_set_retries(s, c.retries), VELK_OK);
        sim.SetFaults(c.faults);
        sim.ResetCounters();
        retried = 0;
        heard.clear();
        EXPECT_EQ(api.velk_read_flash(s, kSlot1, buffer.data(), 16), c.expected);
        EXPECT_EQ(heard, c.heard);
        EXPECT_TRUE(sim.WaitIdle());
        EXPECT_EQ(sim.Counters().readFlashRequests, c.requests);
        EXPECT_EQ(retried, int(c.requests - 1));
    }
}

// The session a signal handler cancels, and the library's velk_cancel.
std::atomic<velk_session *> g_signalled{nullptr};
std::atomic<decltype(&::velk_cancel)> g_cancel{nullptr};
std::atomic<int64_t> g_cancelledAt{0}; // steady clock ticks

void CancelOnSignal(int) {
    g_cancelledAt.store(Clock::now().time_since_epoch().count());
    if (velk_session *s = g_signalled.load())
        g_cancel.load()(s);
}

// A 64 KiB read at the line speed of a real cable takes about 6 s: a cancel
// ends it within 1 s, and the session goes on working afterwards.
TEST_F(SessionTest, CancelEndsAPacedReadWithinASecond) {
    sim.WriteFlash(kSlot1, Pattern(kMoved, 9));
    velk_session *s = Open(sim);
    g_cancel = api.velk_cancel;
    struct TWay {
        const char *name;
        std::function<void()> arrange; // makes a cancel come in 500 ms
    };
    std::thread canceller;
    const TWay ways[] = {
        {"from another thread",
         [&] {
             canceller = std::thread([&] {
                 std::this_thread::sleep_for(std::chrono::milliseconds(500));
                 g_cancelledAt.store(Clock::now().time_since_epoch().count());
                 api.velk_cancel(s);
             });
         }},
        {"from a signal handler",
         [&] {
             g_signalled = s;
             std::signal(SIGALRM, &CancelOnSignal);
             itimerval in{{0, 0}, {0, 500000}};
             ::setitimer(ITIMER_REAL, &in, nullptr);
         }},
    };
    std::vector<uint8_t> buffer(kMoved);
    for (const TWay &way : ways) {
        SCOPED_TRACE(way.name);
        sim.SetBaud(115200);
        g_cancelledAt = 0;
        way.arrange();
        EXPECT_EQ(api.velk_read_flash(s, kSlot1, buffer.data(), kMoved), VELK_ERR_CANCELLED);
        const Clock::time_point cancelledAt{Clock::duration(g_cancelledAt.load())};
        EXPECT_GT(g_cancelledAt.load(), 0);
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - cancelledAt).count(), 1.0);
        if (canceller.joinable())
            canceller.join();
        g_signalled = nullptr;
        sim.SetBaud(0);
        ASSERT_EQ(api.velk_read_flash(s, kSlot1, buffer.data(), kMoved), VELK_OK) << api.velk_message(s);
        EXPECT_EQ(buffer, Pattern(kMoved, 9));
    }
    std::signal(SIGALRM, SIG_DFL);
}

// velk_close from another thread in the middle of a paced read: the read ends
// as cancelled, the close waits for it, and the reading thread touches the
// session no more once the close may free it.
TEST_F(SessionTest, CloseFromAnotherThreadEndsTheRunningCallFirst) {
    velk_session *s = nullptr;
    ASSERT_EQ(api.velk_open(sim.LinePath().c_str(), &s), VELK_OK);
    sim.SetBaud(115200);
    std::atomic<int> result{VELK_OK};
    std::thread reader([&] {
        std::vector<uint8_t> buffer(kMoved);
        result = api.velk_read_flash(s, kSlot1, buffer.data(), kMoved);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const auto closing = Clock::now();
    api.velk_close(s);
    EXPECT_LT(Seconds(closing), 1.0);
    reader.join();
    EXPECT_EQ(result.load(), VELK_ERR_CANCELLED);
}

// Four sessions on four threads at once, each writing and reading back 64 KiB
// of its own decoder.
TEST_F(SessionTest, FourSessionsOnFourThreads) {
    std::vector<std::unique_ptr<velksim::TDecoderSim>> sims;
    std::vector<velk_session *> sessions;
    for (int i = 0; i < 4; ++i) {
        sims.push_back(std::make_unique<velksim::TDecoderSim>());
        sessions.push_back(Open(*sims.back()));
    }
    std::vector<std::thread> threads;
    std::vector<velk_result> written(4), read(4);
    std::vector<std::vector<uint8_t>> back(4, std::vector<uint8_t>(kMoved));
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            const std::vector<uint8_t> bytes = Pattern(kMoved, uint8_t(i));
            written[i] = api.velk_write_flash(sessions[i], kSlot1, bytes.data(), kMoved);
            read[i] = api.velk_read_flash(sessions[i], kSlot1, back[i].data(), kMoved);
        });
    for (std::thread &t : threads)
        t.join();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(written[i], VELK_OK) << api.velk_message(sessions[i]);
        EXPECT_EQ(read[i], VELK_OK) << api.velk_message(sessions[i]);
        EXPECT_EQ(back[i], Pattern(kMoved, uint8_t(i)));
        EXPECT_EQ(sims[i]->ReadFlash(kSlot1, kMoved), Pattern(kMoved, uint8_t(i)));
    }
}

std::atomic<int> g_exportLines{0};
void VELK_CALL CountExportLine(int32_t, const char *) {
    ++g_exportLines;
}

// The library-wide decoder of the original exports, driven on this thread,
// while a session reads from another decoder on another thread: each gets its
// own bytes and its own log lines.
TEST_F(SessionTest, OriginalExportsBesideASession) {
    velksim::TDecoderSim other;
    other.WriteFlash(kSlot1, Pattern(kMoved, 5));
    sim.WriteFlash(kSlot1, Pattern(kMoved, 6));
    velk_session *s = Open(sim);
    TSeen seen;
    ASSERT_EQ(api.velk_set_log(s, &OnLog, &seen), VELK_OK);

    VELK_FN(lib, Initialize)();
    VELK_FN(lib, SetLogEvent)(&CountExportLine);
    ASSERT_EQ(VELK_FN(lib, OpenComPort)(other.LinePath().c_str()), 1);
    std::vector<uint8_t> viaSession(kMoved);
    std::thread reader([&] { EXPECT_EQ(api.velk_read_flash(s, kSlot1, viaSession.data(), kMoved), VELK_OK); });
    ASSERT_EQ(VELK_FN(lib, HLPReadFlash)(kSlot1, int32_t(kMoved)), 1);
    ASSERT_EQ(VELK_FN(lib, HLPWaitFor)(), 1);
    std::vector<uint8_t> viaExports(kMoved);
    EXPECT_EQ(VELK_FN(lib, HLPGetBuffer)(viaExports.data()), int32_t(kMoved));
    reader.join();
    VELK_FN(lib, CloseComPort)();
    VELK_FN(lib, Finalize)();

    EXPECT_EQ(viaExports, Pattern(kMoved, 5));
    EXPECT_EQ(viaSession, Pattern(kMoved, 6));
    EXPECT_GT(g_exportLines.load(), 0);
    EXPECT_FALSE(seen.logKinds.empty());
}

// A callback may not pull the session away: a call from inside it is busy, a
// close from inside it takes effect once the call has returned.
struct TInside {
    const TSessionApi *api;
    velk_session *s;
    velk_result nested = VELK_OK;
    bool close = false;
};
void VELK_CALL CallInside(void *context, uint32_t, uint32_t) {
    auto *inside = static_cast<TInside *>(context);
    inside->nested = inside->api->velk_sync(inside->s, nullptr);
    if (inside->close)
        inside->api->velk_close(inside->s);
}

TEST_F(SessionTest, CallbacksCannotPullTheSessionAway) {
    velk_session *s = nullptr;
    ASSERT_EQ(api.velk_open(sim.LinePath().c_str(), &s), VELK_OK);
    TInside inside{&api, s};
    ASSERT_EQ(api.velk_set_progress(s, &CallInside, &inside), VELK_OK);
    std::vector<uint8_t> buffer(4096);
    EXPECT_EQ(api.velk_read_flash(s, kSlot1, buffer.data(), 4096), VELK_OK);
    EXPECT_EQ(inside.nested, VELK_ERR_BUSY);
    inside.close = true;
    EXPECT_EQ(api.velk_read_flash(s, kSlot1, buffer.data(), 4096), VELK_OK);
    // Closed: the port can be opened again at once.
    velk_session *again = Open(sim);
    EXPECT_NE(again, nullptr);
}

// The process ends with sessions open, one idle and one in the middle of a
// paced read on another thread: it ends at once, with its own exit code.
TEST_F(SessionTest, ProcessExitWithOpenSessionsEndsAtOnce) {
    velksim::TDecoderSim paced;
    paced.SetBaud(115200);
    const std::string idlePort = sim.LinePath(), busyPort = paced.LinePath();
    char *const argv[] = {const_cast<char *>(VELK_EXIT_HOST_PATH), const_cast<char *>(idlePort.c_str()),
                          const_cast<char *>(busyPort.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, VELK_EXIT_HOST_PATH, nullptr, nullptr, argv, environ), 0);
    const auto start = Clock::now();
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 && Seconds(start) < 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ended == 0)
        ::kill(child, SIGKILL);
    ASSERT_EQ(ended, child) << "the process did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
    // Well before the paced read it left in the middle could have ended (6 s).
    EXPECT_LT(Seconds(start), 4.0);
}

// The port listing through the export: the count alone, the whole list, room
// for fewer ports than there are (the count still given, nothing written) and
// null pointers; each entry as the library's own listing of this machine has it.
TEST(SessionPortsTest, ListingThroughTheExport) {
    VelkLibrary lib;
    TSessionApi api{lib};
    const std::vector<TPortDescription> internal = DescribeComPorts();
    const uint32_t n = static_cast<uint32_t>(internal.size());
    velk_port_info marker{};
    std::strcpy(marker.device, "untouched");
    struct TCase {
        const char *What;
        bool Records;      // a buffer of capacity records, else null
        uint32_t Capacity; // records offered
        bool Count;        // a place for the count, else null
        velk_result Result;
    };
    std::vector<TCase> cases = {
        {"the count alone", false, 0, true, VELK_OK},
        {"room for every port", true, n, true, VELK_OK},
        {"room to spare", true, n + 3, true, VELK_OK},
        {"no place for the count", true, n, false, VELK_ERR_ARGUMENT},
    };
    if (n > 0)
        cases.push_back({"room for one port fewer", true, n - 1, true, VELK_ERR_ARGUMENT});
    for (const TCase &c : cases) {
        std::vector<velk_port_info> records(c.Capacity + 1, marker); // one beyond the capacity
        uint32_t count = 12345;
        ASSERT_EQ(api.velk_list_ports(c.Records ? records.data() : nullptr, c.Capacity, c.Count ? &count : nullptr),
                  c.Result)
            << c.What;
        EXPECT_EQ(std::string(api.velk_message(nullptr)).empty(), c.Result == VELK_OK) << c.What;
        if (c.Count) {
            EXPECT_EQ(count, n) << c.What << ": the count is given whether or not the ports fit";
        }
        const uint32_t filled = c.Records && c.Result == VELK_OK ? n : 0;
        for (uint32_t i = 0; i < records.size(); ++i) {
            const velk_port_info &got = records[i];
            if (i >= filled) {
                EXPECT_STREQ(got.device, "untouched") << c.What << ": record " << i;
                continue;
            }
            const TPortDescription &port = internal[i];
            EXPECT_EQ(got.device, port.Device) << c.What;
            EXPECT_EQ(got.by_id, port.ById) << c.What;
            EXPECT_EQ(got.serial, port.Serial) << c.What;
            EXPECT_EQ(got.vendor_id, port.VendorId) << c.What;
            EXPECT_EQ(got.product_id, port.ProductId) << c.What;
            EXPECT_EQ(got.manufacturer, port.Manufacturer) << c.What;
            EXPECT_EQ(got.product, port.Product) << c.What;
            EXPECT_EQ(got.driver, port.Driver) << c.What;
            EXPECT_EQ(got.latency_ms, port.LatencyMs.value_or(-1)) << c.What;
        }
    }
}

// One port by any name velk_open takes: a listed device as listed, a remote
// port by its name alone, and what is no name refused.
TEST(SessionPortsTest, DescribingOnePort) {
    VelkLibrary lib;
    TSessionApi api{lib};
    const std::vector<TPortDescription> internal = DescribeComPorts();
    struct TCase {
        std::string Name;
        velk_result Result;
        std::string Device; // as described
        std::string Driver;
    };
    std::vector<TCase> cases = {
        {"rfc2217://bench-b:4001", VELK_OK, "rfc2217://bench-b:4001", ""},
        {"", VELK_ERR_ARGUMENT, "", ""},
        {"tty\xE4\xB8\x80", VELK_ERR_ARGUMENT, "", ""}, // U+4E00: Windows-1252 cannot hold it
    };
    for (const TPortDescription &port : internal)
        cases.push_back({port.Device, VELK_OK, port.Device, port.Driver});
    for (const TCase &c : cases) {
        velk_port_info info{};
        ASSERT_EQ(api.velk_describe_port(c.Name.c_str(), &info), c.Result) << c.Name;
        if (c.Result != VELK_OK) {
            EXPECT_NE(std::string(api.velk_message(nullptr)), "") << c.Name;
            continue;
        }
        EXPECT_EQ(info.device, c.Device);
        EXPECT_EQ(info.driver, c.Driver) << c.Name;
        if (c.Driver.empty()) {
            EXPECT_EQ(info.latency_ms, -1) << c.Name;
        }
    }
    velk_port_info info{};
    EXPECT_EQ(api.velk_describe_port(nullptr, &info), VELK_ERR_ARGUMENT);
    EXPECT_EQ(api.velk_describe_port("/dev/ttyS0", nullptr), VELK_ERR_ARGUMENT);
}

// The calls without a session: each failure an argument error with its cause
// for velk_message(NULL), each success clearing it.
TEST(SessionOffline, CheckPortName) {
    const VelkLibrary lib;
    const TSessionApi api{lib};
    struct TCase {
        const char *port;
        velk_result result;
        int32_t remote;
        std::string host;
        uint32_t tcpPort;
        std::string cause; // part of the message of a failure
    };
    const std::string longHost = "rfc2217://" + std::string(300, 'h') + ":7";
    const TCase cases[] = {
        {"/dev/ttyUSB0", VELK_OK, 0, "", 0, ""},
        {"COM3", VELK_OK, 0, "", 0, ""},
        {"rfc2217://bench-b:4001", VELK_OK, 1, "bench-b", 4001, ""},
        {"SOCKET://[::1]:7000", VELK_OK, 1, "::1", 7000, ""},
        {"rfc2217://[::1", VELK_ERR_ARGUMENT, 0, "", 0, "unclosed [ in rfc2217://[::1"},
        {"socket://h:99999", VELK_ERR_ARGUMENT, 0, "", 0, "no port number from 1 to 65535"},
        {longHost.c_str(), VELK_ERR_ARGUMENT, 0, "", 0, "has more than 255 bytes"},
        {"/dev/\xE6\x97\xA5", VELK_ERR_ARGUMENT, 0, "", 0, "Windows-1252"},
        {nullptr, VELK_ERR_ARGUMENT, 0, "", 0, "none given"},
    };
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.port ? c.port : "(null)");
        velk_port_name name{};
        name.tcp_port = 12345;
        ASSERT_EQ(api.velk_check_port_name(c.port, &name), c.result);
        const std::string message = api.velk_message(nullptr);
        if (c.result != VELK_OK) {
            EXPECT_NE(message.find(c.cause), std::string::npos) << message;
            EXPECT_EQ(name.tcp_port, 12345u); // untouched
            continue;
        }
        EXPECT_EQ(message, "");
        EXPECT_EQ(name.remote, c.remote);
        EXPECT_EQ(std::string(name.host), c.host);
        EXPECT_EQ(name.tcp_port, c.tcpPort);
        EXPECT_EQ(api.velk_check_port_name(c.port, nullptr), VELK_OK);
    }
    // Without a place for the name, only a name that velk_open refuses fails.
    EXPECT_EQ(api.velk_check_port_name(longHost.c_str(), nullptr), VELK_OK);
}

TEST(SessionOffline, DevicePath) {
    const VelkLibrary lib;
    const TSessionApi api{lib};
    const struct {
        const char *port;
        std::string path;
    } cases[] = {
        {"COM3", "/dev/ttyS2"},
        {"ttyUSB0", "/dev/ttyUSB0"},
        {"/tmp/line", "/tmp/line"},
        {"rfc2217://h:1", "rfc2217://h:1"},
        {"/dev/caf\xC3\xA9", "/dev/caf\xC3\xA9"}, // UTF-8 in, UTF-8 out
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.port);
        uint32_t length = 0;
        ASSERT_EQ(api.velk_device_path(c.port, nullptr, 0, &length), VELK_OK);
        EXPECT_EQ(length, c.path.size());
        std::vector<char> buffer(c.path.size() + 1, 'x');
        ASSERT_EQ(api.velk_device_path(c.port, buffer.data(), uint32_t(buffer.size()), &length), VELK_OK);
        EXPECT_EQ(std::string(buffer.data()), c.path);
        // One byte short of the terminating zero: nothing written.
        std::vector<char> shorter(c.path.size(), 'x');
        EXPECT_EQ(api.velk_device_path(c.port, shorter.data(), uint32_t(shorter.size()), &length), VELK_ERR_ARGUMENT);
        EXPECT_EQ(std::string(shorter.begin(), shorter.end()), std::string(c.path.size(), 'x'));
    }
    EXPECT_EQ(api.velk_device_path("/dev/\xE6\x97\xA5", nullptr, 0, nullptr), VELK_ERR_ARGUMENT);
    EXPECT_NE(std::string(api.velk_message(nullptr)).find("Windows-1252"), std::string::npos);
}

TEST(SessionOffline, StoredLength) {
    const VelkLibrary lib;
    const TSessionApi api{lib};
    const struct {
        const char *text;
        velk_result result;
        uint32_t length;
    } cases[] = {
        {"SET", VELK_OK, 3},
        {"", VELK_OK, 0},
        {"caf\xC3\xA9", VELK_OK, 4},              // é: one byte
        {"\xE2\x82\xAC\xE2\x80\x9C", VELK_OK, 2}, // the euro sign and a quote: 0x80, 0x93
        {"\xE6\x97\xA5", VELK_ERR_ARGUMENT, 0},   // no Windows-1252 byte
        {"a\xFF", VELK_ERR_ARGUMENT, 0},          // not UTF-8
        {"\xC4\x80", VELK_ERR_ARGUMENT, 0},       // U+0100, just past Latin-1
        {nullptr, VELK_ERR_ARGUMENT, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text ? c.text : "(null)");
        uint32_t length = 99;
        ASSERT_EQ(api.velk_stored_length(c.text, &length), c.result);
        EXPECT_EQ(length, c.result == VELK_OK ? c.length : 99u);
        EXPECT_EQ(std::string(api.velk_message(nullptr)).empty(), c.result == VELK_OK);
    }
    EXPECT_EQ(api.velk_stored_length("SET", nullptr), VELK_ERR_ARGUMENT);
}

// A slot's bytes as the decoder keeps them: in use, a name, one item of 10
// bytes after the item table.
std::vector<uint8_t> SlotImage(const char *name, uint8_t dataOffset) {
    std::vector<uint8_t> slot(kMoved, 0xFF);
    std::fill(slot.begin(), slot.begin() + 120, 0);
    slot[1] = 0x40; // in use
    std::memcpy(slot.data() + 64, name, std::strlen(name));
    slot[75] = 34; // body length: count, one entry, 10 bytes
    slot[79] = 1;  // item count
    std::memcpy(slot.data() + 80, "ITEM", 4);
    slot[95] = dataOffset; // 24 when sound
    slot[99] = 10;         // size
    return slot;
}

TEST(SessionOffline, DescribeSlot) {
    const VelkLibrary lib;
    const TSessionApi api{lib};
    const struct {
        std::vector<uint8_t> image;
        velk_result result;
        int32_t status;
        std::string name;
        uint32_t items, free;
    } cases[] = {
        {SlotImage("caf\xE9", 24), VELK_OK, VELK_SLOT_RECORD, "caf\xC3\xA9", 1, 65460 - 34},
        {SlotImage("BROKEN", 99), VELK_OK, VELK_SLOT_DAMAGED, "BROKEN", 0, 65460 - 34},
        {std::vector<uint8_t>(kMoved, 0xFF), VELK_OK, VELK_SLOT_FREE, "", 0, 0},
        {std::vector<uint8_t>(kMoved, 0), VELK_OK, VELK_SLOT_FREE, "", 0, 0},
        {std::vector<uint8_t>(kMoved - 1, 0), VELK_ERR_ARGUMENT, 0, "", 0, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name + " " + std::to_string(c.image.size()));
        velk_slot_info info{};
        info.slot = 77;
        ASSERT_EQ(api.velk_describe_slot(c.image.data(), uint32_t(c.image.size()), &info), c.result);
        if (c.result != VELK_OK) {
            EXPECT_EQ(info.slot, 77u);
            EXPECT_NE(std::string(api.velk_message(nullptr)), "");
            continue;
        }
        EXPECT_EQ(info.status, c.status);
        EXPECT_EQ(std::string(info.name), c.name);
        EXPECT_EQ(info.items, c.items);
        EXPECT_EQ(info.free, c.free);
        EXPECT_EQ(info.slot, 0u);
        EXPECT_EQ(info.address, 0u);
    }
    velk_slot_info info{};
    EXPECT_EQ(api.velk_describe_slot(nullptr, kMoved, &info), VELK_ERR_ARGUMENT);
}

} // namespace

// The owner-thread queue on Windows: any message loop of the owning thread
// serves it through its message-only window, its event handle says when
// messages wait, and the library's own wait keeps the thread's windows alive.
#include <windows.h>

#include "velkmessagequeue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using TRelease = TMessageTarget::TRelease;

// Runs a plain loop, as a modal dialog or the host's main loop would, until
// WM_QUIT or timeoutMs; true when WM_QUIT ended it.
bool RunMessageLoop(int timeoutMs) {
    const UINT_PTR timer = ::SetTimer(nullptr, 0, static_cast<UINT>(timeoutMs), nullptr);
    MSG message;
    bool quit = false;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == nullptr && message.wParam == timer)
            break;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (message.message == WM_QUIT)
        quit = true;
    ::KillTimer(nullptr, timer);
    return quit;
}

TEST(WinQueueTest, AnyMessageLoopOfTheThreadServesTheQueue) {
    for (TRelease release : {TRelease::Posted, TRelease::Accepted, TRelease::Handled}) {
        TMessageTarget target;
        std::atomic<DWORD> ranOn{0};
        std::atomic<bool> sent{false};
        std::thread worker([&] {
            sent = target.Send(
                [&] {
                    ranOn = ::GetCurrentThreadId();
                    ::PostQuitMessage(0);
                },
                release);
        });
        EXPECT_TRUE(RunMessageLoop(5000)) << "the loop never saw the handler run";
        worker.join();
        EXPECT_TRUE(sent);
        EXPECT_EQ(ranOn, ::GetCurrentThreadId());
        EXPECT_EQ(target.Queue().Waiting(), 0u);
    }
}

TEST(WinQueueTest, TheHandleIsAnEventSignalledWhileMessagesWait) {
    TMessageTarget target;
    const auto event = reinterpret_cast<HANDLE>(static_cast<intptr_t>(target.Queue().Handle()));
    EXPECT_EQ(::WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    std::thread worker([&] { target.Send([] {}, TRelease::Posted); });
    // What a host without a loop of its own does: wait on the handle.
    EXPECT_EQ(::MsgWaitForMultipleObjects(1, &event, FALSE, 5000, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    worker.join();
    EXPECT_EQ(target.Queue().ProcessMessages(), 1);
    EXPECT_EQ(::WaitForSingleObject(event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(WinQueueTest, TheLibrarysWaitDispatchesTheThreadsWindowMessagesAndLeavesQuitToTheHost) {
    TMessageQueue &queue = TMessageQueue::Current();
    // The host's window messages are dispatched while the wait lasts its time.
    static std::atomic<int> timerCalls{0};
    timerCalls = 0;
    struct Tick {
        static void CALLBACK Count(HWND, UINT, UINT_PTR, DWORD) { ++timerCalls; }
    };
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10, &Tick::Count);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(queue.WaitForMessage(300));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
    ::KillTimer(nullptr, timer);
    EXPECT_GE(timerCalls, 5);

    // A WM_QUIT stays for the host's loop, and the wait then lasts its time.
    ::PostQuitMessage(7);
    EXPECT_FALSE(queue.WaitForMessage(100));
    MSG message;
    ASSERT_TRUE(::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);
}

} // namespace

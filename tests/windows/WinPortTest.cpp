// The serial port on Windows, on COM ports whose far ends are Linux programs
// (see wine-with-lines.sh): the settings reach the device, bytes make the
// round trip unchanged, a write into a line nobody reads is bounded, a far end
// that goes away is reported once.
#include <windows.h>

#include "CPort.h"
#include "PumpUntil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

namespace {

const char kEcho[] = "COM6";
const char kSilent[] = "COM7";
const char kVanishing[] = "COM8";

// Wine runs Windows programs on Linux; some things only Windows does.
bool UnderWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The port as the library opens it: 115200 baud, 8N1, DTR and RTS off,
// received bytes announced to this thread.
void Configure(TComPort &port, const char *name) {
    port.SetPort(name);
    port.SetBaudRate(br115200);
    port.SetSyncMethod(smWindowSync);
    port.FlowControl().SetControlDTR(dtrDisable);
    port.FlowControl().SetControlRTS(rtsDisable);
}

// Everything the port receives, read as its notices come.
struct TReceiver {
    std::vector<uint8_t> Bytes;
    std::optional<EComPort> LineError;
    explicit TReceiver(TComPort &port) {
        port.OnRxChar = [this](TCustomComPort &sender, int32_t count) {
            std::vector<uint8_t> chunk(static_cast<size_t>(count));
            chunk.resize(static_cast<size_t>(sender.Read(chunk.data(), count)));
            Bytes.insert(Bytes.end(), chunk.begin(), chunk.end());
        };
        port.OnLineError = [this](TCustomComPort &, const EComPort &error) { LineError = error; };
    }
};

TEST(WinPortTest, TheLineSettingsReachTheDevice) {
    TComPort port;
    Configure(port, kEcho);
    port.Open();
    if (!UnderWine())
        GTEST_SKIP() << "reads the settings through a second open, which only Wine allows";
    HANDLE second = ::CreateFileA("\\\\.\\COM6", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    ASSERT_TRUE(::GetCommState(second, &dcb));
    ::CloseHandle(second);
    EXPECT_EQ(dcb.BaudRate, 115200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
}

TEST(WinPortTest, BytesMakeTheRoundTripUnchanged) {
    TComPort port;
    Configure(port, kEcho);
    TReceiver receiver(port);
    port.Open();
    // Every byte value, in writes of several sizes, some larger than the
    // driver's queues.
    std::vector<uint8_t> sent;
    for (int size : {1, 7, 256, 1030, 20000}) {
        std::vector<uint8_t> chunk(static_cast<size_t>(size));
        for (int i = 0; i < size; ++i)
            chunk[static_cast<size_t>(i)] = static_cast<uint8_t>((i * 7 + size) & 0xFF);
        EXPECT_EQ(port.Write(chunk.data(), size), size);
        sent.insert(sent.end(), chunk.begin(), chunk.end());
        ASSERT_TRUE(PumpUntil([&] { return receiver.Bytes.size() >= sent.size(); }, 10000))
            << receiver.Bytes.size() << " of " << sent.size() << " bytes came back";
    }
    EXPECT_EQ(receiver.Bytes, sent);
    EXPECT_EQ(port.InputCount(), 0);
    EXPECT_FALSE(receiver.LineError);
    port.Close();
}

TEST(WinPortTest, BytesLeftUnreadBringOneNoticeAndNoBusyLoop) {
    TComPort port;
    Configure(port, kEcho);
    int notices = 0;
    port.OnRxChar = [&](TCustomComPort &, int32_t) { ++notices; }; // reads nothing, as an idle link engine
    port.Open();
    const uint8_t bytes[10] = {};
    port.Write(bytes, 10);
    FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernelBefore, &userBefore);
    PumpUntil([] { return false; }, 1000);
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernelAfter, &userAfter);
    auto ticks = [](FILETIME t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    const uint64_t cpu100ns = ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore);
    EXPECT_EQ(notices, 1);
    EXPECT_EQ(port.InputCount(), 10);
    EXPECT_LT(cpu100ns, 3000000u) << "the process was busy for " << cpu100ns / 10000 << " ms of 1000";
    port.Close();
}

TEST(WinPortTest, AWriteIntoALineNobodyReadsIsBounded) {
    TComPort port;
    Configure(port, kSilent);
    port.Timeouts().SetWriteTotalConstant(300);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Open();
    std::vector<uint8_t> data(4 << 20, 0x55);
    const auto start = std::chrono::steady_clock::now();
    try {
        port.Write(data.data(), static_cast<int32_t>(data.size()));
        ADD_FAILURE() << "4 MiB written into a line nobody reads";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.Code(), ceWrite);
        EXPECT_EQ(error.SystemCode(), static_cast<int32_t>(ERROR_TIMEOUT));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    port.Close();
}

TEST(WinPortTest, AFarEndThatGoesAwayIsReportedOnce) {
    TComPort port;
    Configure(port, kVanishing);
    TReceiver receiver(port);
    int reports = 0;
    port.OnLineError = [&](TCustomComPort &, const EComPort &error) {
        ++reports;
        receiver.LineError = error;
    };
    port.Open();
    const uint8_t hello[] = {1, 2, 3};
    port.Write(hello, 3);
    ASSERT_TRUE(PumpUntil([&] { return receiver.Bytes.size() == 3; }, 5000));
    // The far end leaves after 2 s without traffic.
    ASSERT_TRUE(PumpUntil([&] { return receiver.LineError.has_value(); }, 10000)) << "no line error";
    EXPECT_EQ(receiver.LineError->Code(), ceRead);
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(reports, 1);
    const auto start = std::chrono::steady_clock::now();
    port.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(WinPortTest, ASecondOpenOfAPortFails) {
    if (UnderWine())
        GTEST_SKIP() << "Wine opens the same serial port twice; Windows refuses the second open";
    TComPort first, second;
    Configure(first, kEcho);
    Configure(second, kEcho);
    first.Open();
    EXPECT_THROW(second.Open(), EComPort);
}

TEST(WinPortTest, ThePortListComesFromTheRegistry) {
    // A key of the test's own, shaped as the system's list: value names are
    // the drivers' device names, data the port names.
    const char key[] = "SOFTWARE\\VelkLinkTest\\SERIALCOMM";
    HKEY created = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &created, nullptr),
              ERROR_SUCCESS);
    for (auto [device, name] : {std::pair{"\\Device\\Serial1", "COM12"}, std::pair{"\\Device\\VCP0", "com3"},
                                std::pair{"\\Device\\Serial0", "COM1"}})
        ::RegSetValueExA(created, device, 0, REG_SZ, reinterpret_cast<const BYTE *>(name), ::lstrlenA(name) + 1);
    ::RegCloseKey(created);
    std::vector<std::string> names{"stale"};
    TCustomComPort::EnumComPorts(names, key);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VelkLinkTest");
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM12", "com3"}));

    TCustomComPort::EnumComPorts(names, "SOFTWARE\\VelkLinkTest\\Missing");
    EXPECT_TRUE(names.empty());
}

} // namespace

// Remote ports on Windows, against ser2net on the Linux side serving a
// decoder simulator (wine-with-lines.sh names its two ports in
// VELK_REMOTE_RFC2217 and VELK_REMOTE_SOCKET): the decoder's bytes cross
// unchanged both ways, a refused connection and a busy server say why.
#include <windows.h>

#include "velkdecoderstack.h"
#include "velkmemorymap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string RemoteName(const char *variable) {
    const char *name = std::getenv(variable);
    return name != nullptr ? name : "";
}

// Runs of 0xFF and bytes shaped as Telnet commands, then a counting pattern.
std::vector<uint8_t> TelnetLookalikes(size_t size) {
    static const uint8_t pattern[] = {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0, 0xFF, 0xFD, 0x2C};
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = i < size / 8 ? 0xFF : i < size / 2 ? pattern[i % sizeof pattern] : static_cast<uint8_t>(i * 7);
    return bytes;
}

EComPort OpenError(velk_CPort &port, const std::string &name) {
    port.SetPort(name);
    try {
        port.Open();
    } catch (const EComPort &error) {
        return error;
    }
    ADD_FAILURE() << name << " opened";
    return EComPort(0);
}

class WinRemoteTest : public ::testing::TestWithParam<const char *> {
protected:
    void SetUp() override {
        if (RemoteName("VELK_REMOTE_RFC2217").empty())
            GTEST_SKIP() << "no ser2net on the Linux side";
        // Both names serve one device: the server lets the other accepter have
        // it only once it has closed it for the last client, a few ms later.
        ::Sleep(100);
    }
};

TEST_P(WinRemoteTest, CarriesExactlyTheDecodersBytes) {
    TDecoderStack stack;
    stack.Port().SetPort(RemoteName(GetParam()));
    stack.Port().Open();
    velk_HLProtocol &engine = stack.Transfer();
    const uint32_t slot1 = RecordSlotAddress(1);
    const std::vector<uint8_t> block = TelnetLookalikes(kRecordSlotSize);
    engine.SendFlash(block.data(), slot1, static_cast<int32_t>(block.size()));
    ASSERT_TRUE(engine.WaitFor()) << "error " << engine.GetError();
    engine.ReadFlash(slot1, kRecordSlotSize);
    ASSERT_TRUE(engine.WaitFor()) << "error " << engine.GetError();
    ASSERT_EQ(engine.GetBuffer().Size(), static_cast<int32_t>(block.size()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), engine.GetBuffer().Memory()));

    // The server serves one client: a second one gets its refusal.
    velk_CPort second;
    const EComPort busy = OpenError(second, RemoteName(GetParam()));
    EXPECT_NE(busy.Cause().find("already in use"), std::string::npos) << busy.Message();
    stack.Port().Close();
}

INSTANTIATE_TEST_SUITE_P(Ser2net, WinRemoteTest, ::testing::Values("VELK_REMOTE_RFC2217", "VELK_REMOTE_SOCKET"),
                         [](const auto &info) {
                             return std::string(info.param) == "VELK_REMOTE_RFC2217" ? "Rfc2217" : "Socket";
                         });

TEST(WinRemoteNameTest, ARefusedConnectionSaysSo) {
    velk_CPort port;
    // Port 1 of this machine: nothing listens there.
    const EComPort refused = OpenError(port, "rfc2217://127.0.0.1:1");
    EXPECT_EQ(refused.Code(), ceOpen);
    EXPECT_EQ(refused.Cause(), "127.0.0.1:1: connection refused");
    EXPECT_EQ(refused.Message(), "Errore connettendo la porta rfc2217://127.0.0.1:1. 127.0.0.1:1: connection refused");
    EXPECT_FALSE(port.Connected());
}

} // namespace

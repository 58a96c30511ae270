// write --verify against a decoder that stores something else than it was
// sent: the simulator runs in this process so that the test can spoil the
// written bytes in the decoder's memory between the write and the read-back.
#include "CtlTestSupport.h"
#include "velksim.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(CtlVerifyTest, VerifyCatchesBytesTheDecoderStoredWrongly) {
    velksim::TSimConfig config;
    // Every packet of the decoder comes 600 ms late, which leaves the test
    // more than a second between the write being stored and the read-back.
    config.faults.lateRate = 1;
    config.faults.lateMs = 600;
    velksim::TDecoderSim sim(config);

    TempFolder folder;
    const std::vector<uint8_t> data = Pattern(100, 1);
    const auto file = folder.Write("data.bin", data);
    const uint32_t address = velksim::SlotAddress(4);

    TRunResult result;
    std::thread ctl([&] {
        result = Ctl({"--port", sim.LinePath(), "write", "flash", "0x34060000", file.string(), "--verify"});
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (sim.ReadFlash(address, 100) != data && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::vector<uint8_t> spoiled = {0xEE};
    sim.WriteFlash(address + 42, spoiled);
    ctl.join();

    EXPECT_EQ(result.Exit, 1);
    EXPECT_EQ(result.Err, "velkctl: Verify failed: 1 byte of 100 differ, first at 0x3406002A: wrote 2B, read EE\n");
}

} // namespace

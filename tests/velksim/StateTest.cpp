// The state folder: accepted writes survive a restart, a fresh folder holds
// the demo decoder, and damaged or busy folders are refused with a clear message.
#include "SimPeer.h"

#include "velksim.h"
#include "velksimdemo.h"
#include "velksimerror.h"
#include "velksimstate.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

using namespace velksim;
namespace fs = std::filesystem;

namespace {

class TTemporaryFolder {
public:
    TTemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "velksim-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TTemporaryFolder() {
        std::error_code error;
        fs::remove_all(path_, error);
    }
    std::string Path() const { return path_.string(); }
    fs::path operator/(const char *name) const { return path_ / name; }

private:
    fs::path path_;
};

TSimConfig InFolder(const std::string &folder) {
    TSimConfig config;
    config.stateFolder = folder;
    return config;
}

void WriteFile(const fs::path &file, size_t size) {
    std::ofstream out(file, std::ios::binary);
    out << std::string(size, 'x');
}

std::string ErrorOf(const TSimConfig &config) {
    try {
        TDecoderSim sim(config);
    } catch (const ESimState &error) {
        return error.Message();
    }
    return "no error";
}

} // namespace

TEST(StateTest, AcceptedWritesSurviveARestart) {
    TTemporaryFolder folder;
    std::vector<uint8_t> record(100, 0x42);
    {
        TDecoderSim sim(InFolder(folder.Path()));
        TSimPeer peer(sim.LinePath());
        ASSERT_EQ(peer.Store(HL_WRITE_FLASH, SlotAddress(2), record), HL_ACK);
        ASSERT_EQ(peer.Store(HL_WRITE_EEPROM, 0x10, {7, 8, 9}), HL_ACK);
        ASSERT_EQ(peer.Store(HL_FIRMWARE, 0, {1, 2, 3}), HL_ACK);
        sim.WriteSlot(4, record); // the handle's own writes are kept too
    }
    EXPECT_EQ(fs::file_size(folder / "flash.bin"), FlashSize);
    EXPECT_EQ(fs::file_size(folder / "eeprom.bin"), EepromSize);
    EXPECT_EQ(fs::file_size(folder / "firmware.bin"), 3u);
    for (const auto &entry : fs::directory_iterator(folder.Path())) {
        std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "flash.bin" || name == "eeprom.bin" || name == "firmware.bin" || name == ".velksim.lock")
            << "left behind: " << name;
    }

    TDecoderSim sim(InFolder(folder.Path()));
    EXPECT_EQ(sim.ReadFlash(SlotAddress(2), 100), record);
    EXPECT_EQ(sim.ReadFlash(SlotAddress(4), 100), record);
    EXPECT_EQ(sim.ReadFlash(SlotAddress(0), 2), (std::vector<uint8_t>{0x00, 0x40}));
    EXPECT_EQ(sim.ReadEeprom(0x10, 3), (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_EQ(sim.Firmware(), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(StateTest, AFreshFolderHoldsTheDemoDecoderAndResetRestoresIt) {
    TTemporaryFolder folder;
    std::string path = (folder / "new" / "state").string();
    TSimMemory demo;
    FillDemoState(demo);
    {
        TDecoderSim sim(InFolder(path));
        EXPECT_EQ(sim.ReadFlash(FlashBase, FlashSize), demo.Flash());
        sim.EraseFlash();
        sim.WriteEeprom(0, std::vector<uint8_t>{1});
    }
    {
        TDecoderSim sim(InFolder(path));
        EXPECT_EQ(sim.ReadSlot(0), std::vector<uint8_t>(SlotSize, 0xFF));
    }
    TSimConfig config = InFolder(path);
    config.resetState = true;
    TDecoderSim sim(config);
    EXPECT_EQ(sim.ReadFlash(FlashBase, FlashSize), demo.Flash());
    EXPECT_EQ(sim.ReadEeprom(0, EepromSize), demo.Eeprom());
}

TEST(StateTest, AMissingFileAloneIsTakenFromTheDemoDecoder) {
    TTemporaryFolder folder;
    {
        TDecoderSim sim(InFolder(folder.Path()));
        sim.WriteSlot(1, std::vector<uint8_t>{5});
    }
    fs::remove(folder / "eeprom.bin");
    TDecoderSim sim(InFolder(folder.Path()));
    EXPECT_EQ(sim.ReadFlash(SlotAddress(1), 1), std::vector<uint8_t>{5});
    EXPECT_EQ(sim.ReadEeprom(ReservedSlotIndex, 1), std::vector<uint8_t>{DemoReservedSlot});
    EXPECT_TRUE(fs::exists(folder / "eeprom.bin"));
}

TEST(StateTest, DamagedOrBusyFoldersAreRefusedWithAClearMessage) {
    TTemporaryFolder folder;
    { TDecoderSim sim(InFolder(folder.Path())); }
    WriteFile(folder / "flash.bin", 100);
    std::string message = ErrorOf(InFolder(folder.Path()));
    EXPECT_NE(message.find("flash.bin"), std::string::npos) << message;
    EXPECT_NE(message.find("holds 100 bytes"), std::string::npos) << message;

    WriteFile(folder / "flash.bin", FlashSize);
    WriteFile(folder / "eeprom.bin", EepromSize + 1);
    message = ErrorOf(InFolder(folder.Path()));
    EXPECT_NE(message.find("eeprom.bin"), std::string::npos) << message;

    WriteFile(folder / "eeprom.bin", EepromSize);
    TDecoderSim first(InFolder(folder.Path()));
    message = ErrorOf(InFolder(folder.Path()));
    EXPECT_NE(message.find("in use by another simulator"), std::string::npos) << message;

    WriteFile(folder / "plain", 1);
    message = ErrorOf(InFolder((folder / "plain").string()));
    EXPECT_NE(message.find("plain"), std::string::npos) << message;
}

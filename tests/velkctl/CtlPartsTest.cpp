// velkctl's own parts that need no decoder: numbers, hex dump, progress line,
// backup files and the restore plan.
#include "CtlTestSupport.h"
#include "ctlbackup.h"
#include "ctlbackupfolder.h"
#include "ctlbenchrun.h"
#include "ctldecoderlabels.h"
#include "ctldecoderpaths.h"
#include "ctlerror.h"
#include "ctlhexdump.h"
#include "ctllink.h"
#include "ctlnumbers.h"
#include "ctlopenfailure.h"
#include "ctloutputfile.h"
#include "ctlportinfo.h"
#include "ctlportselector.h"
#include "ctlprogress.h"
#include "ctlsha256.h"
#include "ctlutf8.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

TEST(CtlNumbersTest, DecimalAndHexadecimalWithinBounds) {
    EXPECT_EQ(ParseNumber("0x34020000", "ADDR", 0, 0xFFFFFFFF), 0x34020000);
    EXPECT_EQ(ParseNumber("0XfF", "ADDR", 0, 0xFFFFFFFF), 255);
    EXPECT_EQ(ParseNumber("4294967295", "ADDR", 0, 0xFFFFFFFF), 0xFFFFFFFF);
    EXPECT_EQ(ParseNumber("1", "LEN", 1, 10), 1);
    for (const char *bad : {"", "0x", "12k", "-1", "+1", "4294967296", "0x100000000", "0", " 1"}) {
        try {
            ParseNumber(bad, "LEN", 1, 0xFFFFFFFF);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const ECtlUsage &error) {
            EXPECT_EQ(std::string(error.what()).rfind("LEN: ", 0), 0u) << error.what();
        }
    }
}

TEST(CtlHexDumpTest, AddressesBytesAndPrintableText) {
    std::vector<uint8_t> data = {'S', 'E', 'T', 0, 0x7F, 0xE0};
    data.resize(18, 0x41);
    EXPECT_EQ(HexDump(data, 0x34020000),
              "34020000  53 45 54 00 7F E0 41 41  41 41 41 41 41 41 41 41  |SET...AAAAAAAAAA|\n"
              "34020010  41 41                                             |AA|\n");
    EXPECT_EQ(HexDump({}, 0), "");
}

// Console text is handed on in pieces; a piece ends before a character whose
// bytes have not all come yet, and nowhere else.
TEST(CtlUtf8Test, PiecesEndBetweenCharacters) {
    const std::vector<std::pair<std::string_view, std::size_t>> cases = {
        {"", 0},
        {"gi\xC3\xA0", 4},       // complete two-byte character
        {"gi\xC3", 2},           // its lead byte alone
        {"\xE2\x82\xAC", 3},     // complete three-byte character
        {"x\xE2\x82", 1},        // two of its three bytes
        {"\xF0\x9F\x98\x80", 4}, // complete four-byte character
        {"\xF0\x9F\x98", 0},     // three of its four bytes
        {"ab\x80", 3},           // a stray continuation byte is not held back
        {"\x80\x80\x80\x80", 4}, // nor are several
        {"\xC3\xA9\xE2", 2},     // a whole character, then the start of the next
    };
    for (const auto &[text, whole] : cases)
        EXPECT_EQ(CompleteUtf8Length(text), whole) << testing::PrintToString(std::string(text));
    // Columns count characters, not bytes.
    EXPECT_EQ(PadUtf8("caf\xC3\xA9", 6), "caf\xC3\xA9  ");
    EXPECT_EQ(PadUtf8("abcdefgh", 6), "abcdefgh");
}

TEST(CtlProgressTest, LineShowsPercentBytesRateAndTimeLeft) {
    const std::string half = FormatProgress({"write 0x34020000", 10, 20, 40960, 2.0}, 100);
    EXPECT_NE(half.find(" 50%"), std::string::npos) << half;
    EXPECT_NE(half.find("20.0 of 40.0 KiB"), std::string::npos) << half;
    EXPECT_NE(half.find("10.0 KiB/s"), std::string::npos) << half;
    EXPECT_NE(half.find("0:02 left"), std::string::npos) << half;

    const std::string unknown = FormatProgress({"read", 0, 0, 80, 0.5}, 100);
    EXPECT_NE(unknown.find("  0%"), std::string::npos) << unknown;
    EXPECT_EQ(unknown.find("left"), std::string::npos) << unknown;

    EXPECT_LE(FormatProgress({"a long label for a narrow terminal", 1, 3, 1 << 20, 1.0}, 30).size(), 30u);
    // A narrow terminal loses whole parts: the rate keeps its unit and the
    // time left stays.
    for (const int width : {60, 50, 40}) {
        const std::string narrow = FormatProgress({"read 0x34030000", 10, 20, 65536, 2.0}, width);
        EXPECT_LE(narrow.size(), std::size_t(width)) << narrow;
        EXPECT_NE(narrow.find("0:02 left"), std::string::npos) << width << ": " << narrow;
        if (width >= 50) {
            EXPECT_NE(narrow.find("16.0 KiB/s"), std::string::npos) << width << ": " << narrow;
        }
    }
}

// What a bar, enabled or not, writes to its stream while drive runs it.
std::string BarOutput(bool enabled, const std::function<void(TProgressBar &)> &drive) {
    std::FILE *out = std::tmpfile();
    if (out == nullptr)
        throw std::runtime_error("tmpfile failed");
    {
        TProgressBar bar(enabled, out);
        drive(bar);
    }
    std::rewind(out);
    std::string text;
    for (int c; (c = std::fgetc(out)) != EOF;)
        text += char(c);
    std::fclose(out);
    return text;
}

TEST(CtlProgressTest, DisabledBarWritesNothing) {
    const std::string text = BarOutput(false, [](TProgressBar &bar) {
        bar.Begin("write", 100000);
        bar.Packets(50);
        for (int i = 1; i <= 50; ++i)
            bar.Advance(i);
        bar.End();
    });
    EXPECT_EQ(text, "");
}

// Several transfers under one overall bar: it runs once from 0 to the whole,
// each transfer moving it on, and is erased only at the end of the run.
TEST(CtlProgressTest, OverallBarRunsOnceAcrossTransfers) {
    const std::string text = BarOutput(true, [](TProgressBar &bar) {
        const TOverallProgress overall(bar, "reading", 4000);
        for (int block = 0; block < 2; ++block) {
            bar.Begin("block", 2000);
            bar.Packets(2);
            std::this_thread::sleep_for(std::chrono::milliseconds(120)); // past the redraw interval
            bar.Advance(1);
            bar.End();
        }
    });
    EXPECT_NE(text.find("reading  25%"), std::string::npos) << text; // half of the first block
    EXPECT_NE(text.find("reading  75%"), std::string::npos) << text; // half of the second
    EXPECT_EQ(text.find("block"), std::string::npos) << text;
    ASSERT_GE(text.size(), 4u);
    EXPECT_EQ(text.substr(text.size() - 4), "\r\033[K"); // erased at the end
}

TDecoderImage ErasedImage() {
    return {std::vector<uint8_t>(std::size_t(kRecordSlotCount) * kRecordSlotSize, 0xFF),
            std::vector<uint8_t>(kEepromSize, 0)};
}

TEST(CtlBackupTest, FilesRoundTripAndRestorePlanNamesWhatDiffers) {
    TempFolder folder;
    TDecoderImage image = ErasedImage();
    const auto slot = SlotImage("pictures", {{"ini", std::vector<uint8_t>(64, 1)}, {"basic.lut", {1, 2}}});
    std::copy(slot.begin(), slot.end(), image.Flash.begin() + 3 * kRecordSlotSize);
    SaveBackup(folder.Path() / "b", image);

    const TDecoderImage back = LoadBackup(folder.Path() / "b");
    EXPECT_EQ(back.Flash, image.Flash);
    EXPECT_EQ(back.Eeprom, image.Eeprom);
    EXPECT_TRUE(PlanRestore(image, back).Empty());

    TDecoderImage changed = image;
    changed.Flash[7 * kRecordSlotSize + 100] ^= 1;
    changed.Eeprom[0x108E] = 0x80;
    const TRestorePlan plan = PlanRestore(changed, image);
    EXPECT_EQ(plan.Slots, std::vector<int32_t>{7});
    EXPECT_TRUE(plan.Eeprom);

    EXPECT_EQ(DescribeSlot(image.Slot(3)), "record \"pictures\" (2 items)");
    EXPECT_EQ(DescribeSlot(image.Slot(0)), "free");
}

TEST(CtlBackupTest, DamagedBackupIsRefusedByName) {
    TempFolder folder;
    SaveBackup(folder.Path(), ErasedImage());
    auto refusal = [&] {
        try {
            LoadBackup(folder.Path());
        } catch (const ECtlUsage &error) {
            return std::string(error.what());
        }
        return std::string("(accepted)");
    };
    folder.Write("eeprom.bin", std::vector<uint8_t>(100));
    EXPECT_NE(refusal().find("eeprom.bin\" holds 100 bytes, not 8192"), std::string::npos) << refusal();
    std::filesystem::remove(folder.Path() / "flash.bin");
    EXPECT_NE(refusal().find("flash.bin"), std::string::npos) << refusal();
    folder.Write("backup.json", {'{', '}'});
    EXPECT_NE(refusal().find("does not describe a backup"), std::string::npos) << refusal();
}

TEST(CtlBackupTest, FilesChangedAfterTheBackupAreRefusedByName) {
    TempFolder folder;
    TDecoderImage image = ErasedImage();
    image.Eeprom[5] = 7;
    SaveBackup(folder.Path(), image);
    auto refusal = [&] {
        try {
            LoadBackup(folder.Path());
        } catch (const ECtlUsage &error) {
            return std::string(error.what());
        }
        return std::string("(accepted)");
    };
    ASSERT_EQ(refusal(), "(accepted)");
    const auto json = TempFolder::Read(folder.Path() / "backup.json");
    const std::string description(json.begin(), json.end());
    EXPECT_NE(description.find("\"sha256\": \"" + Sha256Hex(image.Slot(29)) + "\""), std::string::npos);

    TDecoderImage changed = image;
    changed.Flash[5 * kRecordSlotSize + 9] = 0;
    folder.Write("flash.bin", changed.Flash);
    EXPECT_NE(refusal().find("flash.bin\" no longer matches its checksum in backup.json (slot 5)"), std::string::npos)
        << refusal();
    folder.Write("flash.bin", image.Flash);
    changed.Eeprom[5] = 8;
    folder.Write("eeprom.bin", changed.Eeprom);
    EXPECT_NE(refusal().find("eeprom.bin\" no longer matches"), std::string::npos) << refusal();

    // A description without checksums (an older backup) is taken as it is.
    std::string older = description;
    for (std::size_t at; (at = older.find("\"sha256\"")) != std::string::npos;)
        older.replace(at, 8, "\"digest\"");
    folder.Write("backup.json", std::vector<uint8_t>(older.begin(), older.end()));
    folder.Write("eeprom.bin", image.Eeprom);
    EXPECT_EQ(refusal(), "(accepted)");
    bool checked = true;
    LoadBackup(folder.Path(), &checked);
    EXPECT_FALSE(checked);
}

// A backup that carries checksums carries one for every slot and the EEPROM:
// one missing would leave its part unchecked.
TEST(CtlBackupTest, BackupWithSomeChecksumsMissingIsRefusedAsDamaged) {
    struct TCase {
        const char *what;
        std::function<void(nlohmann::json &)> edit;
        std::string says;
    };
    const std::vector<TCase> cases = {
        {"a slot's checksum removed", [](nlohmann::json &d) { d["records"][4].erase("sha256"); },
         "gives no checksum for slot 4"},
        {"a slot's checksum not a string", [](nlohmann::json &d) { d["records"][7]["sha256"] = 5; },
         "gives no checksum for slot 7"},
        {"a slot's entry cut", [](nlohmann::json &d) { d["records"].erase(d["records"].begin() + 9); },
         "gives no checksum for slot 9"},
        {"every slot's entry cut", [](nlohmann::json &d) { d.erase("records"); }, "gives no checksum for slot 0"},
        {"a slot listed twice", [](nlohmann::json &d) { d["records"][3]["slot"] = 2; }, "lists slot 2 wrongly"},
        {"the EEPROM's checksum removed", [](nlohmann::json &d) { d["eeprom"].erase("sha256"); },
         "gives no checksum for the EEPROM"},
    };
    for (const TCase &c : cases) {
        TempFolder folder;
        SaveBackup(folder.Path(), ErasedImage());
        const auto raw = TempFolder::Read(folder.Path() / "backup.json");
        nlohmann::json description = nlohmann::json::parse(raw.begin(), raw.end());
        c.edit(description);
        const std::string text = description.dump(2);
        folder.Write("backup.json", std::vector<uint8_t>(text.begin(), text.end()));
        try {
            LoadBackup(folder.Path());
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const ECtlUsage &error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << c.what << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find("damaged"), std::string::npos) << c.what << ": " << error.what();
        }
    }
}

// A backup's files are read no further than a backup's size and one byte: a
// device, a pipe or an oversized file is refused, not read to its end.
TEST(CtlBackupTest, BackupFilesAreReadWithABound) {
    struct TCase {
        const char *file;
        std::function<void(const std::filesystem::path &)> make; // on the removed file, or the saved one
        std::string says;
        bool removed = true;
    };
    const std::vector<TCase> cases = {
        {"flash.bin", [](const auto &p) { std::filesystem::create_symlink("/dev/zero", p); }, "not a regular file"},
        {"backup.json", [](const auto &p) { std::filesystem::create_symlink("/dev/zero", p); }, "not a regular file"},
        {"eeprom.bin", [](const auto &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"flash.bin", [](const auto &p) { std::ofstream(p, std::ios::app).write("x", 1); },
         "holds more than 1966080 bytes", false},
        {"backup.json", [](const auto &p) { std::ofstream(p) << std::string(70000, ' '); },
         "holds more than 65536 bytes"},
    };
    for (const TCase &c : cases) {
        TempFolder folder;
        SaveBackup(folder.Path(), ErasedImage());
        const auto path = folder.Path() / c.file;
        if (c.removed)
            std::filesystem::remove(path);
        c.make(path);
        try {
            LoadBackup(folder.Path());
            ADD_FAILURE() << c.file << ": accepted";
        } catch (const ECtlUsage &error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << c.file << ": " << error.what();
        }
    }
}

// An output appears whole when it is written and not at all otherwise; an
// existing file keeps its bytes until the new ones replace them.
TEST(CtlOutputFileTest, OutputAppearsWholeOrNotAtAll) {
    TempFolder folder;
    const auto names = [&] {
        std::vector<std::string> list;
        for (const auto &entry : std::filesystem::directory_iterator(folder.Path()))
            list.push_back(entry.path().filename().string());
        std::sort(list.begin(), list.end());
        return list;
    };
    const auto existing = folder.Write("old.bin", Pattern(5, 1));
    { TOutputFile unused((folder.Path() / "new.bin").string()); }
    { TOutputFile unused(existing.string()); }
    EXPECT_EQ(names(), std::vector<std::string>{"old.bin"});
    EXPECT_EQ(TempFolder::Read(existing), Pattern(5, 1));
    {
        TOutputFile staged(existing.string());
        staged.Stage(Pattern(3, 7));
        EXPECT_EQ(TempFolder::Read(existing), Pattern(5, 1)) << "replaced only by Commit";
    }
    EXPECT_EQ(TempFolder::Read(existing), Pattern(5, 1));
    TOutputFile(existing.string()).Write(Pattern(3, 7));
    TOutputFile((folder.Path() / "new.bin").string()).Write(Pattern(2, 4));
    EXPECT_EQ(names(), (std::vector<std::string>{"new.bin", "old.bin"}));
    EXPECT_EQ(TempFolder::Read(existing), Pattern(3, 7));
    EXPECT_EQ(TempFolder::Read(folder.Path() / "new.bin"), Pattern(2, 4));
    // A backup folder made for a backup that is not saved goes again.
    { TBackupFolder unused(folder.Path() / "made", false); }
    EXPECT_EQ(names(), (std::vector<std::string>{"new.bin", "old.bin"}));
}

// A canned /sys/class/tty: a legacy port without a UART, a plain UART and a
// USB adapter with its IDs, latency timer and by-id name.
TEST(CtlPortInfoTest, PortsAsSysfsDescribesThem) {
    TempFolder folder;
    namespace fs = std::filesystem;
    const fs::path root = folder.Path();
    auto write = [](const fs::path &file, const std::string &text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text;
    };
    const fs::path usb = root / "devices/pci0000:00/usb1/1-2";
    const fs::path port = usb / "1-2:1.0/ttyUSB0";
    write(usb / "idVendor", "0403\n");
    write(usb / "idProduct", "6001\n");
    write(usb / "manufacturer", "FTDI\n");
    write(usb / "product", "FT232R USB UART\n");
    write(usb / "serial", "A10K3XYZ\n");
    write(port / "latency_timer", "16\n");
    fs::create_directories(root / "drivers/ftdi_sio");
    fs::create_directory_symlink(root / "drivers/ftdi_sio", port / "driver");
    fs::create_directories(root / "class/tty/ttyUSB0");
    fs::create_directory_symlink(port, root / "class/tty/ttyUSB0/device");
    for (const char *name : {"ttyS0", "ttyS1"}) {
        const fs::path uart = root / "devices/platform/serial8250" / name;
        fs::create_directories(uart);
        fs::create_directories(root / "drivers/serial8250");
        fs::create_directory_symlink(root / "drivers/serial8250", uart / "driver");
        fs::create_directories(root / "class/tty" / name);
        fs::create_directory_symlink(uart, root / "class/tty" / name / "device");
    }
    write(root / "class/tty/ttyS0/type", "0\n");
    write(root / "class/tty/ttyS1/type", "4\n");
    fs::create_directories(root / "by-id");
    fs::create_symlink("../../ttyUSB0", root / "by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");

    const TSysfsPaths paths{(root / "class/tty").string(), (root / "by-id").string()};
    const std::vector<TPortInfo> ports = DescribePorts(paths);
    ASSERT_EQ(ports.size(), 2u) << "ttyS0 has no UART";
    EXPECT_EQ(PortJson(ports[0]), nlohmann::json::parse(R"({"device": "/dev/ttyS1", "driver": "serial8250",
        "vendor_id": null, "product_id": null, "manufacturer": null, "product": null, "serial": null,
        "by_id": null, "latency_timer_ms": null})"));
    EXPECT_EQ(PortJson(ports[1]),
              nlohmann::json({{"device", "/dev/ttyUSB0"},
                              {"driver", "ftdi_sio"},
                              {"vendor_id", "0403"},
                              {"product_id", "6001"},
                              {"manufacturer", "FTDI"},
                              {"product", "FT232R USB UART"},
                              {"serial", "A10K3XYZ"},
                              {"by_id", (root / "by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0").string()},
                              {"latency_timer_ms", 16}}));
    EXPECT_EQ(PortText(ports[1]).substr(0, 82),
              "/dev/ttyUSB0  (ftdi_sio)\n    USB 0403:6001  FTDI FT232R USB UART  serial A10K3XYZ\n");
    EXPECT_NE(LatencyAdvice(ports[1]).find("/sys/bus/usb-serial/devices/ttyUSB0/latency_timer"), std::string::npos);
    TPortInfo quick = ports[1];
    quick.LatencyMs = 1;
    EXPECT_EQ(LatencyAdvice(quick), "");
    EXPECT_EQ(LatencyAdvice(ports[0]), "");
}

// A canned sysfs tree of USB adapters and UARTs, with by-id links for the
// adapters that have them.
class FakePorts {
public:
    struct TAdapter {
        std::string Name, VendorId, ProductId, Serial, ById;
    };
    explicit FakePorts(const std::vector<TAdapter> &adapters, const std::vector<std::string> &uarts) {
        namespace fs = std::filesystem;
        const fs::path root = folder_.Path();
        auto write = [](const fs::path &file, const std::string &text) {
            fs::create_directories(file.parent_path());
            std::ofstream(file) << text << "\n";
        };
        fs::create_directories(root / "class/tty");
        fs::create_directories(root / "by-id");
        int bus = 0;
        for (const TAdapter &adapter : adapters) {
            const fs::path usb = root / "devices/usb1" / ("1-" + std::to_string(++bus));
            write(usb / "idVendor", adapter.VendorId);
            write(usb / "idProduct", adapter.ProductId);
            if (!adapter.Serial.empty())
                write(usb / "serial", adapter.Serial);
            const fs::path port = usb / "1-1:1.0" / adapter.Name;
            fs::create_directories(port);
            fs::create_directories(root / "class/tty" / adapter.Name);
            fs::create_directory_symlink(port, root / "class/tty" / adapter.Name / "device");
            if (!adapter.ById.empty())
                fs::create_symlink("../../" + adapter.Name, root / "by-id" / adapter.ById);
        }
        for (const std::string &name : uarts) {
            const fs::path uart = root / "devices/platform/serial8250" / name;
            fs::create_directories(uart);
            write(root / "class/tty" / name / "type", "4");
            fs::create_directory_symlink(uart, root / "class/tty" / name / "device");
        }
    }
    TSysfsPaths Paths() const { return {(folder_.Path() / "class/tty").string(), ById()}; }
    std::string ById() const { return (folder_.Path() / "by-id").string(); }
    const TempFolder &Folder() const { return folder_; }

private:
    TempFolder folder_;
};

// Selectors name ports by USB identity and by patterns over port and by-id
// names; none, one or several may match, and what matched nothing or is
// malformed is a usage error.
TEST(CtlPortSelectorTest, SelectorsAgainstTheListing) {
    const FakePorts ports({{"ttyUSB0", "0403", "6001", "A10K3XYZ", "usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0"},
                           {"ttyUSB1", "0403", "6001", "B20L4ABC", "usb-FTDI_FT232R_USB_UART_B20L4ABC-if00-port0"},
                           {"ttyUSB2", "1a86", "7523", "", "usb-1a86_USB2.0-Serial-if00-port0"},
                           {"ttyACM0", "2341", "0043", "85735313", ""}},
                          {"ttyS1"});
    const TPortSelector selector(ports.Paths());
    struct TCase {
        std::string Selector;
        std::vector<std::string> Devices; // empty: a usage error saying Says
        std::string Says{};
    };
    const std::vector<TCase> cases = {
        {"usb:A10K3XYZ", {"/dev/ttyUSB0"}},
        {"usb:85735313", {"/dev/ttyACM0"}},
        {"usb:0403:6001", {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
        {"usb:0403:6001:B20L4ABC", {"/dev/ttyUSB1"}},
        {"usb:1A86:7523", {"/dev/ttyUSB2"}},
        {"ttyUSB*", {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2"}},
        {"/dev/tty?1", {"/dev/ttyS1"}},
        {"*FTDI*", {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
        {ports.ById() + "/*B20L4ABC*", {"/dev/ttyUSB1"}},
        {"usb-1a86*port?", {"/dev/ttyUSB2"}},
        // Serial numbers are compared as they are; a port without one has none.
        {"usb:a10k3xyz",
         {},
         "no serial port matches \"usb:a10k3xyz\"; the serial ports of this machine:\n/dev/ttyACM0"},
        {"usb:0403:6015", {}, "USB 0403:6001    serial A10K3XYZ\n    " + ports.ById()},
        {"usb:1a86:7523:", {}, "is no USB selector"},
        {"*FTDI", {}, "no serial port matches"},
        {"usb:", {}, "needs the adapter's serial number"},
        {"usb:403:6001", {}, "\"usb:403:6001\" is no USB selector"},
        {"usb:0403:", {}, "is no USB selector"},
        {"usb:0403:60G1", {}, "four hexadecimal digits"},
        {"@", {}, "needs the name of a file"},
    };
    for (const TCase &c : cases) {
        std::vector<std::string> devices;
        try {
            for (const TPortInfo &port : selector.Resolve(c.Selector))
                devices.push_back(port.Device);
            EXPECT_EQ(devices, c.Devices) << c.Selector;
        } catch (const ECtlUsage &error) {
            EXPECT_TRUE(c.Devices.empty()) << c.Selector << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(c.Says), std::string::npos) << c.Selector << ": " << error.what();
        }
    }
    EXPECT_EQ(selector.Resolve("usb:A10K3XYZ").front().Serial, "A10K3XYZ") << "the port's identity comes along";
    // Nothing listed at all: the error says so.
    const FakePorts none({}, {});
    try {
        TPortSelector(none.Paths()).Resolve("usb:0403:6001");
        ADD_FAILURE() << "matched";
    } catch (const ECtlUsage &error) {
        EXPECT_NE(std::string(error.what()).find("this machine lists no serial port"), std::string::npos);
    }
    // Plain names come back as they are, without the listing (here there is none).
    const TPortSelector unlisted(TSysfsPaths{"/no/such/class/tty", "/no/such/by-id"});
    for (const std::string plain : {"/dev/ttyUSB7", "COM3", "rfc2217://bench-b:4001", "./line", "socket://h:1/?"}) {
        const std::vector<TPortInfo> got = unlisted.Resolve(plain);
        ASSERT_EQ(got.size(), 1u) << plain;
        EXPECT_EQ(got.front().Device, plain);
        EXPECT_FALSE(TPortSelector::IsSelector(plain)) << plain;
    }
}

// @FILE: one port a line, local or remote, each named once; # starts a
// comment; a line may be a selector but not another file.
TEST(CtlPortSelectorTest, PortFiles) {
    const FakePorts ports({{"ttyUSB0", "0403", "6001", "A10K3XYZ", ""}, {"ttyUSB1", "0403", "6001", "B20L4ABC", ""}},
                          {});
    const TPortSelector selector(ports.Paths());
    const TempFolder &folder = ports.Folder();
    auto file = [&](const std::string &name, const std::string &text) {
        return "@" + folder.Write(name, std::vector<uint8_t>(text.begin(), text.end())).string();
    };
    struct TCase {
        std::string Text;
        std::vector<std::string> Devices; // empty: a usage error saying Says
        std::string Says{};
    };
    const std::vector<TCase> cases = {
        {"# rack A\n/dev/ttyUSB1\n  rfc2217://bench-b:4001   # far rack\r\n\tsocket://[::1]:4002\n\n"
         "usb:A10K3XYZ\n/dev/ttyUSB1 # again\n/dev/odd#name\n",
         {"/dev/ttyUSB1", "rfc2217://bench-b:4001", "socket://[::1]:4002", "/dev/ttyUSB0", "/dev/odd#name"}},
        {"usb:0403:6001", {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
        {"# nothing here\n   \n", {}, "names no port"},
        {"", {}, "names no port"},
        {"/dev/ttyUSB0\nusb:NOPE\n", {}, "list.txt:2: no serial port matches \"usb:NOPE\""},
        {"@other.txt\n", {}, "list.txt:1: a port file cannot name another"},
    };
    for (const TCase &c : cases) {
        std::vector<std::string> devices;
        try {
            for (const TPortInfo &port : selector.Resolve(file("list.txt", c.Text)))
                devices.push_back(port.Device);
            EXPECT_EQ(devices, c.Devices) << c.Text;
        } catch (const ECtlUsage &error) {
            EXPECT_TRUE(c.Devices.empty()) << c.Text << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(c.Says), std::string::npos) << c.Text << ": " << error.what();
        }
    }
    for (const std::string &missing : {std::string("@/no/such/bench.txt"), "@" + folder.Path().string()})
        EXPECT_THROW(selector.Resolve(missing), ECtlUsage) << missing;
}

// A decoder's label: its adapter's serial number, else its port's file name
// or HOST-PORT; repeated labels numbered; nothing that could leave a folder.
TEST(CtlDecoderLabelsTest, SerialFileNameOrHostPortEachOnce) {
    auto port = [](const std::string &device, const std::string &serial = "") {
        TPortInfo info;
        info.Device = device;
        info.Serial = serial;
        return info;
    };
    const std::vector<std::pair<std::vector<TPortInfo>, std::vector<std::string>>> cases = {
        {{port("/dev/ttyUSB0", "A10K3XYZ"), port("/dev/ttyUSB1"), port("COM3"), port("\\\\.\\COM4")},
         {"A10K3XYZ", "ttyUSB1", "COM3", "COM4"}},
        {{port("rfc2217://bench-b:4001"), port("socket://[::1]:4002"), port("RFC2217://Rack:7")},
         {"bench-b-4001", "__1-4002", "Rack-7"}},
        {{port("/dev/ttyUSB0"), port("/tmp/bench/ttyUSB0"), port("/srv/ttyUSB0")},
         {"ttyUSB0", "ttyUSB0-2", "ttyUSB0-3"}},
        // A number already taken by a later label is skipped.
        {{port("/dev/ttyUSB0", "A1"), port("/dev/ttyUSB1", "A1"), port("/dev/ttyUSB2", "A1-2")},
         {"A1", "A1-3", "A1-2"}},
        {{port("/dev/ttyUSB0", "../../etc"), port("/dev/ttyUSB1", ".."), port("/dev/ttyUSB2", "a:b*c\x01"), port("")},
         {".._.._etc", "_", "a_b_c_", "port"}},
        {{}, {}},
    };
    for (const auto &[ports, labels] : cases)
        EXPECT_EQ(DecoderLabels(ports), labels) << ports.size() << " ports";
}

// Paths with placeholders, one per decoder; a path two decoders would share,
// or {serial} of an adapter without one, is a usage error.
TEST(CtlDecoderPathsTest, PlaceholdersMakeEachDecodersOwnPath) {
    std::vector<TPortInfo> ports(3);
    ports[0].Device = "/dev/ttyUSB0";
    ports[0].Serial = "A10K3XYZ";
    ports[1].Device = "/dev/ttyUSB1";
    ports[1].Serial = "B/2";
    ports[2].Device = "rfc2217://bench-b:4001";
    const std::vector<TDecoderName> decoders = NameDecoders(ports);
    ASSERT_EQ(decoders.size(), 3u);
    EXPECT_EQ(decoders[2].Label, "bench-b-4001");
    EXPECT_EQ(decoders[2].Index, 3);
    struct TCase {
        std::string Path;
        std::vector<std::string> Paths; // empty: a usage error saying Says
        std::string Says{};
    };
    const std::vector<TCase> cases = {
        {"saved/{label}", {"saved/A10K3XYZ", "saved/B_2", "saved/bench-b-4001"}},
        {"dump-{port}-{index}.bin", {"dump-ttyUSB0-1.bin", "dump-ttyUSB1-2.bin", "dump-bench-b-4001-3.bin"}},
        {"{label}{index}/{x}{label", {"A10K3XYZ1/{x}{label", "B_22/{x}{label", "bench-b-40013/{x}{label"}},
        {"saved/backup", {}, "-o: \"saved/backup\" is \"saved/backup\" for both A10K3XYZ and B_2; give each"},
        {"{serial}.bin", {}, "-o: {serial} names the USB serial number, which the decoder on rfc2217://bench-b:4001"},
    };
    for (const TCase &c : cases) {
        try {
            EXPECT_EQ(DecoderPaths(c.Path, decoders, "-o"), c.Paths) << c.Path;
            EXPECT_EQ(HasDecoderPlaceholder(c.Path), true) << c.Path;
        } catch (const ECtlUsage &error) {
            EXPECT_TRUE(c.Paths.empty()) << c.Path << ": " << error.what();
            EXPECT_NE(std::string(error.what()).find(c.Says), std::string::npos) << c.Path << ": " << error.what();
        }
    }
    // Two ports of the same file name: {port} does not tell them apart, {label} does.
    std::vector<TPortInfo> twins(2);
    twins[0].Device = "/dev/ttyUSB0";
    twins[1].Device = "/tmp/bench/ttyUSB0";
    EXPECT_THROW(DecoderPaths("out-{port}", NameDecoders(twins), "DIR"), ECtlUsage);
    EXPECT_EQ(DecoderPaths("out-{label}", NameDecoders(twins), "DIR"),
              (std::vector<std::string>{"out-ttyUSB0", "out-ttyUSB0-2"}));
    EXPECT_FALSE(HasDecoderPlaceholder("saved/{labels}/{Label}"));
}

// A port that cannot be opened: the library's message, then the system's
// cause in words.
// The run's exit code and summary from the decoders' own ends: a usage error
// outranks a failure, and the JSON keeps each decoder's result as JSON when it
// printed JSON.
TEST(CtlBenchRunTest, ExitCodeAndSummaryFromEachDecodersEnd) {
    const auto outcome = [](const std::string &label, int code, const std::string &error, const std::string &out) {
        TBenchOutcome o;
        o.Decoder.Label = label;
        o.Decoder.Port.Device = "/dev/" + label;
        o.ExitCode = code;
        o.Error = error;
        o.Output = out;
        o.Seconds = 1.25;
        return o;
    };
    struct TCase {
        std::vector<TBenchOutcome> outcomes;
        int exit;
        std::string head;
    };
    const std::vector<TCase> cases = {
        {{outcome("a", 0, "", ""), outcome("bb", 0, "", "")}, 0, "Summary: 2 of 2 decoders succeeded (exit code 0)"},
        {{outcome("a", 0, "", ""), outcome("bb", 1, "no answer", "")},
         1,
         "Summary: 1 of 2 decoders succeeded, 1 failed (exit code 1)"},
        {{outcome("a", 1, "x", ""), outcome("bb", 2, "LEN: 0 is outside", ""), outcome("c", 1, "y", "")},
         2,
         "Summary: 0 of 3 decoders succeeded, 3 failed (exit code 2: a usage error)"},
    };
    for (const TCase &c : cases) {
        EXPECT_EQ(BenchExitCode(c.outcomes), c.exit);
        const std::string text = BenchSummaryText(c.outcomes, false);
        EXPECT_EQ(text.substr(0, text.find('\n')), c.head);
        const std::string failures = BenchSummaryText(c.outcomes, true);
        for (const TBenchOutcome &o : c.outcomes) {
            const std::string line = "  " + o.Decoder.Label + std::string(o.Decoder.Label == "bb" ? "" : " ") +
                                     "  /dev/" + o.Decoder.Label + "  " +
                                     (o.ExitCode == 0 ? "ok" : "failed: " + o.Error) + "  1.2 s\n";
            EXPECT_NE(text.find(line), std::string::npos) << text;
            EXPECT_EQ(failures.find(line) != std::string::npos, o.ExitCode != 0) << failures;
        }
    }
    const nlohmann::json json = nlohmann::json::parse(
        BenchSummaryJson({outcome("a", 0, "", "{\"slots\": 30}\n"), outcome("b", 1, "gone \xFF", "Wrote\n")}));
    EXPECT_EQ(json["exit_code"], 1);
    EXPECT_EQ(json["decoders"][0]["result"]["slots"], 30);
    EXPECT_TRUE(json["decoders"][0]["error"].is_null());
    EXPECT_EQ(json["decoders"][1]["result"], "Wrote\n");
    EXPECT_EQ(json["decoders"][1]["error"], "gone \xEF\xBF\xBD"); // not UTF-8: replaced, not thrown
}

TEST(CtlLinkTest, PortThatCannotBeOpenedSaysWhy) {
    TempFolder folder;
    TCtlOptions options;
    options.Port = (folder.Path() / "no-such-port").string();
    options.Quiet = true;
    try {
        TCtlLink link(options);
        ADD_FAILURE() << "opened";
    } catch (const ECtlFailed &error) {
        const std::string text = error.what();
        EXPECT_EQ(text,
                  "Errore connettendo la porta " + options.Port + ". - " + OpenFailureCause(ENOENT, options.Port));
    }
}

TEST(CtlSha256Test, PublishedDigests) {
    auto digest = [](const std::string &text) {
        return Sha256Hex(std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
    };
    EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digest(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

} // namespace

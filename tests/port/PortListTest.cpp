#include "CPort.h"
#include "ComError.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fake /sys/class/tty: serial ports have a "device" link, the rest do not.
class FakeSysfs {
public:
    FakeSysfs() {
        char pattern[] = "/tmp/velk-sysfs-XXXXXX";
        root_ = ::mkdtemp(pattern);
    }
    ~FakeSysfs() { fs::remove_all(root_); }
    void Serial(const std::string &name) {
        fs::create_directories(root_ / name);
        fs::create_directory_symlink("../../devices/platform/" + name, root_ / name / "device");
    }
    void Virtual(const std::string &name) { fs::create_directories(root_ / name); }
    std::string Root() const { return root_.string(); }

private:
    fs::path root_;
};

TEST(PortListTest, SerialDevicesSortedIgnoringCase) {
    FakeSysfs sysfs;
    for (const char *name : {"ttyS2", "ttyUSB0", "ttyS10", "ttyacm0", "ttyS0", "ttyAMA0"})
        sysfs.Serial(name);
    for (const char *name : {"tty0", "console", "ptmx"})
        sysfs.Virtual(name);
    std::vector<std::string> names = {"stale"};
    TCustomComPort::EnumComPorts(names, sysfs.Root());
    const std::vector<std::string> expected = {"/dev/ttyacm0", "/dev/ttyAMA0", "/dev/ttyS0",
                                               "/dev/ttyS10",  "/dev/ttyS2",   "/dev/ttyUSB0"};
    EXPECT_EQ(names, expected);
}

// Legacy 8250 ports without a UART behind them show type 0 (PORT_UNKNOWN).
TEST(PortListTest, LegacyPortsWithoutAUartAreLeftOut) {
    FakeSysfs sysfs;
    const std::vector<std::pair<std::string, std::string>> ports = {
        {"ttyS0", "0\n"}, {"ttyS1", "4\n"}, {"ttyS2", "0\n"}, {"ttyS3", "16\n"}, {"ttyUSB0", ""}};
    for (const auto &[name, type] : ports) {
        sysfs.Serial(name);
        if (!type.empty()) {
            std::FILE *file = std::fopen((sysfs.Root() + "/" + name + "/type").c_str(), "w");
            ASSERT_NE(file, nullptr);
            std::fputs(type.c_str(), file);
            std::fclose(file);
        }
    }
    std::vector<std::string> names;
    TCustomComPort::EnumComPorts(names, sysfs.Root());
    EXPECT_EQ(names, (std::vector<std::string>{"/dev/ttyS1", "/dev/ttyS3", "/dev/ttyUSB0"}));
}

TEST(PortListTest, EmptyAndMissingTrees) {
    FakeSysfs sysfs;
    std::vector<std::string> names = {"stale"};
    TCustomComPort::EnumComPorts(names, sysfs.Root());
    EXPECT_TRUE(names.empty());
    const EComPort e = ComError([&] { TCustomComPort::EnumComPorts(names, sysfs.Root() + "/missing"); });
    EXPECT_EQ(e.Code(), ceRegistry);
    EXPECT_EQ(e.Message(), "Registry error (win error code: 2)");
}

TEST(PortListTest, PortNamesMapToDevices) {
    EXPECT_EQ(TCustomComPort::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(TCustomComPort::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(TCustomComPort::DevicePath("/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(TCustomComPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(TCustomComPort::DevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(TCustomComPort::DevicePath("COMX"), "/dev/COMX");
}

TEST(PortListTest, ErrorTable) {
    EXPECT_EQ(EComPort(ceOpen).Message(), "Unable to open com port");
    EXPECT_EQ(EComPort(ceOpen).SystemCode(), -1);
    EXPECT_EQ(EComPort(cePurge, 5).Message(), "PurgeComm function failed (win error code: 5)");
    EXPECT_EQ(EComPort::Text(ceTimeouts), "SetCommTimeouts failed");
    EXPECT_EQ(EComPort::Text(ceInputCount), "ClearCommError function failed");
    EXPECT_EQ(EComPort::Text(ceLedState), "Cannot change led state if ComPort is selected");
    EXPECT_EQ(EComPort::Text(ceRxBufLinked), "A component is linked to OnRxBuf event");
    EXPECT_EQ(EComPort::Text(ceRegistry), "Registry error");
    EXPECT_EQ(EComPort::Text(24), "");
}

} // namespace

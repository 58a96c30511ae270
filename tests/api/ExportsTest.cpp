#include "ExportList.h"
#include "LibrarySession.h"
#include "PseudoTerminal.h"
#include "VelkLibrary.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::set<std::string> DynamicSymbols(const char *path) {
    std::set<std::string> names;
    std::string command = std::string("nm -D --defined-only ") + path;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (fields >> address >> kind >> name)
            names.insert(name);
    }
    pclose(pipe);
    return names;
}

TEST(ExportsTest, OnlyTheExportsAreVisible) {
    EXPECT_EQ(DynamicSymbols(VELK_LIBRARY_PATH), kExports);
}

// The library loaded and initialised, with its error box captured.
class PortExportsTest : public ::testing::Test {
protected:
    int32_t Open(const std::string &name) { return VELK_FN(lib_, OpenComPort)(name.c_str()); }
    int32_t Connected() { return VELK_FN(lib_, ComPortConnected)(); }
    int32_t Close() { return VELK_FN(lib_, CloseComPort)(); }

    VelkLibrary lib_;
    LibrarySession session_{lib_};
};

TEST_F(PortExportsTest, OpenAndCloseOnAPseudoTerminal) {
    PseudoTerminal pty;
    EXPECT_EQ(Connected(), 0);
    EXPECT_EQ(Open(pty.Path()), 1);
    EXPECT_EQ(Connected(), 1);
    EXPECT_EQ(Open(pty.Path()), 1); // same name: stays open
    termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(Close(), 1);
    EXPECT_EQ(Connected(), 0);
    EXPECT_EQ(Close(), 1); // closed already: true, no error box
    EXPECT_TRUE(session_.Errors().empty());
}

TEST_F(PortExportsTest, FailedOpenShowsTheErrorBoxAndReturnsFalse) {
    EXPECT_EQ(Open("velk-no-such-port"), 0);
    EXPECT_EQ(Connected(), 0);
    EXPECT_EQ(session_.Errors(), std::vector<std::string>{"Errore connettendo la porta velk-no-such-port."});

    // Held by another user of the device: the open is refused.
    PseudoTerminal pty;
    TDescriptor other(::open(pty.Path().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_EQ(::flock(other.Get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Open(pty.Path()), 0);
    EXPECT_EQ(session_.Errors().back(), "Errore connettendo la porta " + pty.Path() + ".");
}

TEST_F(PortExportsTest, ReceivedBytesWakeTheMessageHandle) {
    PseudoTerminal pty;
    ASSERT_EQ(Open(pty.Path()), 1);
    const int handle = VELK_FN(lib_, GetMessageHandle)();
    ASSERT_GE(handle, 0);
    pollfd p{handle, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    pty.Send("bytes");
    EXPECT_EQ(::poll(&p, 1, 5000), 1); // the port's notice waits for this thread
    VELK_FN(lib_, ProcessMessages)();
    EXPECT_EQ(::poll(&p, 1, 0), 0);
}

TEST_F(PortExportsTest, FinalizeClosesAnOpenPort) {
    PseudoTerminal pty;
    ASSERT_EQ(Open(pty.Path()), 1);
    VELK_FN(lib_, Finalize)();
    // The device is free again.
    TDescriptor again(::open(pty.Path().c_str(), O_RDWR | O_NOCTTY));
    ASSERT_TRUE(again.Valid());
    EXPECT_EQ(::flock(again.Get(), LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(Connected(), 0);
}

TEST_F(PortExportsTest, PortListThroughTheExport) {
    if (::access("/sys/class/tty", R_OK) != 0)
        GTEST_SKIP() << "no /sys/class/tty here";
    auto getComPort = VELK_FN(lib_, GetComPort);
    const int32_t count = getComPort(-1, nullptr);
    ASSERT_GE(count, 0);
    std::string previous;
    for (int32_t i = 0; i < count; ++i) {
        const int32_t length = getComPort(i, nullptr);
        std::vector<char> buffer(length + 2, 'x');
        EXPECT_EQ(getComPort(i, buffer.data()), length);
        // The name, its own zero, one more zero, nothing beyond.
        EXPECT_EQ(static_cast<int32_t>(std::strlen(buffer.data())), length - 1);
        EXPECT_EQ(buffer[length], '\0');
        EXPECT_EQ(buffer[length + 1], 'x');
        EXPECT_EQ(std::string(buffer.data(), 5), "/dev/");
        EXPECT_LE(strcasecmp(previous.c_str(), buffer.data()), 0);
        previous = buffer.data();
    }
    EXPECT_TRUE(session_.Errors().empty());
    EXPECT_EQ(getComPort(count, nullptr), -1);
    EXPECT_EQ(getComPort(-2, nullptr), -1);
    EXPECT_EQ(session_.Errors(), (std::vector<std::string>{"List index out of bounds (" + std::to_string(count) + ")",
                                                           "List index out of bounds (-2)"}));
}

TEST(ExportsTest, PortExportsBeforeInitialize) {
    VelkLibrary lib;
    PseudoTerminal pty;
    EXPECT_EQ(VELK_FN(lib, OpenComPort)(pty.Path().c_str()), 0);
    EXPECT_EQ(VELK_FN(lib, ComPortConnected)(), 0);
    EXPECT_EQ(VELK_FN(lib, CloseComPort)(), 0);
    EXPECT_EQ(VELK_FN(lib, GetMessageHandle)(), -1);
    VELK_FN(lib, ProcessMessages)();
    if (::access("/sys/class/tty", R_OK) == 0) {
        EXPECT_GE(VELK_FN(lib, GetComPort)(-1, nullptr), 0); // needs no Initialize
    }
}

} // namespace

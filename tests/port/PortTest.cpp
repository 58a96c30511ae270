#include "ComError.h"
#include "PseudoTerminal.h"
#include "velkcport.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

namespace {

TEST(PortTest, CreationSettings) {
    TCustomComPort plain;
    EXPECT_EQ(plain.BaudRate(), br9600);
    EXPECT_EQ(plain.Port(), "COM1");
    EXPECT_EQ(plain.Events(), TComEvents::All());
    EXPECT_EQ(plain.SyncMethod(), smThreadSync);
    EXPECT_EQ(plain.Buffer().InputSize(), 1024);
    EXPECT_EQ(plain.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(plain.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(plain.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_EQ(plain.FlowControl().XonChar(), 0x11);
    EXPECT_EQ(plain.FlowControl().XoffChar(), 0x13);
    EXPECT_FALSE(plain.Connected());

    // The decoder's line, which every host of the library takes from here.
    velk_CPort port;
    EXPECT_EQ(port.BaudRate(), br115200);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_FALSE(port.Parity().Check());
    EXPECT_EQ(port.Buffer().InputSize(), 4096);
    EXPECT_EQ(port.Buffer().OutputSize(), 4096);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
    EXPECT_EQ(port.Events(), (TComEvents{evRxChar, evTxEmpty}));
    EXPECT_EQ(port.SyncMethod(), smWindowSync);
    port.Buffer().SetInputSize(4097); // odd sizes are stored one lower
    EXPECT_EQ(port.Buffer().InputSize(), 4096);
}

TEST(PortTest, FlowControlMixes) {
    TCustomComPort port;
    TComFlowControl &flow = port.FlowControl();
    flow.SetFlowControl(fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    EXPECT_EQ(flow.FlowControl(), fcHardware);
    flow.SetFlowControl(fcSoftware);
    EXPECT_TRUE(flow.XonXoffIn() && flow.XonXoffOut());
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_EQ(flow.FlowControl(), fcSoftware);
    flow.SetXonXoffIn(false);
    EXPECT_EQ(flow.FlowControl(), fcCustom);
    flow.SetFlowControl(fcCustom); // changes nothing
    EXPECT_TRUE(flow.XonXoffOut());
    flow.SetFlowControl(fcNone);
    EXPECT_FALSE(flow.XonXoffIn() || flow.XonXoffOut() || flow.OutCTSFlow());
    EXPECT_EQ(flow.FlowControl(), fcNone);
}

// The library's port on a fresh pseudo-terminal.
struct OpenPort {
    OpenPort() {
        port.SetPort(pty.Path());
        port.Open();
    }
    PseudoTerminal pty;
    velk_CPort port;
};

TEST(PortTest, OpenCloseAndReopen) {
    OpenPort p;
    EXPECT_TRUE(p.port.Connected());
    p.port.Open(); // already open: nothing happens
    EXPECT_TRUE(p.port.Connected());
    p.port.Close();
    EXPECT_FALSE(p.port.Connected());
    p.port.Close(); // already closed: nothing happens
    p.port.SetConnected(true);
    EXPECT_TRUE(p.port.Connected());
    p.port.Write("x", 1);
    EXPECT_EQ(p.pty.Receive(1), "x");
    p.port.SetConnected(false);
    EXPECT_FALSE(p.port.Connected());
}

TEST(PortTest, LineSettingsReachTheDevice) {
    OpenPort p;
    termios t = p.pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B115200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);

    // Changes to an open port apply at once.
    p.port.SetBaudRate(br57600);
    p.port.SetStopBits(sbTwoStopBits);
    p.port.FlowControl().SetFlowControl(fcSoftware);
    t = p.pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    // A speed the tty interface cannot express is a line settings error.
    const EComPort e = ComError([&] { p.port.SetBaudRate(br14400); });
    EXPECT_EQ(e.Code(), ceLineSettings);
    EXPECT_EQ(e.Message(), "SetCommState function failed (win error code: 22)");
}

TEST(PortTest, ReadWriteInputCountAndDrain) {
    OpenPort p;
    char buffer[64];
    EXPECT_EQ(p.port.InputCount(), 0);
    EXPECT_EQ(p.port.Read(buffer, sizeof buffer), 0); // nothing arrived: at once
    p.port.DrainInput();                              // nothing to drop

    EXPECT_EQ(p.port.Write("\xA5\x99\x00\x0C", 4), 4);
    EXPECT_EQ(p.pty.Receive(4), std::string("\xA5\x99\x00\x0C", 4));

    p.pty.Send(std::string("ab\0cd", 5));
    ASSERT_TRUE(Eventually([&] { return p.port.InputCount() == 5; }));
    EXPECT_EQ(p.port.Read(buffer, 2), 2);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    EXPECT_EQ(p.port.InputCount(), 3);
    EXPECT_EQ(p.port.Read(buffer, sizeof buffer), 3);
    EXPECT_EQ(std::string(buffer, 3), std::string("\0cd", 3));

    p.pty.Send(std::string(3000, 'z'));
    ASSERT_TRUE(Eventually([&] { return p.port.InputCount() == 3000; }));
    p.port.DrainInput();
    EXPECT_EQ(p.port.InputCount(), 0);

    p.port.SetDiscardNull(true);
    p.pty.Send(std::string("\0\0x\0y", 5));
    ASSERT_TRUE(Eventually([&] { return p.port.InputCount() == 5; }));
    EXPECT_EQ(p.port.Read(buffer, sizeof buffer), 2);
    EXPECT_EQ(std::string(buffer, 2), "xy");
}

TEST(PortTest, ClosedPortRaisesItsCodes) {
    velk_CPort port;
    char byte;
    const EComPort write = ComError([&] { port.Write("x", 1); });
    EXPECT_EQ(write.Code(), ceWrite);
    EXPECT_EQ(write.SystemCode(), EBADF);
    EXPECT_EQ(ComError([&] { port.Read(&byte, 1); }).Code(), ceRead);
    EXPECT_EQ(ComError([&] { port.InputCount(); }).Code(), ceInputCount);
}

TEST(PortTest, WriteToAPeerThatNeverReadsTimesOut) {
    OpenPort p;
    p.port.Timeouts().SetWriteTotalConstant(100);
    p.port.Timeouts().SetWriteTotalMultiplier(0);
    const std::string block(1 << 20, 'w'); // more than the pseudo-terminal holds
    const EComPort e = ComError([&] { p.port.Write(block.data(), static_cast<int32_t>(block.size())); });
    EXPECT_EQ(e.Code(), ceWrite);
    EXPECT_EQ(e.SystemCode(), ETIMEDOUT);
    EXPECT_EQ(e.Message(), "WriteFile function failed (win error code: 110)");
    EXPECT_TRUE(p.port.Connected());
}

TEST(PortTest, OpenFailureMessages) {
    velk_CPort port;
    port.SetPort("/dev/velk-no-such-port");
    const EComPort e = ComError([&] { port.Open(); });
    EXPECT_EQ(e.Message(), "Errore connettendo la porta /dev/velk-no-such-port.");
    EXPECT_EQ(e.Code(), ceOpen);
    EXPECT_EQ(e.SystemCode(), ENOENT);
    EXPECT_FALSE(port.Connected());

    // Not a serial device: the component's own text names the failure.
    TCustomComPort plain;
    plain.SetPort("/dev/null");
    EXPECT_EQ(ComError([&] { plain.Open(); }).Message(), "Unable to open com port (win error code: 25)");
    EXPECT_FALSE(plain.Connected());
}

TEST(PortTest, ChangingPortOfAnOpenPort) {
    OpenPort p;
    // The same name: nothing happens (a reopen would discard the waiting bytes).
    p.pty.Send("keep");
    ASSERT_TRUE(Eventually([&] { return p.port.InputCount() == 4; }));
    p.port.SetPort(std::string(p.pty.Path()));
    EXPECT_EQ(p.port.InputCount(), 4);

    // Another name: closed and reopened there.
    PseudoTerminal other;
    p.port.SetPort(other.Path());
    EXPECT_TRUE(p.port.Connected());
    p.port.Write("o", 1);
    EXPECT_EQ(other.Receive(1), "o");

    // A failing reopen arrives with the component's English text; the port is closed.
    EXPECT_EQ(ComError([&] { p.port.SetPort("/dev/velk-no-such-port"); }).Message(),
              "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(p.port.Connected());
}

TEST(PortTest, SyncMethodCannotChangeWhileOpen) {
    OpenPort p;
    p.port.SetSyncMethod(smWindowSync); // unchanged: fine
    const EComPort e = ComError([&] { p.port.SetSyncMethod(smNone); });
    EXPECT_EQ(e.Code(), ceConnected);
    EXPECT_EQ(e.SystemCode(), -1);
    EXPECT_EQ(e.Message(), "Cannot set property while connected");
    EXPECT_EQ(p.port.SyncMethod(), smWindowSync);
    p.port.Close();
    p.port.SetSyncMethod(smNone);
    EXPECT_EQ(p.port.SyncMethod(), smNone);
}

TEST(PortTest, OpenIsExclusiveWithinTheProcess) {
    OpenPort p;
    velk_CPort second;
    second.SetPort(p.pty.Path());
    EXPECT_EQ(ComError([&] { second.Open(); }).Message(), "Errore connettendo la porta " + p.pty.Path() + ".");
    EXPECT_FALSE(second.Connected());
    p.port.Close();
    second.Open(); // free again
    EXPECT_TRUE(second.Connected());
}

// Run in a second process by OpenIsExclusiveAcrossProcesses.
TEST(PortTest, OpenFromAnotherProcess) {
    const char *path = std::getenv("VELK_TEST_PORT_PATH");
    if (path == nullptr)
        GTEST_SKIP() << "only run as the helper of another test";
    velk_CPort port;
    port.SetPort(path);
    EXPECT_THROW(port.Open(), EComPort);
    EXPECT_FALSE(port.Connected());
}

TEST(PortTest, OpenIsExclusiveAcrossProcesses) {
    OpenPort p;
    const std::string filter = "--gtest_filter=PortTest.OpenFromAnotherProcess";
    const std::string variable = "VELK_TEST_PORT_PATH=" + p.pty.Path();
    std::vector<char *> env;
    for (char **e = environ; *e != nullptr; ++e)
        env.push_back(*e);
    env.push_back(const_cast<char *>(variable.c_str()));
    env.push_back(nullptr);
    char self[] = "/proc/self/exe";
    char *argv[] = {self, const_cast<char *>(filter.c_str()), nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, self, nullptr, nullptr, argv, env.data()), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the other process could open the port";
}

} // namespace

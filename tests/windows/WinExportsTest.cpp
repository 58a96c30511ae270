// velklink.dll as a Windows host uses it, loaded with LoadLibrary: its export
// table, the port list from the registry, and transfers and records against
// the decoder simulator on COM5 (see wine-with-lines.sh), served by the
// library's wait and by the host's own message loop; a line that hangs up
// mid-transfer (COM9) ends the exchange.
#include <windows.h>

#include "ExportList.h"
#include "LibrarySession.h"
#include "VelkLibrary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

// The DLL stays loaded for the whole program, as a host keeps it: threads the
// library started keep thread-local state of the MinGW runtime, whose clean-up
// at their end would otherwise run into a DLL that a test has unloaded. Every
// test's own load and unload then only counts references.
const VelkLibrary g_keptLoaded;

// The names in the DLL's export table, read from the loaded image.
std::set<std::string> ExportTable(HMODULE module) {
    const auto *base = reinterpret_cast<const uint8_t *>(module);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto *exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY *>(base + entry.VirtualAddress);
    const auto *names = reinterpret_cast<const DWORD *>(base + exports->AddressOfNames);
    std::set<std::string> table;
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        table.insert(reinterpret_cast<const char *>(base + names[i]));
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "exports by ordinal only";
    return table;
}

std::vector<int32_t> g_states;
void VELK_CALL QuitWhenFree(int32_t code, int32_t value) {
    if (value == 0 && code <= VELK_STATE_WAIT_ACK) {
        g_states.push_back(code);
        if (code == VELK_STATE_IDLE || code == VELK_STATE_NOT_CONNECTED)
            ::PostQuitMessage(code);
    }
}

// The library loaded and initialised on a port, with its error box captured
// (without one, the library shows a modal message box).
class WinExportsTest : public ::testing::Test {
protected:
    std::vector<uint8_t> Buffer() {
        std::vector<uint8_t> data(static_cast<size_t>(VELK_FN(lib_, HLPGetBuffer)(nullptr)));
        VELK_FN(lib_, HLPGetBuffer)(data.data());
        return data;
    }

    VelkLibrary lib_;
    LibrarySession session_{lib_};
};

TEST_F(WinExportsTest, TheExportTableListsExactlyTheExports) {
    EXPECT_EQ(ExportTable(static_cast<HMODULE>(lib_.Handle())), kExports);
    char version[64] = {};
    EXPECT_GT(lib_.Get<VELK_GetVersionFunction>("GetVersion")(version), 0);
    EXPECT_EQ(std::string(version).rfind("Velkora Library ", 0), 0u);
}

TEST_F(WinExportsTest, GetComPortListsTheRegistrysPorts) {
    auto getComPort = VELK_FN(lib_, GetComPort);
    std::vector<std::string> names;
    for (int32_t i = 0; i < getComPort(-1, nullptr); ++i) {
        std::vector<char> name(static_cast<size_t>(getComPort(i, nullptr)) + 1, 'x');
        getComPort(i, name.data());
        names.emplace_back(name.data());
    }
    for (const char *port : {"COM5", "COM6", "COM7", "COM8", "COM9"})
        EXPECT_NE(std::find(names.begin(), names.end(), port), names.end()) << port;
    EXPECT_TRUE(session_.Errors().empty());
}

TEST_F(WinExportsTest, TransfersAndRecordsAgainstTheSimulator) {
    ASSERT_EQ(VELK_FN(lib_, OpenComPort)("COM5"), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPSendSync)(), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPWaitFor)(), 1);

    // 64 KiB into the second record slot and back.
    const uint32_t slot1 = 0x34030000;
    std::vector<uint8_t> data(65536);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + (i >> 8));
    ASSERT_EQ(VELK_FN(lib_, HLPSendFlash)(data.data(), slot1, static_cast<int32_t>(data.size())), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPWaitFor)(), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPReadFlash)(slot1, static_cast<int32_t>(data.size())), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPWaitFor)(), 1);
    EXPECT_EQ(Buffer(), data);

    // A record item saved and loaded again.
    ASSERT_EQ(VELK_FN(lib_, RECRefresh)(1), 1);
    const std::vector<uint8_t> item(3000, 0xA5);
    ASSERT_EQ(VELK_FN(lib_, RECSaveItem)("wintest", "item", item.data(), static_cast<int32_t>(item.size())), 1);
    ASSERT_EQ(VELK_FN(lib_, RECLoadItem)("wintest", "item"), 1);
    std::vector<uint8_t> loaded(static_cast<size_t>(VELK_FN(lib_, RECGetBuffer)(nullptr)));
    VELK_FN(lib_, RECGetBuffer)(loaded.data());
    EXPECT_EQ(loaded, item);
    EXPECT_EQ(VELK_FN(lib_, CloseComPort)(), 1);
    EXPECT_TRUE(session_.Errors().empty()) << session_.Errors().front();
}

TEST_F(WinExportsTest, TheHostsOwnMessageLoopServesTheLibrary) {
    ASSERT_EQ(VELK_FN(lib_, OpenComPort)("COM5"), 1);
    VELK_FN(lib_, HLPSetEvent)(QuitWhenFree);
    g_states.clear();
    ASSERT_EQ(VELK_FN(lib_, HLPSendSync)(), 1);
    // No HLPWaitFor: the host's loop, as its main window or a modal dialog runs
    // it, dispatches the library's window messages.
    MSG message;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 10000, nullptr);
    while (::GetMessageW(&message, nullptr, 0, 0) > 0 && message.message != WM_TIMER)
        ::DispatchMessageW(&message);
    ::KillTimer(nullptr, timer);
    ASSERT_EQ(message.message, static_cast<UINT>(WM_QUIT)) << "the exchange never ended";
    EXPECT_EQ(message.wParam, static_cast<WPARAM>(VELK_STATE_IDLE));
    EXPECT_EQ(VELK_FN(lib_, HLPGetState)(), VELK_STATE_IDLE);
    EXPECT_EQ(VELK_FN(lib_, HLPGetError)(), VELK_ERROR_NONE);
    EXPECT_TRUE(session_.Errors().empty());
}

TEST_F(WinExportsTest, ALineThatHangsUpMidTransferEndsTheExchange) {
    ASSERT_EQ(VELK_FN(lib_, OpenComPort)("COM9"), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPSendSync)(), 1);
    ASSERT_EQ(VELK_FN(lib_, HLPWaitFor)(), 1);
    // The far end hangs up 3000 bytes into the line: in the middle of the read.
    ASSERT_EQ(VELK_FN(lib_, HLPReadFlash)(0x34020000, 65536), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(VELK_FN(lib_, HLPWaitFor)(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    EXPECT_EQ(VELK_FN(lib_, HLPGetError)(), VELK_ERROR_LINK);
    EXPECT_EQ(session_.Errors().size(), 1u);
    const auto closing = std::chrono::steady_clock::now();
    EXPECT_EQ(VELK_FN(lib_, CloseComPort)(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(1));
}

} // namespace

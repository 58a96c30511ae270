#include "HexStrings.h"
#include "velkcommon.h"
#include "velkformat.h"
#include "velklog.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(HelpersTest, Swaps) {
    EXPECT_EQ(SwapWord(0xA599), 0x99A5);
    EXPECT_EQ(SwapLongWord(0x11223344u), 0x44332211u);
    EXPECT_EQ(SwapLongWord(int32_t(-2)), int32_t(0xFEFFFFFF));
    EXPECT_EQ(RoundUpToEven(101), 102);
    EXPECT_EQ(RoundUpToEven(100), 100);
    EXPECT_EQ(RoundUpToEven(0), 0);
}

TEST(HelpersTest, CompareNames) {
    EXPECT_EQ(CompareNames("SET", "SET", true), 0);
    EXPECT_NE(CompareNames("set", "SET", true), 0);
    EXPECT_EQ(CompareNames("set", "SET", false), 0);
    EXPECT_LT(CompareNames("AB", "ABC", true), 0);
    EXPECT_GT(CompareNames("b", "a", true), 0);
    // Only ASCII letters fold: 0xE0 stays apart from 0xC0.
    EXPECT_NE(CompareNames("\xE0", "\xC0", false), 0);
}

TEST(HelpersTest, FixedFields) {
    const uint8_t bytes[] = {'A', 'B', 0, 'C'};
    EXPECT_EQ(BytesToString(bytes, 4), "AB");
    EXPECT_EQ(BytesToString(bytes, 1), "A");
    EXPECT_EQ(BytesToString(bytes, 0), "");
    EXPECT_EQ(BytesToString(bytes, -3), "");

    uint8_t field[8];
    std::fill(std::begin(field), std::end(field), 0xFF);
    StringToBytes("abc", field, 5);
    EXPECT_EQ(std::vector<uint8_t>(field, field + 6), (std::vector<uint8_t>{'a', 'b', 'c', 0, 0, 0xFF}));
    StringToBytes("pictures1", field, 8); // cut, no terminator
    EXPECT_EQ(std::string(reinterpret_cast<char *>(field), 8), "pictures");
}

TEST(HelpersTest, Hex) {
    EXPECT_EQ(HexDigit(0x1F), 'F');
    const uint8_t bytes[] = {0xA5, 0x99, 0x00, 0x1C};
    EXPECT_EQ(BytesToHex(bytes, 4), "A5 99 00 1C");
    EXPECT_EQ(BytesToHex(bytes, 0), "");
    const uint8_t one = 0x0F;
    EXPECT_EQ(BytesToHex(&one, 1), "0F");
}

TEST(HelpersTest, FormatRendersTheProtocolFormats) {
    EXPECT_EQ(Format("Lettura Flash (indirizzo 0x%8.8x, %d bytes)", 0x34020000u, 80),
              "Lettura Flash (indirizzo 0x34020000, 80 bytes)");
    EXPECT_EQ(Format("0x%4.4x", 0xab), "0x00AB");
    EXPECT_EQ(Format("%x", 255), "FF");
    EXPECT_EQ(Format("%8.8x", -1), "FFFFFFFF");
    EXPECT_EQ(Format("Numbero di pacchetti non valido: %d.", -5), "Numbero di pacchetti non valido: -5.");
    EXPECT_EQ(Format("Stato: %s -> %s.", "IDLE", std::string("WAIT ACK")), "Stato: IDLE -> WAIT ACK.");
    EXPECT_EQ(Format("%s ...", "A5"), "A5 ...");
    EXPECT_EQ(Format("100%% %5d|%-4s|", 42, "ab"), "100%    42|ab  |");
    EXPECT_EQ(Format("%d and %d", 1), "1 and %d"); // missing argument is left as written
}

TEST(LogTest, LinesAreExactlyTheTextAndDroppedWithoutHandler) {
    velk_Log log;
    log.Log("dropped silently");
    std::vector<std::string> lines;
    log.OnLog = [&](velk_Log &sender, const std::string &line) {
        EXPECT_EQ(&sender, &log);
        lines.push_back(line);
    };
    log.Banner("Invio dati");
    log.LogFmt("Stato: %s -> %s.", "IDLE", "WAIT ACK");
    log.Info("Lettura completata.");
    log.Banner("");
    EXPECT_EQ(lines, (std::vector<std::string>{"==========", "Invio dati", "==========", "Stato: IDLE -> WAIT ACK.",
                                               "Lettura completata.", "", "", ""}));
}

} // namespace

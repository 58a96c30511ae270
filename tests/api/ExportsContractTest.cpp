// The exports' contract as a host sees it through the loaded library, the
// same on every platform: version text, callback setters, calling order.
#include "VelkLibrary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ExportsTest, GetVersionWithAndWithoutBuffer) {
    VelkLibrary lib;
    auto getVersion = VELK_FN(lib, GetVersion);
    const std::string version = "Velkora Library 1.4";
    EXPECT_EQ(getVersion(nullptr), static_cast<int32_t>(version.size()));
    std::vector<char> buffer(version.size() + 4, 'x');
    EXPECT_EQ(getVersion(buffer.data()), static_cast<int32_t>(version.size()));
    EXPECT_EQ(std::string(buffer.data()), version);
    EXPECT_EQ(buffer[version.size() + 1], 'x'); // one terminating zero, nothing more
}

void VELK_CALL LogA(int32_t, const char *) {}
void VELK_CALL LogB(int32_t, const char *) {}
void VELK_CALL EventA(int32_t, int32_t) {}
void VELK_CALL EventB(int32_t, int32_t) {}
void VELK_CALL ErrorA(const char *) {}

TEST(ExportsTest, SettersReturnThePreviousCallback) {
    VelkLibrary lib;
    VELK_FN(lib, Initialize)();
    auto setLog = VELK_FN(lib, SetLogEvent);
    auto setEvent = VELK_FN(lib, HLPSetEvent);
    auto setError = VELK_FN(lib, SetErrorEvent);
    EXPECT_EQ(setLog(LogA), nullptr);
    EXPECT_EQ(setLog(LogB), &LogA);
    EXPECT_EQ(setLog(nullptr), &LogB);
    EXPECT_EQ(setEvent(EventA), nullptr);
    EXPECT_EQ(setEvent(EventB), &EventA);
    EXPECT_EQ(setError(ErrorA), nullptr);
    EXPECT_EQ(setError(nullptr), &ErrorA);
    VELK_FN(lib, Finalize)();
}

TEST(ExportsTest, CallbacksStartNullAfterEveryInitialize) {
    VelkLibrary lib;
    VELK_FN(lib, Initialize)();
    VELK_FN(lib, SetLogEvent)(LogA);
    VELK_FN(lib, Finalize)();
    VELK_FN(lib, Initialize)();
    EXPECT_EQ(VELK_FN(lib, SetLogEvent)(nullptr), nullptr);
    VELK_FN(lib, Finalize)();
}

TEST(ExportsTest, CallingOrderIsGuarded) {
    VelkLibrary lib;
    // Before Initialize the setters report failure (null) and touch nothing.
    EXPECT_EQ(VELK_FN(lib, SetLogEvent)(LogA), nullptr);
    EXPECT_EQ(VELK_FN(lib, HLPSetEvent)(EventA), nullptr);
    // Repeated pairs, a second Initialize without Finalize, a second Finalize:
    // the sanitizers see no leak and no use of freed objects.
    for (int i = 0; i < 50; ++i) {
        VELK_FN(lib, Initialize)();
        VELK_FN(lib, Initialize)();
        VELK_FN(lib, SetLogEvent)(LogA);
        VELK_FN(lib, Finalize)();
        VELK_FN(lib, Finalize)();
    }
    EXPECT_EQ(VELK_FN(lib, HLPSetEvent)(EventA), nullptr);
}

} // namespace

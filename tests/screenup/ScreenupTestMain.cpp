// The QApplication of the test program (offscreen, so no display is needed),
// and the shared helpers of ScreenupTest.h.
#include "ScreenupTest.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>

// Qt's font and platform libraries keep some allocations until the process
// ends; they are not ours to free.
extern "C" const char *__lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\nleak:libQt6Widgets\n";
}

namespace {

class TQtEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "test_screenup";
    char *argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment *const g_qt = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace

std::vector<uint8_t> ReadBytes(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> ReadBytes(const QString &file) {
    return ReadBytes(std::filesystem::path(file.toStdString()));
}

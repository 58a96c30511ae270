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

TTempFolder::TTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "screenup-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TTempFolder::~TTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::filesystem::path TTempFolder::Write(const std::string &name, const std::vector<uint8_t> &bytes) const {
    const auto file = path_ / name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return file;
}

QString TTempFolder::QWrite(const std::string &name, const std::vector<uint8_t> &bytes) const {
    return QString::fromStdString(Write(name, bytes).string());
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> ReadBytes(const QString &file) { return ReadBytes(std::filesystem::path(file.toStdString())); }

std::vector<uint8_t> Pattern(std::size_t n, uint8_t seed) {
    std::vector<uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i);
    return bytes;
}

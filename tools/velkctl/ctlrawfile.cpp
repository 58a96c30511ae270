// What a raw file does the same on every system: its ownership.
#include "ctlrawfile.h"

#include <utility>

TRawFile::~TRawFile() {
    Close();
}

TRawFile::TRawFile(TRawFile &&other) noexcept
    : fd_(std::exchange(other.fd_, -1)), owned_(std::exchange(other.owned_, true)) {}

TRawFile &TRawFile::operator=(TRawFile &&other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        owned_ = std::exchange(other.owned_, true);
    }
    return *this;
}

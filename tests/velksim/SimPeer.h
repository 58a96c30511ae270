// TSimPeer: the PC's end of the line for the simulator's tests, built by hand
// from link and transfer packets so that every byte the simulator sees and
// sends can be checked. It opens the line raw, as the library's port does.
#pragma once

#include "velkdescriptor.h"
#include "velkhlpacket.h"
#include "velkllpacket.h"

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

class TSimPeer {
public:
    explicit TSimPeer(const std::string &path);
    // On a descriptor already open (the near side of a pseudo-terminal, say).
    explicit TSimPeer(TDescriptor fd) : fd_(std::move(fd)) {}

    void Write(const std::vector<uint8_t> &bytes);
    void Write(const velk_LLPacket &packet);
    // Raw bytes that arrive within the time-out (at most n).
    std::vector<uint8_t> ReadBytes(size_t n, std::chrono::milliseconds timeout);
    // The next complete link packet, or null when none completes in time.
    std::unique_ptr<velk_LLPacket> ReadPacket(std::chrono::milliseconds timeout = 2000ms);
    // True when nothing at all arrives within the time.
    bool Silent(std::chrono::milliseconds time);

    // One transmission as DATA packets, each sent again after a NACK (up to 20
    // times); false when an answer is missing or not ACK/NACK.
    bool SendTransmission(const std::vector<uint8_t> &bytes, std::chrono::milliseconds timeout = 2000ms);
    // One transmission from the decoder, every packet acknowledged; nothing on
    // time-out or an invalid packet.
    std::optional<std::vector<uint8_t>> ReceiveTransmission(std::chrono::milliseconds timeout = 2000ms);

    // A transfer request and the decoder's answer (its command, -1 when none).
    int64_t Request(const velk_HLPacket &request, std::vector<uint8_t> *data = nullptr);
    int64_t Sync() { return Request(velk_HLPacket(HL_SYNC, 0, nullptr, 0)); }
    int64_t ReadFlash(uint32_t address, uint32_t length, std::vector<uint8_t> *data);
    int64_t ReadEeprom(uint32_t address, uint32_t length, std::vector<uint8_t> *data);
    // WRITE FLASH, WRITE EEPROM or FIRMWARE with the data.
    int64_t Store(uint32_t command, uint32_t address, const std::vector<uint8_t> &data);

    int Descriptor() const { return fd_.Get(); }

private:
    TDescriptor fd_;
    std::vector<uint8_t> pending_;
};

// A transfer read request (READ FLASH or READ EEPROM) of length bytes at address.
velk_HLPacket ReadRequest(uint32_t command, uint32_t address, uint32_t length);
std::vector<uint8_t> BytesOf(const TBuffer &buffer);

// Polls the condition every 10 ms until it holds or the time-out passes.
template <typename Condition> bool Eventually(Condition condition, std::chrono::milliseconds timeout = 5000ms) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::usleep(10000);
    }
    return true;
}

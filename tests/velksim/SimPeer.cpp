#include "SimPeer.h"

#include "velkcommon.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

} // namespace

std::vector<uint8_t> BytesOf(const TBuffer &buffer) {
    return {buffer.Memory(), buffer.Memory() + buffer.Size()};
}

velk_HLPacket ReadRequest(uint32_t command, uint32_t address, uint32_t length) {
    uint8_t data[8];
    WriteBE32(data, address);
    WriteBE32(data + 4, length);
    return velk_HLPacket(command, 0, data, 8);
}

TSimPeer::TSimPeer(const std::string &path) {
    fd_.Reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_)
        throw std::runtime_error("cannot open " + path);
    termios settings{};
    ::tcgetattr(fd_.Get(), &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd_.Get(), TCSANOW, &settings);
}

void TSimPeer::Write(const std::vector<uint8_t> &bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd_.Get(), bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += size_t(n);
        } else {
            pollfd out{fd_.Get(), POLLOUT, 0};
            ::poll(&out, 1, 100);
        }
    }
}

void TSimPeer::Write(const velk_LLPacket &packet) {
    Write(BytesOf(packet));
}

std::vector<uint8_t> TSimPeer::ReadBytes(size_t n, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    std::vector<uint8_t> bytes;
    while (bytes.size() < n) {
        if (!pending_.empty()) {
            size_t take = std::min(n - bytes.size(), pending_.size());
            bytes.insert(bytes.end(), pending_.begin(), pending_.begin() + long(take));
            pending_.erase(pending_.begin(), pending_.begin() + long(take));
            continue;
        }
        pollfd in{fd_.Get(), POLLIN, 0};
        if (::poll(&in, 1, MillisecondsLeft(deadline)) <= 0)
            break;
        uint8_t buffer[4096];
        ssize_t got = ::read(fd_.Get(), buffer, std::min(sizeof buffer, n - bytes.size()));
        if (got <= 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

std::unique_ptr<velk_LLPacket> TSimPeer::ReadPacket(std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    auto packet = std::make_unique<velk_LLPacket>(2048);
    while (packet->Count() == 0 || packet->Missing() > 0) {
        auto bytes = ReadBytes(size_t(packet->Missing()), std::chrono::milliseconds(MillisecondsLeft(deadline)));
        if (bytes.empty())
            return nullptr;
        int32_t used = packet->Feed(bytes.data(), int32_t(bytes.size()));
        pending_.insert(pending_.begin(), bytes.begin() + used, bytes.end());
    }
    return packet;
}

bool TSimPeer::Silent(std::chrono::milliseconds time) {
    return ReadBytes(1, time).empty();
}

bool TSimPeer::SendTransmission(const std::vector<uint8_t> &bytes, std::chrono::milliseconds timeout) {
    int32_t total = int32_t(bytes.size());
    int32_t packets = std::max(1, (total + 2031) / 2032);
    for (int32_t index = 0; index < packets; ++index) {
        int32_t chunk = std::min(2032, total - index * 2032);
        velk_LLPacket packet(LL_DATA, uint16_t(packets - 1), uint16_t(index), uint16_t(chunk),
                             bytes.data() + index * 2032);
        for (int attempt = 0;; ++attempt) {
            Write(packet);
            auto answer = ReadPacket(timeout);
            if (!answer || !answer->IsValid() || attempt > 20)
                return false;
            if (answer->PacketType() == LL_ACK)
                break;
            if (answer->PacketType() != LL_NACK)
                return false;
        }
    }
    return true;
}

std::optional<std::vector<uint8_t>> TSimPeer::ReceiveTransmission(std::chrono::milliseconds timeout) {
    std::vector<uint8_t> bytes;
    int32_t expected = 0;
    for (int32_t received = 0; received == 0 || received < expected;) {
        auto packet = ReadPacket(timeout);
        if (!packet || !packet->IsValid() || packet->PacketType() != LL_DATA)
            return std::nullopt;
        if (received == 0)
            expected = packet->PacketCount();
        size_t at = bytes.size();
        bytes.resize(at + packet->PayloadLength());
        packet->CopyPayload(bytes.data() + at, packet->PayloadLength());
        ++received;
        Write(velk_LLPacket(LL_ACK, 0, 0, 0, nullptr));
    }
    return bytes;
}

int64_t TSimPeer::Request(const velk_HLPacket &request, std::vector<uint8_t> *data) {
    if (!SendTransmission(BytesOf(request)))
        return -1;
    auto answer = ReceiveTransmission();
    if (!answer)
        return -1;
    TBuffer buffer;
    buffer.SetData(answer->data(), int32_t(answer->size()));
    velk_HLPacket packet(buffer);
    if (!packet.IsValid())
        return -1;
    if (data != nullptr)
        data->assign(packet.Data(), packet.Data() + packet.DataLength());
    return packet.Command();
}

int64_t TSimPeer::ReadFlash(uint32_t address, uint32_t length, std::vector<uint8_t> *data) {
    return Request(ReadRequest(HL_READ_FLASH, address, length), data);
}

int64_t TSimPeer::ReadEeprom(uint32_t address, uint32_t length, std::vector<uint8_t> *data) {
    return Request(ReadRequest(HL_READ_EEPROM, address, length), data);
}

int64_t TSimPeer::Store(uint32_t command, uint32_t address, const std::vector<uint8_t> &data) {
    return Request(velk_HLPacket(command, address, data.data(), uint32_t(data.size())));
}

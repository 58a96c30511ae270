#include "velksimlink.h"

#include "velksimhostile.h"

#include "velkcommon.h"
#include "velkformat.h"
#include "velkllpacket.h"

#include <algorithm>

namespace velksim {

namespace {

constexpr int32_t ReadChunk = 4096;
// Damage leaves the type marker and the total length alone, as line noise that
// keeps the packet's frame: the PC still finds and measures it, and rejects it
// by its checks.
constexpr int32_t FirstDamageable = kLLPayloadLengthAt;
constexpr uint8_t MarkerByte = 0xA5;

const char *TypeName(uint16_t type) {
    switch (type) {
    case LL_DATA:
        return "DATA";
    case LL_ACK:
        return "ACK";
    case LL_NACK:
        return "NACK";
    default:
        return "?";
    }
}

} // namespace

std::string DescribePacket(const velk_LLPacket &packet) {
    std::string text = packet.IsValid() ? "" : "invalid ";
    uint16_t type = packet.PacketType();
    text += TypeName(type);
    if (type == LL_DATA && packet.Count() >= kLLPacketIndexAt + 2)
        text += Format(" %d/%d, %d bytes", int32_t(ReadBE16(packet.Memory() + kLLPacketIndexAt)), packet.PacketCount(),
                       int32_t(packet.PayloadLength()));
    else if (type == LL_NACK && packet.TotalLength() > kLLPayloadOverhead)
        text += Format(" \"%s\"", packet.ReasonText());
    return Format("%s [%s]", text, packet.ToLogText());
}

TSimLink::TSimLink(TSimLine &line, TSimShared &shared, TSimTiming timing)
    : line_(line), shared_(shared), timing_(timing) {}

TSimLink::~TSimLink() = default;

void TSimLink::SetIdle(bool idle) {
    std::lock_guard lock(shared_.mutex);
    if (shared_.idle == idle)
        return;
    shared_.idle = idle;
    if (idle)
        shared_.changed.notify_all();
}

void TSimLink::Damage(velk_LLPacket &packet, const char *why) {
    int32_t at;
    int32_t bit;
    {
        std::lock_guard lock(shared_.mutex);
        at = shared_.dice.Between(FirstDamageable, packet.Count() - 1);
        bit = shared_.dice.Between(0, 7);
    }
    packet.Memory()[at] ^= uint8_t(1u << bit);
    shared_.Note(Format("%s: bit %d of byte %d flipped", why, bit, at));
}

TSimLink::TReceived TSimLink::ReceivePacket(Clock::time_point deadline, bool stopOnWake) {
    auto packet = std::make_unique<velk_LLPacket>(kLLMaxPacketLength);
    std::optional<Clock::time_point> startedAt;
    for (;;) {
        while (inputAt_ < input_.size() && packet->Missing() > 0) {
            bool started = packet->PacketType() != LL_NONE;
            int32_t offer = int32_t(std::min<size_t>(input_.size() - inputAt_, size_t(packet->Missing())));
            inputAt_ += size_t(packet->Feed(input_.data() + inputAt_, offer));
            if (!started && packet->PacketType() != LL_NONE)
                startedAt = Clock::now();
        }
        if (inputAt_ == input_.size()) {
            input_.clear();
            inputAt_ = 0;
        }
        if (packet->Count() > 0 && packet->Missing() == 0)
            break;

        Clock::time_point until = deadline;
        std::optional<Clock::time_point> completeBy;
        if (startedAt) {
            completeBy = *startedAt + timing_.completionTimeout + line_.Pacer().LineTime(packet->TotalLength());
            until = std::min(until, *completeBy);
        }
        bool waitingForStart = packet->Count() == 0 && input_.empty();
        if (waitingForStart)
            SetIdle(true);
        TSimLine::TWait result;
        try {
            result = line_.Wait(until);
        } catch (...) {
            SetIdle(false);
            throw;
        }
        SetIdle(false);
        if (result == TSimLine::TWait::Input) {
            size_t at = input_.size();
            input_.resize(at + ReadChunk);
            int32_t got = line_.Read(input_.data() + at, ReadChunk);
            input_.resize(at + size_t(got));
            std::lock_guard lock(shared_.mutex);
            shared_.counters.bytesReceived += got;
        } else if (result == TSimLine::TWait::Woken) {
            if (stopOnWake && packet->Count() == 0)
                return {nullptr, true};
        } else if (completeBy && Clock::now() >= *completeBy) {
            packet->Invalidate();
            startedAt.reset();
            shared_.Note("incomplete packet: completion time over, packet invalidated");
            if (packet->Count() > 0)
                break;
        } else if (Clock::now() >= deadline) {
            return {nullptr, false};
        }
    }

    // On a paced line the packet's last byte arrives only after its line time.
    line_.SleepUntil(line_.Pacer().ReceivedBy());
    uint16_t type = packet->PacketType();
    if (type == LL_DATA && packet->IsValid()) {
        bool damage;
        {
            std::lock_guard lock(shared_.mutex);
            damage = shared_.dice.Hit(shared_.faults.corruptReceived);
        }
        if (damage)
            Damage(*packet, "DATA packet damaged on its way in");
    }
    bool valid = packet->IsValid();
    {
        std::lock_guard lock(shared_.mutex);
        TSimCounters &counters = shared_.counters;
        ++counters.packetsReceived;
        if (!valid)
            ++counters.invalidPacketsReceived;
        if (type == LL_DATA)
            ++counters.dataPacketsReceived;
        else if (type == LL_ACK && valid)
            ++counters.acksReceived;
        else if (type == LL_NACK && valid)
            ++counters.nacksReceived;
    }
    shared_.Note(TSimTraceKind::LinkIn, type, valid, DescribePacket(*packet));
    return {std::move(packet), false};
}

void TSimLink::SendPacket(const velk_LLPacket &packet, bool isData, const std::string &what) {
    // Every decision is drawn in a fixed order, so a seed replays the same faults.
    int32_t lateMs = 0;
    bool drop = false;
    std::vector<uint8_t> noise;
    bool damage = false;
    int32_t length = packet.Size();
    std::vector<uint8_t> hostile;
    std::string hostileWhat;
    {
        std::lock_guard lock(shared_.mutex);
        const TSimFaults &faults = shared_.faults;
        TSimDice &dice = shared_.dice;
        if (dice.Hit(faults.lateRate))
            lateMs = std::max(faults.lateMs, 0);
        drop = !isData && dice.Hit(faults.dropAnswers);
        if (dice.Hit(faults.noiseRate)) {
            noise.resize(size_t(dice.Between(1, std::max(faults.noiseMax, 1))));
            for (uint8_t &byte : noise) {
                byte = uint8_t(dice.Between(0, 254));
                if (byte >= MarkerByte)
                    ++byte;
            }
        }
        damage = dice.Hit(isData ? faults.corruptSent : faults.corruptAnswers);
        if (dice.Hit(isData ? faults.partialRate : faults.partialAnswers))
            length = faults.partialBytes > 0 ? std::min(faults.partialBytes, packet.Size() - 1)
                                             : dice.Between(1, packet.Size() - 1);
        if (dice.Hit(faults.hostilePackets))
            hostile = HostilePacket(packet, dice, hostileWhat);
    }

    if (lateMs > 0) {
        shared_.Note(Format("answering %d ms late", lateMs));
        line_.SleepUntil(Clock::now() + std::chrono::milliseconds(lateMs));
    }
    if (drop) {
        shared_.Note(TSimTraceKind::LinkOut, packet.PacketType(), true, what + " (lost on the line)");
        return;
    }
    if (!noise.empty()) {
        line_.Write(noise.data(), int32_t(noise.size()));
        {
            std::lock_guard lock(shared_.mutex);
            shared_.counters.bytesSent += int64_t(noise.size());
            shared_.counters.noiseBytesSent += int64_t(noise.size());
        }
        shared_.Note(TSimTraceKind::LinkOut, 0, false, Format("noise, %d bytes", int32_t(noise.size())));
    }
    velk_LLPacket sent(packet.Size());
    sent.Write(packet.Memory(), packet.Size());
    const uint8_t *out = sent.Memory();
    std::string note;
    if (!hostile.empty()) {
        // The hostile packet goes out whole instead, damage and cuts aside.
        out = hostile.data();
        length = int32_t(hostile.size());
        damage = false;
        note = " (replaced by " + hostileWhat + ", hostile)";
    } else if (damage) {
        Damage(sent, "packet damaged on its way out");
        note = " (damaged)";
    }
    if (hostile.empty() && length < packet.Size())
        note += Format(" (cut after %d of %d bytes)", length, packet.Size());
    bool written = line_.Write(out, length);
    {
        std::lock_guard lock(shared_.mutex);
        TSimCounters &counters = shared_.counters;
        counters.bytesSent += length;
        ++counters.packetsSent;
        if (isData)
            ++counters.dataPacketsSent;
        else if (packet.PacketType() == LL_ACK)
            ++counters.acksSent;
        else
            ++counters.nacksSent;
    }
    if (!written)
        note += " (the PC took nothing for 5 s: dropped)";
    shared_.Note(TSimTraceKind::LinkOut, packet.PacketType(), !damage && hostile.empty() && length == packet.Size(),
                 what + note);
}

void TSimLink::SendAnswer(uint16_t type, const std::string &reason) {
    velk_LLPacket answer(type, 0, 0, uint16_t(reason.size()), reason.empty() ? nullptr : reason.data());
    SendPacket(answer, false, DescribePacket(answer));
}

void TSimLink::Abandon(const std::string &why) {
    {
        std::lock_guard lock(shared_.mutex);
        ++shared_.counters.transmissionsAbandoned;
    }
    shared_.Note(why + "; transmission abandoned");
}

std::unique_ptr<velk_LLPacket> TSimLink::SendTransmission(const std::vector<uint8_t> &bytes) {
    int32_t total = int32_t(bytes.size());
    int32_t packets = std::max(1, (total + kLLMaxPayload - 1) / kLLMaxPayload);
    if (packets > 0x10000) {
        Abandon(Format("a transmission of %d bytes needs more than 65536 packets", total));
        return nullptr;
    }
    uint16_t last = uint16_t(packets - 1);
    for (int32_t index = 0; index < packets; ++index) {
        int32_t at = index * kLLMaxPayload;
        int32_t chunk = std::min(kLLMaxPayload, total - at);
        velk_LLPacket packet(LL_DATA, last, uint16_t(index), uint16_t(chunk), bytes.data() + at);
        int32_t nacks = 0;
        for (;;) {
            SendPacket(packet, true, DescribePacket(packet));
            TReceived answer = ReceivePacket(Clock::now() + timing_.answerTimeout, false);
            if (!answer.packet) {
                Abandon(Format("no answer within %d ms", int32_t(timing_.answerTimeout.count())));
                return nullptr;
            }
            if (!answer.packet->IsValid()) {
                Abandon("invalid answer");
                return nullptr;
            }
            uint16_t type = answer.packet->PacketType();
            if (type == LL_ACK)
                break;
            if (type == LL_DATA) {
                Abandon("the PC sent a DATA packet instead of an answer");
                return std::move(answer.packet);
            }
            if (++nacks > timing_.maxNacks) {
                Abandon(Format("%d NACKs in a row", nacks));
                return nullptr;
            }
            std::lock_guard lock(shared_.mutex);
            ++shared_.counters.resends;
        }
    }
    std::lock_guard lock(shared_.mutex);
    ++shared_.counters.transmissionsSent;
    return nullptr;
}

} // namespace velksim

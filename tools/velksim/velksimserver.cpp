#include "velksimserver.h"

#include "velksimerror.h"
#include "velksimhostile.h"

#include "velkformat.h"
#include "velkllpacket.h"

namespace velksim {

TSimServer::TSimServer(TSimLine &line, TSimShared &shared, TSimTiming timing)
    : line_(line), shared_(shared), link_(line, shared, timing), decoder_(shared) {}

bool TSimServer::Muted() {
    std::lock_guard lock(shared_.mutex);
    int32_t after = shared_.faults.stopAfter;
    return after >= 0 && shared_.transmissionsSinceFaults >= after;
}

bool TSimServer::HangUpDue() {
    std::lock_guard lock(shared_.mutex);
    int32_t after = shared_.faults.hangUpAfterTransmissions;
    return after >= 0 && shared_.transmissionsSinceFaults >= after;
}

void TSimServer::Run() {
    for (;;) {
        std::unique_ptr<velk_LLPacket> packet = std::move(next_);
        if (!packet) {
            if (HangUpDue())
                throw ESimLine("hung up the line (fault)");
            std::optional<std::vector<uint8_t>> queued;
            if (!reception_.InProgress()) {
                std::lock_guard lock(shared_.mutex);
                if (!shared_.outbox.empty()) {
                    queued = std::move(shared_.outbox.front());
                    shared_.outbox.pop_front();
                }
            }
            if (queued) {
                shared_.Note(Format("sending a queued transmission of %d bytes", int32_t(queued->size())));
                next_ = link_.SendTransmission(*queued);
                continue;
            }
            TSimLink::TReceived received = link_.ReceivePacket(TSimLink::Clock::time_point::max(), true);
            packet = std::move(received.packet);
            if (!packet)
                continue; // woken: look at the queue again
        }
        Handle(std::move(packet));
    }
}

void TSimServer::Handle(std::unique_ptr<velk_LLPacket> packet) {
    if (Muted()) {
        shared_.Note("not answered: the simulator has stopped answering (fault)");
        return;
    }
    if (packet->PacketType() != LL_DATA) {
        shared_.Note("no transmission is being sent: packet ignored");
        return;
    }
    if (!packet->IsValid()) {
        link_.SendAnswer(LL_NACK);
        return;
    }
    std::string reason;
    bool refuse;
    {
        std::lock_guard lock(shared_.mutex);
        refuse = shared_.nacksLeft > 0 || shared_.dice.Hit(shared_.faults.nackRate);
        if (shared_.nacksLeft > 0)
            --shared_.nacksLeft;
        reason = shared_.faults.nackReason;
    }
    if (refuse) {
        shared_.Note("valid packet refused (fault)");
        link_.SendAnswer(LL_NACK, reason);
        return;
    }
    std::optional<TSimReception::TComplete> complete = reception_.Accept(*packet);
    link_.SendAnswer(LL_ACK);
    if (!complete)
        return;

    bool answer;
    {
        std::lock_guard lock(shared_.mutex);
        ++shared_.counters.transmissionsReceived;
        ++shared_.transmissionsSinceFaults;
        if (!complete->tooLong)
            shared_.lastTransmission = complete->bytes;
        answer = shared_.transferLayer;
    }
    shared_.Note(Format("transmission of %d bytes received", int32_t(complete->bytes.size())));
    if (!answer)
        return;
    if (std::optional<std::vector<uint8_t>> reply = decoder_.Serve(*complete)) {
        std::string hostile;
        {
            std::lock_guard lock(shared_.mutex);
            if (shared_.dice.Hit(shared_.faults.hostileAnswers))
                *reply = HostileAnswer(*reply, shared_.dice, hostile);
        }
        if (!hostile.empty())
            shared_.Note("answer replaced by " + hostile + " (hostile)");
        next_ = link_.SendTransmission(*reply);
    }
}

} // namespace velksim

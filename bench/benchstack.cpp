#include "benchstack.h"

TBenchStack::TBenchStack(const std::string &linePath) : transport_(stack_.Transfer()) {
    velk_CPort &port = stack_.Port();
    port.SetPort(linePath);
    port.Open();
    // The transfer engine has installed its handler; time the events on their way to it.
    velk_LLProtocol &link = stack_.Link();
    velk_LLProtocol::THandler engineHandler = link.OnEvent;
    link.OnEvent = [this, engineHandler](velk_LLProtocol &sender, int32_t code, int32_t value) {
        OnLinkEvent(code);
        engineHandler(sender, code, value);
    };
}

TBenchStack::~TBenchStack() {
    stack_.Port().Close();
}

void TBenchStack::OnLinkEvent(int32_t code) {
    const Clock::time_point now = Clock::now();
    auto roundTrip = [&] {
        if (marked_)
            roundTrips_.push_back(std::chrono::duration<double, std::micro>(now - mark_).count());
    };
    switch (code) {
    case leSendStart: // the first packet is written right after
        marked_ = true;
        break;
    case lePacketAcked:    // and the next one right after this
    case lePacketReceived: // the ACK has just been written
        roundTrip();
        marked_ = true;
        break;
    case leWaitData: // the decoder's first packet waits for the decoder's work
    case leIdle:
    case leTimeout:
    case leError:
        marked_ = false;
        return;
    default:
        return;
    }
    mark_ = now;
}

std::vector<double> TBenchStack::TakeRoundTrips() {
    std::vector<double> taken;
    taken.swap(roundTrips_);
    return taken;
}

#include "benchfloors.h"

#include "velkcport.h"
#include "velkdecoderstack.h"
#include "velkdescriptor.h"
#include "velkllprotocol.h"
#include "velkmemorymap.h"
#include "velkmessagequeue.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool ReadAll(int fd, size_t n) {
    char bytes[4096];
    for (size_t got = 0; got < n;) {
        const ssize_t read = ::read(fd, bytes, std::min(sizeof bytes, n - got));
        if (read <= 0)
            return false;
        got += size_t(read);
    }
    return true;
}

void MakeRaw(int fd) {
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
}

double PtyRoundTrip() {
    constexpr int kRounds = 1000;
    constexpr size_t kPacket = 2048;
    constexpr size_t kAnswer = 12;
    int near = -1;
    int far = -1;
    if (::openpty(&near, &far, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    TDescriptor nearSide(near);
    TDescriptor farSide(far);
    MakeRaw(near);
    MakeRaw(far);
    std::thread peer([near] {
        const std::vector<char> answer(kAnswer, 0);
        for (int i = 0; i < kRounds && ReadAll(near, kPacket); ++i)
            if (::write(near, answer.data(), answer.size()) != ssize_t(answer.size()))
                return;
    });
    const std::vector<char> packet(kPacket, 1);
    std::vector<double> trips;
    for (int i = 0; i < kRounds; ++i) {
        const Clock::time_point start = Clock::now();
        if (::write(far, packet.data(), packet.size()) != ssize_t(packet.size()) || !ReadAll(far, kAnswer))
            break;
        trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    peer.join();
    return Median(trips);
}

double HandOff() {
    constexpr int kMessages = 300;
    TMessageQueue &queue = TMessageQueue::Current();
    TMessageTarget target;
    std::atomic<int64_t> postedAt{0};
    std::vector<double> delays;
    std::thread worker([&] {
        for (int i = 0; i < kMessages; ++i) {
            // Each notice comes to an owner that has been waiting, as on a line.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            postedAt = Clock::now().time_since_epoch().count();
            target.Send(
                [&] {
                    const auto delay = Clock::now().time_since_epoch() - Clock::duration(postedAt.load());
                    delays.push_back(std::chrono::duration<double, std::micro>(delay).count());
                },
                TMessageTarget::TRelease::Accepted);
        }
    });
    while (int(delays.size()) < kMessages) {
        queue.WaitForMessage(1000);
        queue.ProcessMessages();
    }
    worker.join();
    return Median(delays);
}

// A bare peer on the pseudo-terminal's near side: every complete link packet
// read is answered with an ACK at once, nothing is checked.
void AcknowledgeEverything(int near) {
    static const uint8_t ack[12] = {0xA5, 0x33, 0x00, 0x0C, 0, 0, 0, 0, 0, 0, 0x9A, 0x65};
    std::vector<uint8_t> bytes(8192);
    size_t held = 0;
    for (;;) {
        const ssize_t read = ::read(near, bytes.data() + held, bytes.size() - held);
        if (read <= 0)
            return;
        held += size_t(read);
        while (held >= 4) {
            const size_t total = size_t(bytes[2]) << 8 | bytes[3];
            if (total < 12 || held < total)
                break;
            if (::write(near, ack, sizeof ack) != ssize_t(sizeof ack))
                return;
            std::copy(bytes.begin() + long(total), bytes.begin() + long(held), bytes.begin());
            held -= total;
        }
    }
}

double LinkSend() {
    constexpr int kRounds = 31;
    constexpr auto kBytes = int32_t(kRecordSlotSize); // a record slot, the largest block the library sends
    int near = -1;
    int far = -1;
    char path[256] = {};
    if (::openpty(&near, &far, path, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    TDescriptor nearSide(near);
    TDescriptor farSide(far);
    MakeRaw(near);
    std::thread peer(AcknowledgeEverything, near);
    std::vector<double> seconds;
    {
        velk_CPort port;
        port.SetPort(path);
        port.Open();
        bool done = false;
        velk_LLProtocol link(port, [&](velk_LLProtocol &, int32_t code, int32_t) {
            done = done || code == leSendDone || code == leTimeout || code == leError;
        });
        const std::vector<uint8_t> data(kBytes, 0x5A);
        TMessageQueue &queue = TMessageQueue::Current();
        for (int i = 0; i < kRounds; ++i) {
            done = false;
            const Clock::time_point start = Clock::now();
            link.Send(data.data(), kBytes);
            while (!done) {
                queue.WaitForMessage(100);
                queue.ProcessMessages();
            }
            seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        port.Close();
    }
    // The peer's read ends when the far side has no holder left.
    farSide.Reset();
    peer.join();
    const double median = Median(seconds);
    return median > 0 ? kBytes / median / 1e6 : 0;
}

} // namespace

TBenchFloors MeasureFloors() {
    TBenchFloors floors;
    floors.ptyRoundTripUs = PtyRoundTrip();
    floors.handOffUs = HandOff();
    floors.linkSendMBps = LinkSend();
    return floors;
}

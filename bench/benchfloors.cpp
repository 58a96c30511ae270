#include "benchfloors.h"

#include "velkdescriptor.h"
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

} // namespace

TBenchFloors MeasureFloors() {
    TBenchFloors floors;
    floors.ptyRoundTripUs = PtyRoundTrip();
    floors.handOffUs = HandOff();
    return floors;
}

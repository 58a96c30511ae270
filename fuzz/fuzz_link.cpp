// Fuzzes the link engine on a real pseudo-terminal: the far end sends the
// input over and over without end (each round changed a little, cut into
// writes of any size) while the engine sends and receives with short time
// limits, its timers running on real time. Whatever arrives, every
// transmission must end by the engine's own limits, the engine free again,
// and a reception must never hold more than its first packet announced.
#include "FuzzCheck.h"
#include "velkcport.h"
#include "velkerrorsink.h"
#include "velkllprotocol.h"
#include "velkmessagequeue.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Short limits, so that an input runs a few transmissions in a fraction of a second.
constexpr TLLTimeouts kLimits{20, 8, 20};
// A reception waits at most eleven times (the first packet and ten NACKs) for
// a packet to begin and then to be complete; the rest is the machine's slack.
constexpr auto kBound = std::chrono::milliseconds(11 * (kLimits.Reply + kLimits.Completion) + 400);

// The far end: writes the input round after round, as long as the engine runs,
// and reads away what the engine writes so its writes never wait.
class TFarEnd {
public:
    TFarEnd(int master, const uint8_t *data, size_t size, uint32_t seed)
        : master_(master), stream_(data, data + size), thread_([this, seed] { Run(seed); }) {}
    ~TFarEnd() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run(uint32_t seed) {
        std::minstd_rand dice(seed);
        std::vector<uint8_t> round = stream_;
        size_t at = 0;
        while (!stop_) {
            uint8_t scratch[4096];
            while (::read(master_, scratch, sizeof scratch) > 0) {
            }
            if (round.empty())
                return;
            if (at == round.size()) {
                // The next round: the same bytes with one of them changed.
                round[dice() % round.size()] ^= static_cast<uint8_t>(1 + dice() % 255);
                at = 0;
            }
            const size_t n = std::min<size_t>(1 + dice() % 3000, round.size() - at);
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 5) == 1) {
                const ssize_t written = ::write(master_, round.data() + at, n);
                if (written > 0)
                    at += static_cast<size_t>(written);
            }
        }
    }

    int master_;
    std::vector<uint8_t> stream_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct TPty {
    int master = -1, slave = -1;
    char name[256] = {};
    TPty() {
        VELK_FUZZ_CHECK(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~TPty() {
        ::close(master);
        ::close(slave);
    }
};

bool Ended(int32_t code) {
    return code == leSendDone || code == leReceiveDone || code == leError || code == leTimeout;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    // What the engine's handlers raise (a reception longer than announced) is
    // reported and dropped, as the library's error box would show it.
    SetErrorSink([](const char *) {});
    TPty pty;
    velk_CPort port;
    port.SetPort(pty.name);
    port.Open();
    int32_t last = leIdle;
    int32_t announced = 0;
    velk_LLProtocol link(
        port,
        [&](velk_LLProtocol &, int32_t code, int32_t value) {
            if (Ended(code))
                last = code;
            if (code == leReceiveStart)
                announced = value;
        },
        kLimits);
    TFarEnd far(pty.master, data, size, size > 4 ? data[0] | data[1] << 8 | data[2] << 16 : 7);
    TMessageQueue &queue = TMessageQueue::Current();
    const std::vector<uint8_t> payload(3000, 0x5A);
    for (int transmission = 0; transmission < 3; ++transmission) {
        last = leIdle;
        announced = 0;
        try {
            if (transmission == 1)
                link.Receive();
            else
                link.Send(payload.data(), static_cast<int32_t>(payload.size()));
        } catch (const EVelk &) {
            VELK_FUZZ_CHECK(link.State() == llsIdle);
            continue;
        }
        const auto deadline = Clock::now() + kBound;
        while (link.State() != llsIdle) {
            VELK_FUZZ_CHECK(Clock::now() < deadline);
            queue.WaitForMessage(5);
            queue.ProcessMessages();
        }
        VELK_FUZZ_CHECK(Ended(last));
        if (last == leReceiveDone)
            VELK_FUZZ_CHECK(link.ReceivedData().Size() <= announced * kLLMaxPayload);
    }
    return 0;
}

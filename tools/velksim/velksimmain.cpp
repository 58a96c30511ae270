// velksim: the decoder simulator as a program. Serves until SIGINT, SIGTERM or
// SIGHUP; see HelpText for the options.
#include "velksim.h"
#include "velksimerror.h"
#include "velksimlinkcheck.h"
#include "velksimoptions.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace velksim;

namespace {

int Usage(const std::string &message) {
    std::fprintf(stderr, "velksim: %s\nTry 'velksim --help'.\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    TSimOptions options;
    try {
        options = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const ESimUsage &error) {
        return Usage(error.Message());
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    }
    try {
        if (!options.config.linkPath.empty())
            CheckLinkPath(options.config.linkPath);
    } catch (const ESimUsage &error) {
        std::fprintf(stderr, "velksim: %s\n", error.Message().c_str());
        return 2;
    }
    if (options.trace)
        options.config.onTrace = [](const TSimTraceEntry &entry) {
            std::fprintf(stderr, "velksim: %s\n", TraceLine(entry).c_str());
        };

    // The signals are taken by one thread with sigwait; every other thread,
    // the simulator's included, keeps them blocked.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<TDecoderSim> sim;
    try {
        sim = std::make_unique<TDecoderSim>(options.config);
    } catch (const ESimState &error) {
        std::fprintf(stderr, "velksim: %s\n", error.what());
        return 2;
    } catch (const ESimRange &error) {
        std::fprintf(stderr, "velksim: %s\n", error.what());
        return 2;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "velksim: %s\n", error.what());
        return 1;
    }
    std::printf("velksim: decoder ready on %s\n", sim->LinePath().c_str());
    std::fflush(stdout);

    std::atomic<bool> interrupted{false};
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&signals, &signal);
        interrupted.store(true);
        sim->Stop();
    });
    while (!sim->WaitStopped(std::chrono::hours(1))) {
    }
    bool byInterrupt = interrupted.load();
    if (!byInterrupt)
        pthread_kill(waiter.native_handle(), SIGTERM); // ends the waiter's sigwait
    waiter.join();
    if (byInterrupt)
        return 0;
    std::fprintf(stderr, "velksim: %s\n", sim->EndReason().c_str());
    return 1;
}

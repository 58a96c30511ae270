#include "ctlbenchrun.h"

#include "ctlbenchchild.h"
#include "ctlchildprocess.h"
#include "ctlerror.h"

#include <nlohmann/json.hpp>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

enum class TStream { Output, Error, Ended };

struct TEvent {
    std::size_t Decoder = 0;
    TStream Stream = TStream::Output;
    std::string Bytes;
    TChildEnd End;
};

// What the decoders' threads hand to the thread that prints.
class TEventQueue {
public:
    void Push(TEvent event) {
        {
            const std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        ready_.notify_one();
    }
    // Blocks until an event comes; every process ends, so one always does.
    TEvent Pop() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return !events_.empty(); });
        TEvent event = std::move(events_.front());
        events_.pop_front();
        return event;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<TEvent> events_;
};

// One decoder's process with a thread reading each of its pipes; the thread
// that reads last waits for the process and says it ended.
class TDecoderProcess {
public:
    TDecoderProcess(std::size_t decoder, std::unique_ptr<TChildProcess> child, TEventQueue &queue)
        : decoder_(decoder), child_(std::move(child)), queue_(queue), output_([this] { Pump(TStream::Output); }),
          error_([this] { Pump(TStream::Error); }) {}

private:
    void Pump(TStream stream) {
        char buffer[4096];
        for (;;) {
            const std::size_t got = stream == TStream::Output ? child_->ReadOutput(buffer, sizeof buffer)
                                                              : child_->ReadError(buffer, sizeof buffer);
            if (got == 0)
                break;
            queue_.Push({decoder_, stream, std::string(buffer, got), {}});
        }
        if (--open_ == 0)
            queue_.Push({decoder_, TStream::Ended, {}, child_->Wait()});
    }

    std::size_t decoder_;
    std::unique_ptr<TChildProcess> child_;
    TEventQueue &queue_;
    std::atomic<int> open_{2};
    std::jthread output_, error_;
};

// The progress lines of the running decoders, drawn below everything else on
// standard error and erased while other lines are printed.
class TProgressBlock {
public:
    explicit TProgressBlock(bool enabled) : enabled_(enabled) {}
    ~TProgressBlock() { Erase(); }

    void Set(const std::string &label, const std::string &text) {
        if (!enabled_)
            return;
        Erase();
        if (text.empty())
            lines_.erase(label);
        else
            lines_[label] = text;
        Draw();
    }
    void Erase() {
        if (shown_ > 0) {
            std::fprintf(stderr, "\033[%dA\033[J", shown_);
            std::fflush(stderr);
        }
        shown_ = 0;
    }
    void Draw() {
        if (!enabled_)
            return;
        for (const auto &[label, text] : lines_)
            std::fprintf(stderr, "%s: %s\n", label.c_str(), text.c_str());
        std::fflush(stderr);
        shown_ = int(lines_.size());
    }

private:
    bool enabled_;
    int shown_ = 0;
    std::map<std::string, std::string> lines_;
};

// A decoder's bytes on one stream, passed on a whole line at a time.
struct TLineBuffer {
    std::string Pending;
    // Complete lines taken out of Pending (each without its newline).
    std::vector<std::string> Take(const std::string &bytes) {
        Pending += bytes;
        std::vector<std::string> lines;
        std::size_t start = 0;
        for (std::size_t end; (end = Pending.find('\n', start)) != std::string::npos; start = end + 1)
            lines.push_back(Pending.substr(start, end - start));
        Pending.erase(0, start);
        return lines;
    }
};

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

std::string EndText(const TChildEnd &end) {
    if (end.Signal != 0)
        return "ended by signal " + std::to_string(end.Signal);
    return "ended with exit code " + std::to_string(end.Code);
}

} // namespace

TBenchRun::TBenchRun(std::vector<TDecoderName> decoders, TBenchSettings settings)
    : decoders_(std::move(decoders)), settings_(std::move(settings)) {}

int TBenchRun::Run() {
    const std::size_t count = decoders_.size();
    const std::size_t jobs = settings_.Jobs > 0 ? std::min<std::size_t>(std::size_t(settings_.Jobs), count) : count;
    outcomes_.assign(count, {});
    std::vector<Clock::time_point> started(count);
    std::vector<TLineBuffer> outputs(count), errors(count);
    TEventQueue queue;
    TProgressBlock progress(settings_.Progress);
    // Processes are started and ended by this thread alone.
    std::vector<std::unique_ptr<TDecoderProcess>> processes(count);
    const std::string self = TChildProcess::SelfPath();

    const auto print = [&](std::FILE *stream, std::size_t decoder, const std::string &line) {
        progress.Erase();
        const std::string text = decoders_[decoder].Label + ": " + line + "\n";
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
        progress.Draw();
    };
    const auto handleError = [&](std::size_t decoder, const std::string &line) {
        if (line.size() >= 2 && line[0] == BenchRecordMark) {
            if (line[1] == BenchProgressRecord)
                progress.Set(decoders_[decoder].Label, line.substr(2));
            else if (line[1] == BenchFailureRecord)
                outcomes_[decoder].Error = line.substr(2);
            return;
        }
        print(stderr, decoder, line);
    };
    const auto handleOutput = [&](std::size_t decoder, const std::string &line) {
        if (settings_.Json)
            outcomes_[decoder].Output += line + "\n";
        else
            print(stdout, decoder, line);
    };

    std::size_t next = 0, running = 0, ended = 0;
    const auto startNext = [&] {
        const std::size_t decoder = next++;
        outcomes_[decoder].Decoder = decoders_[decoder];
        started[decoder] = Clock::now();
        try {
            auto child = std::make_unique<TChildProcess>(self, settings_.Arguments,
                                                         BenchChildVariable(decoders_[decoder], settings_.Progress));
            processes[decoder] = std::make_unique<TDecoderProcess>(decoder, std::move(child), queue);
            ++running;
        } catch (const ECtlFailed &error) {
            outcomes_[decoder].ExitCode = ExitFailed;
            outcomes_[decoder].Error = error.what();
            ++ended;
        }
    };
    while (ended < count) {
        while (running < jobs && next < count)
            startNext();
        if (running == 0)
            continue;
        TEvent event = queue.Pop();
        const std::size_t decoder = event.Decoder;
        switch (event.Stream) {
        case TStream::Output:
            for (const std::string &line : outputs[decoder].Take(event.Bytes))
                handleOutput(decoder, line);
            break;
        case TStream::Error:
            for (const std::string &line : errors[decoder].Take(event.Bytes))
                handleError(decoder, line);
            break;
        case TStream::Ended: {
            // A last line without its newline is passed on all the same.
            if (!outputs[decoder].Pending.empty())
                handleOutput(decoder, std::exchange(outputs[decoder].Pending, {}));
            if (!errors[decoder].Pending.empty())
                handleError(decoder, std::exchange(errors[decoder].Pending, {}));
            progress.Set(decoders_[decoder].Label, "");
            TBenchOutcome &outcome = outcomes_[decoder];
            outcome.ExitCode = event.End.Code;
            outcome.Seconds = std::chrono::duration<double>(Clock::now() - started[decoder]).count();
            if (outcome.ExitCode == 0)
                outcome.Error.clear();
            else if (outcome.Error.empty() || event.End.Signal != 0)
                outcome.Error = EndText(event.End);
            processes[decoder].reset();
            --running;
            ++ended;
            break;
        }
        }
    }
    progress.Erase();

    const std::string summary =
        settings_.Json ? BenchSummaryJson(outcomes_) : BenchSummaryText(outcomes_, settings_.Quiet);
    std::fwrite(summary.data(), 1, summary.size(), stdout);
    std::fflush(stdout);
    return BenchExitCode(outcomes_);
}

int BenchExitCode(const std::vector<TBenchOutcome> &outcomes) {
    int code = 0;
    for (const TBenchOutcome &outcome : outcomes)
        if (outcome.ExitCode == ExitUsage)
            code = ExitUsage;
        else if (outcome.ExitCode != 0 && code == 0)
            code = ExitFailed;
    return code;
}

std::string BenchSummaryText(const std::vector<TBenchOutcome> &outcomes, bool failuresOnly) {
    std::size_t failed = 0;
    std::size_t width = 0;
    for (const TBenchOutcome &outcome : outcomes) {
        failed += outcome.ExitCode != 0 ? 1 : 0;
        width = std::max(width, outcome.Decoder.Label.size());
    }
    const int code = BenchExitCode(outcomes);
    std::string text = "Summary: " + std::to_string(outcomes.size() - failed) + " of " +
                       std::to_string(outcomes.size()) + " decoders succeeded";
    if (failed > 0)
        text += ", " + std::to_string(failed) + " failed";
    text += " (exit code " + std::to_string(code) + (code == ExitUsage ? ": a usage error)" : ")") + "\n";
    for (const TBenchOutcome &outcome : outcomes) {
        if (failuresOnly && outcome.ExitCode == 0)
            continue;
        std::string label = outcome.Decoder.Label;
        label.resize(width, ' ');
        text += "  " + label + "  " + outcome.Decoder.Port.Device + "  " +
                (outcome.ExitCode == 0 ? std::string("ok") : "failed: " + outcome.Error) + "  " +
                Seconds(outcome.Seconds) + "\n";
    }
    return text;
}

std::string BenchSummaryJson(const std::vector<TBenchOutcome> &outcomes) {
    nlohmann::json decoders = nlohmann::json::array();
    std::size_t failed = 0;
    for (const TBenchOutcome &outcome : outcomes) {
        const TPortInfo &port = outcome.Decoder.Port;
        nlohmann::json usb = nullptr;
        if (!port.VendorId.empty() || !port.Serial.empty())
            usb = {{"serial", port.Serial},
                   {"vendor_id", port.VendorId},
                   {"product_id", port.ProductId},
                   {"by_id", port.ById}};
        // The command's own result: its JSON where it printed JSON, else its text.
        nlohmann::json result = nullptr;
        if (!outcome.Output.empty()) {
            result = nlohmann::json::parse(outcome.Output, nullptr, false);
            if (result.is_discarded())
                result = outcome.Output;
        }
        failed += outcome.ExitCode != 0 ? 1 : 0;
        decoders.push_back({{"label", outcome.Decoder.Label},
                            {"port", port.Device},
                            {"index", outcome.Decoder.Index},
                            {"usb", usb},
                            {"ok", outcome.ExitCode == 0},
                            {"exit_code", outcome.ExitCode},
                            {"error", outcome.ExitCode == 0 ? nlohmann::json(nullptr) : nlohmann::json(outcome.Error)},
                            {"seconds", outcome.Seconds},
                            {"result", result}});
    }
    const nlohmann::json document = {{"ok", failed == 0},
                                     {"exit_code", BenchExitCode(outcomes)},
                                     {"succeeded", outcomes.size() - failed},
                                     {"failed", failed},
                                     {"decoders", decoders}};
    return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

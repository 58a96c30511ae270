// The progress bar velkctl draws on standard error while a transfer runs, from
// the transfer engine's link-packet events: percentage, bytes, rate and time
// left. It draws only when enabled (standard error is a terminal and progress
// was not turned off) and erases itself when the transfer ends.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

struct TProgressState {
    std::string Label;
    int32_t Done = 0;  // link packets done
    int32_t Total = 0; // link packets in the transmission; 0 while unknown
    int64_t Bytes = 0; // bytes of the whole transfer
    double Seconds = 0;
};

// One line of the bar, without line control characters, at most width columns.
// Done and Total may count bytes instead of packets: only their ratio counts.
std::string FormatProgress(const TProgressState &state, int width);

// Erases the bar that is on the screen, if any, before a message is printed.
void HideProgress();

class TProgressBar {
public:
    using Clock = std::chrono::steady_clock;

    TProgressBar(bool enabled, std::FILE *out);
    ~TProgressBar();
    TProgressBar(const TProgressBar &) = delete;
    TProgressBar &operator=(const TProgressBar &) = delete;

    bool Enabled() const { return enabled_; }
    // A transfer of bytes begins.
    void Begin(std::string label, int64_t bytes);
    // Events: the transmission's packet count, and the packets done so far.
    void Packets(int32_t total);
    void Advance(int32_t done);
    // The transfer has ended: the bar is erased (within an overall run it
    // stays, at the bytes done so far).
    void End();
    // Several transfers of totalBytes in all under one bar, labelled label:
    // each transfer's Begin and End only move it on. EndOverall erases it.
    void BeginOverall(std::string label, int64_t totalBytes);
    void EndOverall();
    // Erases the bar for a line of text; the next event draws it again.
    void Hide();

private:
    void Draw(bool force);

    bool enabled_;
    std::FILE *out_;
    bool shown_ = false;
    bool active_ = false;
    TProgressState state_;
    // An overall run: bytes of the transfers that ended, and of the one running.
    bool overall_ = false;
    int64_t overallDone_ = 0;
    int64_t blockBytes_ = 0;
    int32_t blockPackets_ = 0;
    Clock::time_point start_;
    Clock::time_point lastDraw_;
};

// One bar over the transfers of a scope (a backup, a restore).
class TOverallProgress {
public:
    TOverallProgress(TProgressBar &bar, std::string label, int64_t totalBytes) : bar_(bar) {
        bar_.BeginOverall(std::move(label), totalBytes);
    }
    ~TOverallProgress() { bar_.EndOverall(); }
    TOverallProgress(const TOverallProgress &) = delete;
    TOverallProgress &operator=(const TOverallProgress &) = delete;

private:
    TProgressBar &bar_;
};

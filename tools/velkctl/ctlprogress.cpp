#include "ctlprogress.h"

#include "ctlbenchchild.h"
#include "ctlconsole.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);

// Amounts share the unit that suits the whole transfer, so that the line
// keeps its width while it is redrawn.
std::string Amounts(double done, double total) {
    const char *unit = "B";
    double scale = 1;
    if (total >= 1024 * 1024) {
        unit = "MiB";
        scale = 1024 * 1024;
    } else if (total >= 1024) {
        unit = "KiB";
        scale = 1024;
    }
    char text[64];
    if (scale == 1)
        std::snprintf(text, sizeof text, "%6.0f of %.0f %s", done, total, unit);
    else
        std::snprintf(text, sizeof text, "%6.1f of %.1f %s", done / scale, total / scale, unit);
    return text;
}

std::string Rate(double bytesPerSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%6.1f KiB/s", bytesPerSecond / 1024);
    return text;
}

std::string TimeLeft(double seconds) {
    const long whole = std::lround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%2ld:%02ld left", whole / 60, whole % 60);
    return text;
}

} // namespace

namespace {

std::string Trimmed(std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

std::string FormatProgress(const TProgressState &state, int width) {
    const bool known = state.Total > 0;
    const double fraction = known ? std::clamp(double(state.Done) / state.Total, 0.0, 1.0) : 0.0;
    const double bytesDone = fraction * double(state.Bytes);
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", int(fraction * 100));

    const bool measured = state.Seconds > 0 && bytesDone > 0;
    const std::string amounts = Amounts(bytesDone, double(state.Bytes));
    const std::string rate = measured ? Rate(bytesDone / state.Seconds) : std::string(12, ' ');
    const std::string left =
        measured && fraction < 1 ? TimeLeft(state.Seconds * (1 - fraction) / fraction) : std::string(10, ' ');
    std::string tail = "  " + amounts + "  " + rate + "  " + left;
    while (!tail.empty() && tail.back() == ' ')
        tail.pop_back();
    const std::string head = state.Label + " " + percent + " ";
    const int barWidth = std::min(30, width - int(head.size()) - 50);
    std::string line = head;
    if (barWidth >= 5) {
        const int filled = int(fraction * barWidth);
        line += "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "]";
    }
    // A narrow terminal loses whole parts, the amounts first and then the
    // rate, rather than the ends of the rate's unit and of the time left.
    const std::vector<std::string> narrower = {
        tail,
        " " + Trimmed(amounts) + " " + Trimmed(rate) + " " + Trimmed(left),
        " " + Trimmed(rate) + " " + Trimmed(left),
        " " + Trimmed(left),
    };
    for (std::size_t i = 0; i < narrower.size(); ++i)
        if (line.size() + narrower[i].size() <= std::size_t(std::max(width, 0)) || i + 1 == narrower.size()) {
            line += narrower[i];
            break;
        }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    if (int(line.size()) > width)
        line.resize(std::max(width, 0));
    return line;
}

namespace {

// The bar that draws on the terminal; velkctl has at most one at a time.
TProgressBar *drawing = nullptr;

} // namespace

void HideProgress() {
    if (drawing)
        drawing->Hide();
}

TProgressBar::TProgressBar(bool enabled, std::FILE *out) : enabled_(enabled), out_(out) {
    if (enabled_)
        drawing = this;
}

TProgressBar::~TProgressBar() {
    End();
    if (drawing == this)
        drawing = nullptr;
}

void TProgressBar::BeginOverall(std::string label, int64_t totalBytes) {
    End();
    overall_ = true;
    overallDone_ = 0;
    blockBytes_ = 0;
    // Done and Total count bytes: the whole run is one transfer to the bar.
    state_ = {std::move(label), 0, int32_t(std::clamp<int64_t>(totalBytes, 1, INT32_MAX)), totalBytes, 0};
    start_ = Clock::now();
    lastDraw_ = start_;
}

void TProgressBar::EndOverall() {
    overall_ = false;
    End();
}

void TProgressBar::Begin(std::string label, int64_t bytes) {
    if (overall_) {
        blockBytes_ = bytes;
        blockPackets_ = 0;
        active_ = true;
        return;
    }
    End();
    state_ = {std::move(label), 0, 0, bytes, 0};
    start_ = Clock::now();
    lastDraw_ = start_;
    active_ = true;
}

void TProgressBar::Packets(int32_t total) {
    if (!active_)
        return;
    if (overall_) {
        blockPackets_ = total;
        Draw(false);
        return;
    }
    state_.Total = total;
    state_.Done = 0;
    Draw(false);
}

void TProgressBar::Advance(int32_t done) {
    if (!active_)
        return;
    if (overall_) {
        const int64_t block = blockPackets_ > 0 ? blockBytes_ * std::clamp(done, 0, blockPackets_) / blockPackets_ : 0;
        state_.Done = int32_t(std::min<int64_t>(overallDone_ + block, state_.Total));
        Draw(false);
        return;
    }
    state_.Done = done;
    Draw(false);
}

void TProgressBar::End() {
    if (overall_ && active_) {
        overallDone_ += blockBytes_;
        blockBytes_ = 0;
        state_.Done = int32_t(std::min<int64_t>(overallDone_, state_.Total));
        active_ = false;
        return;
    }
    active_ = false;
    Hide();
}

void TProgressBar::Hide() {
    if (shown_ && BenchRecords()) {
        WriteBenchRecord(BenchProgressRecord, "");
        shown_ = false;
    } else if (shown_) {
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
        shown_ = false;
    }
}

void TProgressBar::Draw(bool force) {
    if (!enabled_)
        return;
    const auto now = Clock::now();
    // A transfer shorter than one interval is never drawn, so short exchanges
    // do not flicker.
    if (!force && now - lastDraw_ < RedrawInterval)
        return;
    lastDraw_ = now;
    state_.Seconds = std::chrono::duration<double>(now - start_).count();
    if (BenchRecords()) {
        // The process that runs this one draws the line, after the decoder's label.
        WriteBenchRecord(BenchProgressRecord, FormatProgress(state_, BenchProgressWidth));
        shown_ = true;
        return;
    }
    std::fprintf(out_, "\r%s\033[K", FormatProgress(state_, TConsole::Width(out_) - 1).c_str());
    std::fflush(out_);
    shown_ = true;
}

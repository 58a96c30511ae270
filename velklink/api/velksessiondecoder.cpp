#include "velksessiondecoder.h"

#include "CPortError.h"
#include "velkcodepage.h"
#include "velkhlpacket.h"
#include "velkllpacket.h"
#include "velkrecord.h"
#include "velkrecords.h"
#include "velksessionnames.h"
#include "velkslotinfo.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

namespace {

// Raised out of the transfer engine's wait by a cancel.
struct TCancelled {};

// The cause of a port's error in words: its own, or the system's for its code.
std::string CauseText(const EComPort &error) {
    if (!error.Cause().empty())
        return Cp1252ToUtf8(error.Cause());
    if (error.SystemCode() > 0)
        return std::system_category().message(error.SystemCode());
    return {};
}

std::string PortErrorText(const EComPort &error) {
    std::string text = Cp1252ToUtf8(error.Message());
    const std::string cause = CauseText(error);
    if (!cause.empty() && text.find(cause) == std::string::npos)
        text += ": " + cause;
    return text;
}

velk_result ResultOf(THLOutcome outcome) {
    switch (outcome) {
    case hoNone:
    case hoDone:
        return VELK_OK;
    case hoRefused:
        return VELK_ERR_REFUSED;
    case hoNoAnswer:
        return VELK_ERR_NO_ANSWER;
    case hoTimedOut:
        return VELK_ERR_TIMEOUT;
    case hoLineFailed:
        return VELK_ERR_LINE;
    case hoCancelled:
        return VELK_ERR_CANCELLED;
    case hoLinkError:
    case hoInvalidAnswer:
    case hoUnexpectedAnswer:
        break;
    }
    return VELK_ERR_PROTOCOL;
}

} // namespace

// The record store's way to the decoder: the transfer engine with progress and
// retries. Each start is remembered (with a copy of the bytes of a write) so
// that the wait can run it again. A failed exchange is kept for the message
// and the result code of the record store's failure that follows.
class TSessionDecoder::TTransport : public TRecordTransport {
public:
    explicit TTransport(TSessionDecoder &decoder) : decoder_(decoder) {}

    void ReadFlash(uint32_t address, int32_t length) override {
        Start(length, [this, address, length] { decoder_.Engine().ReadFlash(address, length); });
    }
    void SendFlash(const void *data, uint32_t address, int32_t length) override {
        const auto *bytes = static_cast<const uint8_t *>(data);
        data_.assign(bytes, bytes + std::max(length, 0));
        Start(length, [this, address, length] { decoder_.Engine().SendFlash(data_.data(), address, length); });
    }
    void ReadEeprom(uint32_t address, int32_t length) override {
        Start(length, [this, address, length] { decoder_.Engine().ReadEeprom(address, length); });
    }
    bool WaitFor() override {
        if (decoder_.WaitRetrying(start_, true))
            return true;
        decoder_.recordExchangeFailure_ = decoder_.ExchangeFailure();
        // A dead line ends the operation here with its cause, not with the
        // record store's message about the transfer that failed. So does a
        // decoder that has never answered: the record store would blame the
        // record it was reading.
        const THLOutcome outcome = decoder_.Engine().LastEnd().Outcome;
        if (outcome == hoLineFailed || (outcome == hoNoAnswer && !decoder_.answered_))
            throw *decoder_.recordExchangeFailure_;
        return false;
    }
    TBuffer &GetBuffer() override { return decoder_.Engine().GetBuffer(); }

private:
    void Start(int32_t length, std::function<void()> start) {
        start_ = std::move(start);
        decoder_.Start(static_cast<uint32_t>(std::max(length, 0)), start_);
    }

    TSessionDecoder &decoder_;
    std::function<void()> start_;
    std::vector<uint8_t> data_;
};

TSessionDecoder::TSessionDecoder(const std::string &port, const std::atomic<bool> &cancel) : cancel_(cancel) {
    stack_ = std::make_unique<TDecoderStack>(
        TDecoderStack::THandlers{[this](velk_Log &, const std::string &line) { Log(VELK_LOG_LINK, line); },
                                 [this](velk_Log &, const std::string &line) { Log(VELK_LOG_TRANSFER, line); },
                                 [this](velk_HLProtocol &, int32_t code, int32_t value) { OnEvent(code, value); }});
    Engine().OnIdle = [this] { CheckCancel(); };
    transport_ = std::make_unique<TTransport>(*this);
    try {
        stack_->Port().SetPort(port);
        stack_->Port().Open();
    } catch (const EComPort &error) {
        throw TSessionFailure(VELK_ERR_PORT, PortErrorText(error),
                              error.Cause().empty() && error.SystemCode() > 0 ? error.SystemCode() : 0);
    }
}

TSessionDecoder::~TSessionDecoder() {
    Callbacks = {};
    try {
        stack_->Port().Close();
    } catch (const std::exception &) {
        // The port's descriptor is gone all the same; nobody is left to tell.
    }
    transport_.reset();
    stack_.reset();
}

void TSessionDecoder::NoteError(const std::string &text) {
    errors_.push_back(text);
}

void TSessionDecoder::Log(int32_t kind, const std::string &cp1252) {
    if (Callbacks.Log)
        Callbacks.Log(Callbacks.LogContext, kind, Cp1252ToUtf8(cp1252).c_str());
}

void TSessionDecoder::OnEvent(int32_t code, int32_t value) {
    switch (code) {
    case hpReadStart:
    case hpWriteStart:
        packets_ = value;
        break;
    case hpReadPacket:
    case hpWritePacket: {
        // Bytes of the caller's data in the link packets received (a read) or
        // acknowledged (a write) so far: each carries kLLMaxPayload bytes of
        // the transfer packet, whose header comes first. Never more than the
        // decoder has.
        const int64_t carried = int64_t(value) * kLLMaxPayload - kHLHeaderLength;
        Progress(value >= packets_ ? total_ : uint32_t(std::clamp<int64_t>(carried, 0, total_)));
        break;
    }
    default:
        break;
    }
}

void TSessionDecoder::Progress(uint32_t done) {
    // Each count once: the end of an exchange repeats the last packet's.
    if (done == lastDone_ && done != 0)
        return;
    lastDone_ = done;
    if (Callbacks.Progress)
        Callbacks.Progress(Callbacks.ProgressContext, done, total_);
}

void TSessionDecoder::CheckCancel() const {
    if (cancel_.load())
        throw TCancelled{};
}

template <typename F> auto TSessionDecoder::Run(F &&operation) -> decltype(operation()) {
    errors_.clear();
    recordExchangeFailure_.reset();
    try {
        if (unsettled_)
            Settle();
        return operation();
    } catch (const TSessionFailure &) {
        throw;
    } catch (const TCancelled &) {
        // The engine stops where it was; what the decoder still sends for the
        // abandoned exchange is discarded before the next one.
        Engine().Abort();
        unsettled_ = true;
        throw TSessionFailure(VELK_ERR_CANCELLED, "cancelled (velk_cancel)");
    } catch (const ERecords &error) {
        // The record store's message (with its own full stop), then why the
        // exchange under it failed.
        if (recordExchangeFailure_)
            throw TSessionFailure(recordExchangeFailure_->Code(),
                                  Cp1252ToUtf8(error.Message()) + " - " + recordExchangeFailure_->what());
        throw TSessionFailure(VELK_ERR_RECORD, Cp1252ToUtf8(error.Message()));
    } catch (const ERecord &error) {
        if (recordExchangeFailure_)
            throw TSessionFailure(recordExchangeFailure_->Code(),
                                  Cp1252ToUtf8(error.Message()) + " - " + recordExchangeFailure_->what());
        throw TSessionFailure(VELK_ERR_RECORD, Cp1252ToUtf8(error.Message()));
    } catch (const EComPort &error) {
        throw TSessionFailure(VELK_ERR_LINE, PortErrorText(error));
    } catch (const EVelk &error) {
        throw TSessionFailure(VELK_ERR_PROTOCOL, Cp1252ToUtf8(error.Message()));
    } catch (const std::bad_alloc &) {
        throw TSessionFailure(VELK_ERR_ARGUMENT, "not enough memory for the transfer");
    }
}

void TSessionDecoder::Start(uint32_t total, const std::function<void()> &start) {
    CheckCancel();
    total_ = total;
    packets_ = 0;
    Progress(0);
    try {
        start();
    } catch (const EComPort &) {
        // A line that went away between two exchanges shows when the next one
        // writes its first packet.
        if (Engine().LastEnd().Outcome == hoLineFailed)
            Fail();
        throw;
    }
}

bool TSessionDecoder::Wait() {
    const bool ok = Engine().WaitFor();
    answered_ = answered_ || Engine().LastEnd().Answered;
    if (ok)
        Progress(total_);
    else
        unsettled_ = true;
    return ok;
}

bool TSessionDecoder::WaitRetrying(const std::function<void()> &restart, bool mayRetry) {
    for (uint32_t attempt = 1;; ++attempt) {
        if (Wait())
            return true;
        const THLOutcome outcome = Engine().LastEnd().Outcome;
        // A refusal is the decoder's answer and comes again. A decoder that has
        // never answered in this session is most likely not there at all, and a
        // line that went away does not come back by itself.
        const bool refused = outcome == hoRefused;
        const bool silent = outcome == hoNoAnswer && !answered_;
        if (!mayRetry || refused || silent || outcome == hoLineFailed || attempt > Retries)
            return false;
        const TSessionFailure failure = ExchangeFailure();
        Log(VELK_LOG_SESSION, "retry " + Decimal(attempt) + " of " + Decimal(Retries) + " after: " + failure.what());
        if (Callbacks.Retry)
            Callbacks.Retry(Callbacks.RetryContext, attempt, Retries, failure.Code(), failure.what());
        Settle();
        Start(total_, restart);
    }
}

void TSessionDecoder::Settle() {
    // The decoder may still be answering the exchange that failed: a DATA
    // packet of that answer arriving while the new exchange waits for an ACK
    // would end the new one too. The decoder sends its next packet only after
    // an answer from the PC, so once the line has been quiet for a while
    // nothing more comes until the new exchange begins.
    using Clock = std::chrono::steady_clock;
    constexpr auto Quiet = std::chrono::milliseconds(300); // over the line time of a whole DATA packet (177 ms)
    constexpr auto Poll = std::chrono::milliseconds(20);
    constexpr auto Limit = std::chrono::seconds(3);
    const auto start = Clock::now();
    auto quietSince = start;
    while (Clock::now() - quietSince < Quiet && Clock::now() - start < Limit) {
        std::this_thread::sleep_for(Poll);
        CheckCancel();
        if (stack_->Port().InputCount() > 0) {
            stack_->Port().DrainInput();
            quietSince = Clock::now();
        }
    }
    unsettled_ = false;
}

TSessionFailure TSessionDecoder::ExchangeFailure() {
    const THLExchangeEnd &end = Engine().LastEnd();
    std::string text;
    int32_t systemCode = 0;
    if (end.Outcome == hoLineFailed && end.LineError) {
        // The port's own message, then what happened and the system's cause.
        const std::string cause = CauseText(*end.LineError);
        text = Cp1252ToUtf8(end.LineError->Message()) +
               " - the line went away (the adapter was unplugged or the far end closed it): " +
               (cause.empty() ? std::string("unknown cause") : cause);
        systemCode = end.LineError->SystemCode() > 0 ? end.LineError->SystemCode() : 0;
    } else {
        text = Cp1252ToUtf8(end.Message.empty() ? std::string("Errore sconosciuto.") : end.Message);
    }
    // The engine's line ends with its own full stop: the hint follows as a
    // clause of its own.
    if (end.Outcome == hoNoAnswer && !answered_)
        text += " - no answer from the decoder: check the cable, the port and that it is powered";
    // What the port's and timers' handlers reported meanwhile, but the line's
    // own error, which the text carries already.
    for (const std::string &error : errors_)
        if (!(end.LineError && end.LineError->Message() == error))
            text += "; " + Cp1252ToUtf8(error);
    return TSessionFailure(ResultOf(end.Outcome), text, systemCode);
}

void TSessionDecoder::Fail() {
    throw ExchangeFailure();
}

bool TSessionDecoder::Sync() {
    return Run([this] {
        const auto start = [this] { Engine().SendSync(); };
        Start(0, start);
        if (!WaitRetrying(start, true))
            Fail();
        return Engine().LastEnd().SyncReply == hsrSync;
    });
}

void TSessionDecoder::Read(THLSource source, uint32_t address, void *buffer, uint32_t length) {
    Run([&] {
        const auto length32 = static_cast<int32_t>(length);
        const auto start = [this, source, address, length32] { Engine().Read(source, address, length32); };
        Start(length, start);
        if (!WaitRetrying(start, true))
            Fail();
        const TBuffer &received = Engine().GetBuffer();
        if (received.Size() != length32)
            throw TSessionFailure(VELK_ERR_PROTOCOL, "The decoder answered with " + Decimal(received.Size()) +
                                                         (received.Size() == 1 ? " byte" : " bytes") + " instead of " +
                                                         Decimal(length));
        if (length != 0)
            std::memcpy(buffer, received.Memory(), length);
    });
}

void TSessionDecoder::Write(THLTarget target, uint32_t address, const void *data, uint32_t length) {
    Run([&] {
        const auto length32 = static_cast<int32_t>(length);
        const auto start = [this, target, data, address, length32] { Engine().Write(target, data, address, length32); };
        Start(length, start);
        // A firmware upload is not repeated: the decoder may have begun to take it.
        if (!WaitRetrying(start, target != hltFirmware))
            Fail();
    });
}

uint32_t TSessionDecoder::GetItem(const std::string &record, const std::string &item, void *buffer, uint32_t capacity) {
    return Run([&] {
        velk_Records &records = stack_->Records();
        if (!records.Refreshed())
            records.Refresh(*transport_, false);
        TBuffer bytes(0);
        records.LoadItem(*transport_, record, item, bytes);
        const auto size = static_cast<uint32_t>(bytes.Size());
        if (buffer != nullptr) {
            if (capacity < size)
                throw TSessionFailure(VELK_ERR_ARGUMENT, "the item has " + Decimal(size) + " bytes, the buffer holds " +
                                                             Decimal(capacity));
            if (size != 0) // an empty item has no memory at all
                std::memcpy(buffer, bytes.Memory(), size);
        }
        return size;
    });
}

void TSessionDecoder::PutItems(const std::string &record, std::span<const TRecordItemData> items) {
    Run([&] { stack_->Records().SaveItems(*transport_, record, items); });
}

void TSessionDecoder::DeleteItem(const std::string &record, const std::string &item) {
    Run([&] { stack_->Records().DeleteItem(*transport_, record, item); });
}

void TSessionDecoder::Refresh(bool full) {
    Run([&] { stack_->Records().Refresh(*transport_, full); });
}

void TSessionDecoder::FreeSlot(uint32_t slot) {
    Run([&] {
        velk_Records &records = stack_->Records();
        if (!records.Refreshed())
            records.Refresh(*transport_, false);
        if (slot >= static_cast<uint32_t>(records.SlotCount()))
            throw TSessionFailure(VELK_ERR_ARGUMENT, "slot " + Decimal(slot) + ": the record area has " +
                                                         Decimal(records.SlotCount()) + " slots");
        velk_Record &stored = records.RecordAt(static_cast<int32_t>(slot));
        if (!stored.InUse())
            throw TSessionFailure(VELK_ERR_RECORD, "slot " + Decimal(slot) + " holds no record");
        // The slot is freed in a copy; the directory takes the copy only once
        // the write has succeeded.
        velk_Record freed(stored.Address());
        freed.Assign(stored, false);
        freed.SetInUse(false);
        freed.Save(*transport_);
        stored.Assign(freed, false);
    });
}

velk_directory TSessionDecoder::Directory() {
    return Run([&] {
        velk_Records &records = stack_->Records();
        if (!records.Refreshed())
            records.Refresh(*transport_, false);
        velk_directory directory{};
        directory.base = records.BaseAddress();
        directory.slot_count = static_cast<uint32_t>(records.SlotCount());
        for (int32_t i = 0; i < records.SlotCount(); ++i)
            if (!records.RecordAt(i).InUse()) {
                ++directory.free_slots;
                // A new record goes to a free slot the slot table admits; one in
                // any other slot is not found after the next refresh.
                if (records.HasSlotFlag(i))
                    ++directory.usable_free_slots;
            }
        return directory;
    });
}

velk_slot_info TSessionDecoder::Slot(uint32_t slot) {
    velk_Records &records = stack_->Records();
    if (slot >= static_cast<uint32_t>(records.SlotCount()))
        throw TSessionFailure(VELK_ERR_ARGUMENT, "slot " + Decimal(slot) + ": the record area has " +
                                                     Decimal(records.SlotCount()) + " slots");
    const auto index = static_cast<int32_t>(slot);
    velk_Record &record = records.RecordAt(index);
    velk_slot_info info = DescribeRecord(record);
    info.slot = slot;
    info.address = record.Address();
    info.slot_flag = records.HasSlotFlag(index) ? 1 : 0;
    if (record.InUse())
        info.admitted = records.Rat().Flag(index) != 0 ? 1 : 0;
    return info;
}

velk_item_info TSessionDecoder::Item(uint32_t slot, uint32_t index) {
    const velk_slot_info info = Slot(slot);
    if (index >= info.items)
        throw TSessionFailure(VELK_ERR_ARGUMENT, "item " + Decimal(index) + " of slot " + Decimal(slot) +
                                                     ": it lists " + Decimal(info.items) + " items");
    const velk_Record::TItem entry = stack_->Records().RecordAt(static_cast<int32_t>(slot)).GetItem(int32_t(index));
    velk_item_info item{};
    item.size = static_cast<uint32_t>(std::max(entry.Size, 0));
    CopyName(item.name, Cp1252ToUtf8(entry.Name));
    return item;
}

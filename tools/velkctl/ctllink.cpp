#include "ctllink.h"

#include "ctlbenchchild.h"
#include "ctlconsole.h"
#include "ctlerror.h"
#include "ctlinterrupt.h"
#include "ctlopenfailure.h"
#include "ctlportinfo.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

std::string TransferLabel(const char *what, uint32_t address, bool flash) {
    char text[48];
    std::snprintf(text, sizeof text, flash ? "%s 0x%08X" : "%s EEPROM 0x%04X", what, address);
    return text;
}

// The system's path of a port name (UTF-8); the name itself when the library
// cannot give one (a name it refuses to open anyway).
std::string DeviceOf(const std::string &port) {
    uint32_t length = 0;
    if (velk_device_path(port.c_str(), nullptr, 0, &length) != VELK_OK)
        return port;
    std::string path(std::size_t(length) + 1, '\0');
    if (velk_device_path(port.c_str(), path.data(), uint32_t(path.size()), &length) != VELK_OK)
        return port;
    path.resize(length);
    return path;
}

} // namespace

TCtlLink::TCtlLink(const TCtlOptions &options)
    : options_(options),
      progress_(options.Progress && !options.Quiet && (BenchRecords() || TConsole::IsTerminal(stderr)), stderr) {
    velk_session *opened = nullptr;
    if (velk_open(options_.Port.c_str(), &opened) != VELK_OK) {
        // The library's message carries its cause (a remote port's own); a
        // cause the system gave as a code is worded here instead, with what to
        // do about it, after the port's message as the library words it.
        if (const int32_t code = velk_system_error(nullptr); code > 0)
            throw ECtlFailed("Errore connettendo la porta " + options_.Port + ". - " +
                             OpenFailureCause(code, DeviceOf(options_.Port)));
        throw ECtlFailed(velk_message(nullptr));
    }
    session_.reset(opened);
    Check(velk_set_progress(opened, &TCtlLink::OnProgress, this));
    if (options_.TraceLink || options_.TraceTransfer)
        Check(velk_set_log(opened, &TCtlLink::OnLog, this));
    Check(velk_set_retry_callback(opened, &TCtlLink::OnRetry, this));
    Check(velk_set_retries(opened, static_cast<uint32_t>(options_.Retries)));
    // Last: a constructor that failed leaves no session to the signal handler.
    TInterrupt::CancelOnSignal(opened);
    if (!options_.Quiet) {
        if (const std::string advice = LatencyAdvice(DescribePort(DeviceOf(options_.Port))); !advice.empty())
            std::cerr << "velkctl: warning: " << advice << '\n' << std::flush;
    }
}

TCtlLink::~TCtlLink() {
    TInterrupt::CancelOnSignal(nullptr);
    progress_.End();
}

void TCtlLink::Check(velk_result result) {
    progress_.End();
    if (result != VELK_OK)
        throw ECtlFailed(velk_message(session_.get()));
}

void VELK_CALL TCtlLink::OnProgress(void *context, uint32_t done, uint32_t total) {
    auto &link = *static_cast<TCtlLink *>(context);
    // Each exchange of a call starts at 0 (a retry too); the bar counts bytes
    // instead of packets, as only their ratio counts.
    if (done == 0) {
        link.progress_.Begin(link.label_, total);
        link.progress_.Packets(static_cast<int32_t>(std::min<uint32_t>(total, INT32_MAX)));
    }
    link.progress_.Advance(static_cast<int32_t>(std::min<uint32_t>(done, INT32_MAX)));
}

void VELK_CALL TCtlLink::OnLog(void *context, int32_t kind, const char *text) {
    const auto &link = *static_cast<const TCtlLink *>(context);
    const char *log = nullptr;
    if (kind == VELK_LOG_LINK && link.options_.TraceLink)
        log = "link";
    else if (kind == VELK_LOG_TRANSFER && link.options_.TraceTransfer)
        log = "transfer";
    if (log == nullptr)
        return;
    HideProgress();
    std::cerr << log << ": " << text << '\n' << std::flush;
}

void VELK_CALL TCtlLink::OnRetry(void *context, uint32_t attempt, uint32_t retries, int32_t cause,
                                 const char *message) {
    const auto &options = static_cast<const TCtlLink *>(context)->options_;
    // A retry is said, so that a decoder that stopped answering does not look
    // like a hang; -v gives the reason.
    if (options.Verbose || options.TraceLink || options.TraceTransfer) {
        HideProgress();
        std::cerr << "retry " << attempt << " of " << retries << " after: " << message << '\n' << std::flush;
    } else if (!options.Quiet) {
        HideProgress();
        const bool silent = cause == VELK_ERR_NO_ANSWER || cause == VELK_ERR_TIMEOUT;
        std::cerr << (silent ? "no answer" : "the exchange failed") << "; trying again (" << attempt << " of "
                  << retries << ")\n"
                  << std::flush;
    }
}

std::string TCtlLink::Sync() {
    label_ = "sync";
    int already = 0;
    Check(velk_sync(session_.get(), &already));
    return already != 0 ? "Decoder gi\xC3\xA0 sincronizzato." : "Decoder sincronizzato.";
}

std::vector<uint8_t> TCtlLink::Read(TCtlSpace space, uint32_t address, uint32_t length) {
    std::vector<uint8_t> data(length);
    const bool flash = space == TCtlSpace::Flash;
    label_ = TransferLabel("read", address, flash);
    Check(flash ? velk_read_flash(session_.get(), address, data.data(), length)
                : velk_read_eeprom(session_.get(), address, data.data(), length));
    return data;
}

void TCtlLink::Write(TCtlTarget target, std::span<const uint8_t> data, uint32_t address) {
    const auto length = static_cast<uint32_t>(data.size());
    switch (target) {
    case TCtlTarget::Flash:
        label_ = TransferLabel("write", address, true);
        Check(velk_write_flash(session_.get(), address, data.data(), length));
        break;
    case TCtlTarget::Eeprom:
        label_ = TransferLabel("write", address, false);
        Check(velk_write_eeprom(session_.get(), address, data.data(), length));
        break;
    case TCtlTarget::Firmware:
        label_ = "firmware";
        Check(velk_upload_firmware(session_.get(), data.data(), length));
        break;
    }
}

void TCtlLink::Refresh(bool full) {
    label_ = "records";
    Check(velk_refresh(session_.get(), full ? 1 : 0));
}

std::vector<uint8_t> TCtlLink::GetItem(const std::string &record, const std::string &item) {
    // One read: a buffer as large as the largest item a record holds.
    std::vector<uint8_t> data(MaxRecordBody);
    uint32_t length = 0;
    label_ = "record " + record;
    Check(velk_get_item(session_.get(), record.c_str(), item.c_str(), data.data(), uint32_t(data.size()), &length));
    data.resize(length);
    return data;
}

void TCtlLink::PutItems(const std::string &record, const std::vector<TCtlItem> &items) {
    std::vector<const char *> names;
    std::vector<const void *> data;
    std::vector<uint32_t> lengths;
    for (const TCtlItem &item : items) {
        names.push_back(item.Name.c_str());
        data.push_back(item.Data.data());
        lengths.push_back(static_cast<uint32_t>(item.Data.size()));
    }
    label_ = "record " + record;
    Check(velk_put_items(session_.get(), record.c_str(), items.size(), names.data(), data.data(), lengths.data()));
}

void TCtlLink::DeleteItem(const std::string &record, const std::string &item) {
    label_ = "record " + record;
    Check(velk_delete_item(session_.get(), record.c_str(), item.c_str()));
}

void TCtlLink::FreeSlot(uint32_t slot) {
    label_ = "slot " + std::to_string(slot);
    Check(velk_free_slot(session_.get(), slot));
}

std::vector<velk_slot_info> TCtlLink::Slots() {
    velk_directory directory{};
    Check(velk_get_directory(session_.get(), &directory));
    std::vector<velk_slot_info> slots(directory.slot_count);
    for (uint32_t i = 0; i < directory.slot_count; ++i)
        Check(velk_get_slot(session_.get(), i, &slots[i]));
    return slots;
}

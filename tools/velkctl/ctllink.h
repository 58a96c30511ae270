// TCtlLink: one decoder on one serial port for the life of a velkctl command,
// through the library's session interface. The library runs the exchanges,
// tries a failed one again (--retries) and words its failures; this class
// shows its progress on the bar, its log lines on standard error (--trace),
// each retry on one line, and turns each failure into ECtlFailed with the
// library's message. Ctrl-C cancels the running call (the handler calls
// velk_cancel) before the interrupt does what it does.
#pragma once

#include "ctloptions.h"
#include "ctlprogress.h"
#include "velklink.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

enum class TCtlSpace { Flash, Eeprom };
enum class TCtlTarget { Flash, Eeprom, Firmware };

// An item to save: its name and bytes (UTF-8 name).
struct TCtlItem {
    std::string Name;
    std::vector<uint8_t> Data;
};

// The record format as the session interface states it: names of 1 to 8
// (record) and 1 to 12 (item) characters; a record's body holds at most 65460
// bytes, its item count (4 bytes) and an entry of 20 bytes per item among them.
constexpr std::size_t RecordNameWidth = 8;
constexpr std::size_t ItemNameWidth = 12;
constexpr uint32_t MaxRecordBody = 65460;
constexpr uint32_t ItemEntrySize = 20;

class TCtlLink {
public:
    // Opens the port; ECtlFailed with the library's message and the system's
    // cause in words when it cannot be opened.
    explicit TCtlLink(const TCtlOptions &options);
    ~TCtlLink();
    TCtlLink(const TCtlLink &) = delete;
    TCtlLink &operator=(const TCtlLink &) = delete;

    // Each raises ECtlFailed with the library's message when the exchange
    // fails (after the retries the options ask for).
    // Synchronises; the line saying how the decoder answered (UTF-8).
    std::string Sync();
    std::vector<uint8_t> Read(TCtlSpace space, uint32_t address, uint32_t length);
    // A firmware upload is never tried again: the decoder may have begun to take it.
    void Write(TCtlTarget target, std::span<const uint8_t> data, uint32_t address);

    // The record store (names UTF-8): the directory read again (full: whole
    // records), an item's bytes, items saved in one write of their record
    // (each replacing one of its name), an item deleted.
    void Refresh(bool full);
    std::vector<uint8_t> GetItem(const std::string &record, const std::string &item);
    void PutItems(const std::string &record, const std::vector<TCtlItem> &items);
    void DeleteItem(const std::string &record, const std::string &item);
    // Frees the slot of a record, sound or damaged.
    void FreeSlot(uint32_t slot);
    // Every slot of the directory as last read (read now when it has not been).
    std::vector<velk_slot_info> Slots();

    // The bar the transfers move; commands of several transfers run them
    // under one overall bar (TOverallProgress).
    TProgressBar &Progress() { return progress_; }
    velk_session *Handle() const { return session_.get(); }
    // Raises ECtlFailed with the session's message unless result is VELK_OK.
    void Check(velk_result result);

private:
    struct TClose {
        void operator()(velk_session *s) const { velk_close(s); }
    };

    static void VELK_CALL OnProgress(void *context, uint32_t done, uint32_t total);
    static void VELK_CALL OnLog(void *context, int32_t kind, const char *text);
    static void VELK_CALL OnRetry(void *context, uint32_t attempt, uint32_t retries, int32_t cause,
                                  const char *message);

    TCtlOptions options_;
    TProgressBar progress_;
    std::unique_ptr<velk_session, TClose> session_;
    std::string label_; // the bar's label for the exchanges of the running call
};

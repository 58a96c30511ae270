#include "velkdecoderstack.h"

#include "velkmemorymap.h"

TDecoderStack::TLogs::TLogs(velk_Log::THandler link, velk_Log::THandler transfer) {
    Transfer.OnLog = std::move(transfer);
    Link.OnLog = std::move(link);
}

TDecoderStack::TLogs::~TLogs() {
    Link.OnLog = nullptr;
    Transfer.OnLog = nullptr;
}

TDecoderStack::TDecoderStack(THandlers handlers) : logs_(std::move(handlers.LinkLog), std::move(handlers.TransferLog)) {
    port_ = std::make_unique<velk_CPort>();
    link_ = std::make_unique<velk_LLProtocol>(*port_, velk_LLProtocol::THandler(), TLLTimeouts(), logs_.Link);
    transfer_ = std::make_unique<velk_HLProtocol>(*link_, std::move(handlers.TransferEvent), logs_.Transfer);
    NewRecords();
}

TDecoderStack::~TDecoderStack() {
    // Reverse order of creation; the port closes if it is open. The logs
    // disconnect last, as the member declared first.
    records_.reset();
    transfer_.reset();
    link_.reset();
    port_.reset();
}

void TDecoderStack::NewRecords() {
    records_ = std::make_unique<velk_Records>(kRecordAreaBase, kRecordSlotCount);
}

// THLTransport: the record store's transport over the library's transfer
// engine. It forwards each operation unchanged.
#pragma once

#include "velkhlprotocol.h"
#include "velkrecordtransport.h"

class THLTransport final : public TRecordTransport {
public:
    explicit THLTransport(velk_HLProtocol &engine) : engine_(engine) {}

    void ReadFlash(uint32_t address, int32_t length) override { engine_.ReadFlash(address, length); }
    void SendFlash(const void *data, uint32_t address, int32_t length) override {
        engine_.SendFlash(data, address, length);
    }
    void ReadEeprom(uint32_t address, int32_t length) override { engine_.ReadEeprom(address, length); }
    bool WaitFor() override { return engine_.WaitFor(); }
    TBuffer &GetBuffer() override { return engine_.GetBuffer(); }

private:
    velk_HLProtocol &engine_;
};

// The serial port's settings objects. Each belongs to one port; changing a value
// of an open port applies it to the device at once. Some values have nothing to
// act on under Linux (read time-outs beyond the one mode built, driver queue
// sizes, DSR sensitivity, parity replacement characters): they are kept all the
// same, because they are the component's published properties, the Windows
// serial port applies them, and a host may set and read them back on either.
#pragma once

#include "CPortTypes.h"

#include <cstdint>

class TCustomComPort;

// Which part of the device a settings change touches.
enum class TComSettingsKind { Line, Timeouts, Buffer };

class TComSettings {
public:
    TComSettings(const TComSettings &) = delete;
    TComSettings &operator=(const TComSettings &) = delete;

protected:
    TComSettings(TCustomComPort &port, TComSettingsKind kind) : port_(port), kind_(kind) {}
    ~TComSettings() = default;
    template <typename T> void Change(T &field, T value) {
        if (field == value)
            return;
        field = value;
        Changed();
    }
    void Changed();

private:
    TCustomComPort &port_;
    TComSettingsKind kind_;
};

class TComParity : public TComSettings {
public:
    explicit TComParity(TCustomComPort &port) : TComSettings(port, TComSettingsKind::Line) {}
    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value) { Change(bits_, value); }
    // Parity checking of received bytes.
    bool Check() const { return check_; }
    void SetCheck(bool value) { Change(check_, value); }
    // Bytes with parity errors replaced by ReplaceChar (the device delivers them as 0).
    bool Replace() const { return replace_; }
    void SetReplace(bool value) { Change(replace_, value); }
    uint8_t ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(uint8_t value) { Change(replaceChar_, value); }

private:
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    uint8_t replaceChar_ = 0;
};

class TComFlowControl : public TComSettings {
public:
    explicit TComFlowControl(TCustomComPort &port) : TComSettings(port, TComSettingsKind::Line) {}
    // The mix of the values below, or fcCustom; setting fcCustom changes nothing.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value) { Change(controlRTS_, value); }
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value) { Change(controlDTR_, value); }
    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value) { Change(outCTSFlow_, value); }
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value) { Change(outDSRFlow_, value); }
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value) { Change(xonXoffIn_, value); }
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value) { Change(xonXoffOut_, value); }
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value) { Change(dsrSensitivity_, value); }
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value) { Change(txContinueOnXoff_, value); }
    uint8_t XonChar() const { return xonChar_; }
    void SetXonChar(uint8_t value) { Change(xonChar_, value); }
    uint8_t XoffChar() const { return xoffChar_; }
    void SetXoffChar(uint8_t value) { Change(xoffChar_, value); }

private:
    TRTSFlowControl controlRTS_ = rtsDisable;
    TDTRFlowControl controlDTR_ = dtrDisable;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    bool xonXoffIn_ = false;
    bool xonXoffOut_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    uint8_t xonChar_ = 0x11;
    uint8_t xoffChar_ = 0x13;
};

// Time-outs in milliseconds. ReadInterval -1 with both read totals 0 (the only
// read mode built) makes every read return at once with what has arrived. A
// write of n bytes may take WriteTotalConstant + n x WriteTotalMultiplier ms;
// both 0 means no limit.
class TComTimeouts : public TComSettings {
public:
    explicit TComTimeouts(TCustomComPort &port) : TComSettings(port, TComSettingsKind::Timeouts) {}
    int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(int32_t value) { Change(readInterval_, value); }
    int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(int32_t value) { Change(readTotalMultiplier_, value); }
    int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(int32_t value) { Change(readTotalConstant_, value); }
    int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(int32_t value) { Change(writeTotalMultiplier_, value); }
    int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(int32_t value) { Change(writeTotalConstant_, value); }
    // The time a write of count bytes may take in ms; 0: no limit.
    int64_t WriteLimit(int32_t count) const { return writeTotalConstant_ + int64_t{count} * writeTotalMultiplier_; }

private:
    int32_t readInterval_ = -1;
    int32_t readTotalMultiplier_ = 0;
    int32_t readTotalConstant_ = 0;
    int32_t writeTotalMultiplier_ = 100;
    int32_t writeTotalConstant_ = 1000;
};

// Driver queue sizes; always even (an odd value is stored one lower). Linux
// ttys have no adjustable queues, so the sizes are only kept.
class TComBuffer : public TComSettings {
public:
    explicit TComBuffer(TCustomComPort &port) : TComSettings(port, TComSettingsKind::Buffer) {}
    int32_t InputSize() const { return inputSize_; }
    void SetInputSize(int32_t value) { Change(inputSize_, Even(value)); }
    int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(int32_t value) { Change(outputSize_, Even(value)); }

private:
    static int32_t Even(int32_t value) { return value & ~int32_t{1}; }
    int32_t inputSize_ = 1024;
    int32_t outputSize_ = 1024;
};

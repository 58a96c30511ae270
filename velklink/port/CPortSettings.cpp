#include "CPortSettings.h"

#include "CPort.h"

void TComSettings::Changed() {
    port_.SettingsChanged(kind_);
}

TFlowControl TComFlowControl::FlowControl() const {
    const bool hardware = controlRTS_ == rtsHandshake || outCTSFlow_;
    const bool software = xonXoffIn_ || xonXoffOut_;
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !software)
        return fcHardware;
    if (xonXoffIn_ && xonXoffOut_ && !hardware)
        return fcSoftware;
    if (!hardware && !software)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value) {
    if (value == fcCustom || value == FlowControl())
        return;
    const bool hardware = value == fcHardware;
    const bool software = value == fcSoftware;
    controlRTS_ = hardware ? rtsHandshake : (controlRTS_ == rtsHandshake ? rtsDisable : controlRTS_);
    outCTSFlow_ = hardware;
    xonXoffIn_ = software;
    xonXoffOut_ = software;
    Changed();
}

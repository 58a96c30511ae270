// THostCall: marks the calling thread as inside one of the host's callbacks
// (event, log, idle, error box) while it lives. The library's own frames are
// then on the stack beneath the host's code: what would tear them down (the
// port's close, Finalize) must wait until the callback has returned and the
// library has left them.
#pragma once

class THostCall {
public:
    THostCall();
    ~THostCall();
    THostCall(const THostCall &) = delete;
    THostCall &operator=(const THostCall &) = delete;

    // A host callback runs on this thread now (possibly several nested).
    static bool Active();
};

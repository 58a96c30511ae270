#include "velkhostcall.h"

namespace {
thread_local int t_depth = 0;
}

THostCall::THostCall() {
    ++t_depth;
}

THostCall::~THostCall() {
    --t_depth;
}

bool THostCall::Active() {
    return t_depth > 0;
}

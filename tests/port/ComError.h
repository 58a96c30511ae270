// The EComPort that a piece of work raises.
#pragma once

#include "CPortError.h"

#include <gtest/gtest.h>

// Runs work and returns the EComPort it raised; fails the test when it raised none.
template <typename Work> EComPort ComError(Work work) {
    try {
        work();
    } catch (const EComPort &e) {
        return e;
    }
    ADD_FAILURE() << "no EComPort raised";
    return EComPort("", 0, -1);
}

// What this machine allows any implementation, measured beside the library's
// figures so that they can be read against it: the round trip of one full link
// packet and its answer over a bare pseudo-terminal between two plain threads;
// the hand-off of one message from a worker thread to the owning thread
// through the library's message queue (what every received-data notice and
// timer expiry costs); and the link engine sending 64 KiB to a bare peer
// thread that only acknowledges, which is the library without the simulator.
#pragma once

struct TBenchFloors {
    double ptyRoundTripUs = 0; // median: 2048 bytes there, 12 back
    double handOffUs = 0;      // median: posted by a worker until its handler runs
    double linkSendMBps = 0;   // median: 64 KiB through the link engine to a bare peer
};

// Runs for about a second; call it when no other thread of the process works.
TBenchFloors MeasureFloors();

#include "SoakFaults.h"

#include <functional>

namespace {

using velksim::TSimFaults;
using TDice = std::mt19937_64;

double Rate(TDice &dice, double low, double high) {
    return std::uniform_real_distribution<double>(low, high)(dice);
}
int Whole(TDice &dice, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(dice);
}

struct TKind {
    std::string name;
    std::function<void(TDice &, TSimFaults &)> set;
};

const std::vector<TKind> &Kinds() {
    static const std::vector<TKind> kinds = {
        {"clean", [](TDice &, TSimFaults &) {}},
        {"corrupt received", [](TDice &d, TSimFaults &f) { f.corruptReceived = Rate(d, 0.05, 0.3); }},
        {"corrupt sent", [](TDice &d, TSimFaults &f) { f.corruptSent = Rate(d, 0.05, 0.3); }},
        {"corrupt answers", [](TDice &d, TSimFaults &f) { f.corruptAnswers = Rate(d, 0.02, 0.2); }},
        {"dropped answers", [](TDice &d, TSimFaults &f) { f.dropAnswers = Rate(d, 0.02, 0.2); }},
        {"NACK reasons",
         [](TDice &d, TSimFaults &f) {
             f.nackRate = Rate(d, 0.05, 0.4);
             f.nackNext = Whole(d, 0, 4);
             f.nackReason = d() % 2 ? "BUSY" : "";
         }},
        {"noise",
         [](TDice &d, TSimFaults &f) {
             f.noiseRate = Rate(d, 0.1, 0.8);
             f.noiseMax = Whole(d, 1, 64);
         }},
        {"late answers",
         [](TDice &d, TSimFaults &f) {
             f.lateRate = Rate(d, 0.02, 0.15);
             f.lateMs = Whole(d, 50, 1200); // beyond the response time-out at times
         }},
        {"partial packets",
         [](TDice &d, TSimFaults &f) {
             f.partialRate = Rate(d, 0.02, 0.2);
             f.partialAnswers = Rate(d, 0.02, 0.2);
             f.partialBytes = d() % 3 ? 0 : Whole(d, 1, 11);
         }},
        {"stall", [](TDice &d, TSimFaults &f) { f.stopAfter = Whole(d, 0, 6); }},
        {"swallowed requests",
         [](TDice &d, TSimFaults &f) {
             f.swallowRate = Rate(d, 0.1, 0.6);
             f.swallowKinds = d() % 2 ? velksim::rqAll : velksim::rqWrites;
         }},
        {"refused requests",
         [](TDice &d, TSimFaults &f) {
             f.refuseReads = Rate(d, 0, 0.5);
             f.refuseWrites = Rate(d, 0, 0.5);
         }},
        {"hostile answers", [](TDice &d, TSimFaults &f) { f.hostileAnswers = Rate(d, 0.1, 0.6); }},
        {"hostile packets", [](TDice &d, TSimFaults &f) { f.hostilePackets = Rate(d, 0.02, 0.2); }},
        {"short reads", [](TDice &d, TSimFaults &f) { f.shortReads = Rate(d, 0.2, 0.8); }},
        {"hang-up", [](TDice &d, TSimFaults &f) { f.hangUpAfterTransmissions = Whole(d, 0, 8); }},
        // Within the first packets: in the middle of a packet or of its header,
        // right after an answer, while the PC writes its first DATA packet.
        {"hang-up mid-packet", [](TDice &d, TSimFaults &f) { f.hangUpAfterBytes = Whole(d, 1, 2100); }},
        // Anywhere in a longer exchange: between packets of a transmission, in a
        // large read's answer or a large write's request.
        {"hang-up mid-transmission", [](TDice &d, TSimFaults &f) { f.hangUpAfterBytes = Whole(d, 2100, 30000); }},
        {"mixed",
         [](TDice &d, TSimFaults &f) {
             f.corruptReceived = Rate(d, 0, 0.05);
             f.corruptSent = Rate(d, 0, 0.05);
             f.corruptAnswers = Rate(d, 0, 0.03);
             f.dropAnswers = Rate(d, 0, 0.03);
             f.nackRate = Rate(d, 0, 0.05);
             f.noiseRate = Rate(d, 0, 0.2);
             f.lateRate = Rate(d, 0, 0.05);
             f.lateMs = Whole(d, 50, 1000);
             f.partialRate = Rate(d, 0, 0.03);
             f.partialAnswers = Rate(d, 0, 0.03);
             f.swallowRate = Rate(d, 0, 0.05);
             f.refuseReads = Rate(d, 0, 0.05);
             f.refuseWrites = Rate(d, 0, 0.05);
             f.hostileAnswers = Rate(d, 0, 0.05);
             f.hostilePackets = Rate(d, 0, 0.03);
             f.shortReads = Rate(d, 0, 0.05);
         }},
    };
    return kinds;
}

} // namespace

TSoakProfile DrawProfile(TDice &dice) {
    const std::vector<TKind> &kinds = Kinds();
    // A quarter of the operations run on a sound line, so that records build up.
    const size_t kind = Whole(dice, 0, 3) == 0 ? 0 : size_t(Whole(dice, 1, int(kinds.size()) - 1));
    TSoakProfile profile;
    profile.name = kinds[kind].name;
    profile.faults.seed = dice();
    kinds[kind].set(dice, profile.faults);
    return profile;
}

const std::vector<std::string> &ProfileNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const TKind &kind : Kinds())
            all.push_back(kind.name);
        return all;
    }();
    return names;
}

#include "CPortTelnet.h"

bool TTelnetFilter::WantLocal(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

bool TTelnetFilter::WantRemote(uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

std::string TTelnetFilter::Opening() {
    std::string out;
    for (uint8_t option : {kBinary, kSuppressGoAhead, kComPortOption}) {
        out += {char(kIac), char(kWill), char(option)};
        local_[option] = kWantYes;
        if (WantRemote(option)) {
            out += {char(kIac), char(kDo), char(option)};
            remote_[option] = kWantYes;
        }
    }
    return out;
}

void TTelnetFilter::Receive(const uint8_t *bytes, size_t count, std::string &data, std::string &reply) {
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (state_) {
        case sData:
            if (b == kIac)
                state_ = sIac;
            else
                data += char(b);
            break;
        case sIac:
            Command(b, data);
            break;
        case sOption:
            Negotiate(verb_, b, reply);
            state_ = sData;
            break;
        case sSbOption:
            sbOption_ = b;
            sbSize_ = 0;
            state_ = b == kIac ? sSbIac : sSbData;
            break;
        case sSbData:
            if (b == kIac) {
                state_ = sSbIac;
            } else {
                if (sbSize_ < kSbKept)
                    sb_[sbSize_] = b;
                ++sbSize_;
            }
            break;
        case sSbIac:
            if (b == kIac) { // a doubled 0xFF of the subnegotiation's value
                if (sbSize_ < kSbKept)
                    sb_[sbSize_] = b;
                ++sbSize_;
                state_ = sSbData;
            } else if (b == kSe) {
                EndSubnegotiation();
                state_ = sData;
            } else {
                // A command inside a subnegotiation: the server broke it off;
                // what it had sent is dropped and the command taken as it is.
                Command(b, data);
            }
            break;
        }
        // A subnegotiation longer than any this client reads is still consumed
        // to its end, but its count stops growing with it.
        if (sbSize_ > kSbKept)
            sbSize_ = kSbKept + 1;
    }
}

void TTelnetFilter::Command(uint8_t command, std::string &data) {
    switch (command) {
    case kIac:
        data += char(kIac);
        state_ = sData;
        break;
    case kWill:
    case kWont:
    case kDo:
    case kDont:
        verb_ = command;
        state_ = sOption;
        break;
    case kSb:
        state_ = sSbOption;
        break;
    default: // NOP, DM, BRK, IP, AO, AYT, EC, EL, GA, a lone SE
        state_ = sData;
        break;
    }
}

void TTelnetFilter::Negotiate(uint8_t verb, uint8_t option, std::string &reply) {
    const bool local = verb == kDo || verb == kDont;
    const bool enable = verb == kWill || verb == kDo;
    TOptionState &state = local ? local_[option] : remote_[option];
    const bool wanted = local ? WantLocal(option) : WantRemote(option);
    const uint8_t agree = local ? kWill : kDo, refuse = local ? kWont : kDont;
    auto answer = [&](uint8_t v) { reply += {char(kIac), char(v), char(option)}; };
    if (enable) {
        if (state == kWantYes) {
            state = kYes; // the answer to this end's request
        } else if (state == kNo) {
            if (wanted) {
                state = kYes;
                answer(agree);
            } else {
                answer(refuse);
            }
        }
    } else {
        if (state == kWantYes) {
            state = kNo; // this end's request refused
            if (local && option == kComPortOption)
                comPortRefused_ = true;
        } else if (state == kYes) {
            state = kNo;
            answer(refuse);
            if (local && option == kComPortOption)
                comPortRefused_ = true;
        }
    }
}

void TTelnetFilter::EndSubnegotiation() {
    if (sbOption_ != kComPortOption || sbSize_ == 0 || sbSize_ > kSbKept)
        return;
    const uint8_t command = static_cast<uint8_t>(sb_[0] - kServerOffset);
    if (sb_[0] < kServerOffset || command < cpSetBaudRate || command > cpSetControl)
        return; // notices and answers this client does not wait for
    uint32_t value = 0;
    for (size_t i = 1; i < sbSize_; ++i)
        value = value << 8 | sb_[i];
    answers_[command] = {true, value};
}

void TTelnetFilter::Escape(const uint8_t *bytes, size_t count, std::string &out) {
    for (size_t i = 0; i < count; ++i) {
        out += char(bytes[i]);
        if (bytes[i] == kIac)
            out += char(kIac);
    }
}

std::string TTelnetFilter::ComPortCommand(uint8_t command, uint32_t value, size_t size) {
    std::string out = {char(kIac), char(kSb), char(kComPortOption), char(command)};
    uint8_t bytes[4];
    if (size > sizeof bytes)
        size = sizeof bytes;
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
    Escape(bytes, size, out);
    out += {char(kIac), char(kSe)};
    return out;
}

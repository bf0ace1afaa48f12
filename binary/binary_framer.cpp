#include "binary/binary_framer.h"

namespace zelvo {

void BinaryFramer::open(BinaryFrame& frame) {
    frame.data.fill(0);
    count_ = 0;
    store(kDle, frame);
}

int BinaryFramer::feed(std::uint8_t byte, BinaryFrame& frame) {
    // The 2049th byte was the last one that fits: the frame is given up and
    // the byte after it is lost with it.
    if (count_ > kMaxFrameHeld) {
        frame.data.fill(0);
        count_ = 0;
        state_ = State::Idle;
        return kNothing;
    }

    switch (state_) {
    case State::Idle:
        if (byte == kDle) {
            open(frame);
            state_ = State::AwaitId;
        }
        return kNothing;

    case State::AwaitId:
        // Repeated DLEs before the id are noise; an id is never 0x10.
        if (byte != kDle) {
            store(byte, frame);
            state_ = State::InFrame;
        }
        return kNothing;

    case State::InFrame:
        store(byte, frame);
        if (byte == kDle) state_ = State::DlePending;
        return kNothing;

    case State::DlePending:
        if (byte == kDle) {
            // The DLE already held stands for the stuffed pair.
            state_ = State::InFrame;
            return kNothing;
        }
        if (byte == 0xFF) {
            store(byte, frame);
            state_ = State::InFrame;
            return kNothing;
        }
        if (byte == kEtx) {
            // A lone DLE before ETX closes the frame; the ETX is kept in the
            // buffer but not counted.
            frame.data[count_] = byte;
            frame.length = static_cast<std::uint16_t>(count_);
            frame.id = frame.data[1];
            count_ = 0;
            state_ = State::Idle;
            return kComplete;
        }
        // Any other byte after a DLE: that DLE opened a new frame and this
        // byte is its id. The new frame waits for its first data byte as
        // after any opening, so DLEs right after the id are dropped.
        frame.id = frame.data[1];
        frame.length = static_cast<std::uint16_t>(count_ - 1);
        open(frame);
        store(byte, frame);
        state_ = State::AwaitId;
        return kCutOff;
    }
    return kNothing;
}

}  // namespace zelvo

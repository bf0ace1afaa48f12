// Assembles the DLE-framed messages of the binary log one byte at a time.
//
// On the wire a frame is DLE, id, payload, DLE ETX. A payload byte 0x10 is
// sent as DLE DLE; the pair DLE 0xFF stands for the two bytes 0x10 0xFF.
// A DLE inside a frame followed by anything else starts a new frame.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zelvo {

inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kEtx = 0x03;

// Room for 2048 held bytes and the ETX after them.
inline constexpr std::size_t kFrameCapacity = 2049;
// A frame holding more bytes than this before its ETX is abandoned.
inline constexpr std::size_t kMaxFrameHeld = 2048;

// One frame as held: [0] the opening DLE, [1] the id, [2 .. length-2] the
// payload without stuffing, [length-1] the closing DLE, [length] the ETX,
// zeros after that. Payload offset k is data position k + 2.
struct BinaryFrame {
    std::array<std::uint8_t, kFrameCapacity> data{};
    std::uint8_t id = 0;
    std::uint16_t length = 0;  // payload length + 3
};

class BinaryFramer {
public:
    enum class State { Idle, AwaitId, InFrame, DlePending };

    // What feed() reports.
    static constexpr int kNothing = 0;
    static constexpr int kComplete = 1;  // frame.id/length/data hold the frame
    static constexpr int kCutOff = 2;    // frame.id/length name the abandoned frame

    int feed(std::uint8_t byte, BinaryFrame& frame);

    // Drops an unfinished frame; frame data is left as it is.
    void reset() {
        state_ = State::Idle;
        count_ = 0;
    }

    State state() const { return state_; }
    std::size_t count() const { return count_; }

private:
    void open(BinaryFrame& frame);
    void store(std::uint8_t byte, BinaryFrame& frame) { frame.data[count_++] = byte; }

    State state_ = State::Idle;
    std::size_t count_ = 0;  // bytes held in frame.data, 0 to 2049
};

}  // namespace zelvo

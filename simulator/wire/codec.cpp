#include "simulator/wire/codec.h"

#include <stdexcept>

namespace sim {

namespace {

// Appends bytes after the start bytes, stuffing every 0xAA, and keeps the XOR
// of everything from ~L on.
class FrameWriter {
  public:
    explicit FrameWriter(std::size_t bodySize) {
        const auto length = static_cast<std::uint8_t>(bodySize + 1);
        frame_.reserve(2 * (bodySize + 3) + 2);
        frame_.push_back(kStartByte1);
        frame_.push_back(kStartByte2);
        put(length);
        xor_ = 0;
        add(static_cast<std::uint8_t>(~length));
    }

    void add(std::uint8_t byte) {
        xor_ ^= byte;
        put(byte);
    }

    Bytes finish(Checksum checksum) {
        put(checksum == Checksum::Correct ? xor_ : static_cast<std::uint8_t>(xor_ ^ 0xFF));
        return std::move(frame_);
    }

  private:
    void put(std::uint8_t byte) {
        frame_.push_back(byte);
        if (byte == kStartByte1) frame_.push_back(kStuffingByte);
    }

    Bytes frame_;
    std::uint8_t xor_ = 0;
};

} // namespace

Bytes encodeRequest(const Request& request) {
    if (request.data.size() > kMaxRequestData) throw std::length_error("request data does not fit a frame");
    FrameWriter frame(3 + request.data.size());
    frame.add(static_cast<std::uint8_t>(request.address >> 8));
    frame.add(static_cast<std::uint8_t>(request.address & 0xFF));
    frame.add(request.command);
    for (const std::uint8_t b : request.data)
        frame.add(b);
    return frame.finish(Checksum::Correct);
}

Bytes encodeResponse(const Response& response, Checksum checksum) {
    if (response.data.size() > kMaxResponseData)
        throw std::length_error("response data does not fit a frame");
    FrameWriter frame(4 + response.data.size());
    frame.add(static_cast<std::uint8_t>(response.address & 0xFF));
    frame.add(static_cast<std::uint8_t>(response.address >> 8));
    frame.add(response.command);
    frame.add(response.status);
    for (const std::uint8_t b : response.data)
        frame.add(b);
    return frame.finish(checksum);
}

std::string_view describe(Drop drop) {
    switch (drop) {
    case Drop::None:
        return "intact";
    case Drop::Garbage:
        return "garbage outside a frame";
    case Drop::BadComplement:
        return "length complement mismatch";
    case Drop::TooShort:
        return "length too short for a request";
    case Drop::BadChecksum:
        return "checksum mismatch";
    case Drop::BadStuffing:
        return "0xAA without its stuffing byte";
    case Drop::Interrupted:
        return "frame cut by a new start";
    }
    return "unknown";
}

std::vector<Parsed> RequestParser::feed(std::span<const std::uint8_t> bytes) {
    std::vector<Parsed> out;
    for (const std::uint8_t b : bytes)
        step(b, out);
    flushGarbage(out);
    return out;
}

void RequestParser::reset() {
    state_ = State::Hunt;
    pendingAA_ = false;
    raw_.clear();
    body_.clear();
    garbage_.clear();
}

void RequestParser::step(std::uint8_t byte, std::vector<Parsed>& out) {
    switch (state_) {
    case State::Hunt:
        if (byte == kStartByte1) {
            raw_.assign(1, byte);
            state_ = State::SecondStart;
        } else {
            garbage_.push_back(byte);
        }
        return;
    case State::SecondStart:
        if (byte == kStartByte2) {
            raw_.push_back(byte);
            beginFrame(out);
        } else if (byte == kStartByte1) {
            garbage_.push_back(kStartByte1); // the earlier 0xAA was noise; this one may start a frame
        } else {
            garbage_.insert(garbage_.end(), raw_.begin(), raw_.end());
            garbage_.push_back(byte);
            raw_.clear();
            state_ = State::Hunt;
        }
        return;
    case State::Length:
    case State::Complement:
    case State::Body:
        stuffed(byte, out);
        return;
    }
}

// Inside a frame: undo the stuffing, and treat "AA BB" as a new frame start.
void RequestParser::stuffed(std::uint8_t byte, std::vector<Parsed>& out) {
    if (!pendingAA_) {
        raw_.push_back(byte);
        if (byte == kStartByte1) {
            pendingAA_ = true;
        } else {
            unstuffed(byte, out);
        }
        return;
    }
    pendingAA_ = false;
    if (byte == kStuffingByte) {
        raw_.push_back(byte);
        unstuffed(kStartByte1, out);
    } else if (byte == kStartByte2) {
        raw_.pop_back(); // the 0xAA belongs to the new frame
        finish(std::nullopt, Drop::Interrupted, out);
        raw_ = {kStartByte1, kStartByte2};
        beginFrame(out);
    } else {
        finish(std::nullopt, Drop::BadStuffing, out);
        step(byte, out); // the offending byte may itself start the next frame
    }
}

void RequestParser::unstuffed(std::uint8_t value, std::vector<Parsed>& out) {
    switch (state_) {
    case State::Length:
        length_ = value;
        state_ = State::Complement;
        return;
    case State::Complement:
        complement_ = value;
        if (value != static_cast<std::uint8_t>(~length_)) {
            finish(std::nullopt, Drop::BadComplement, out);
        } else if (length_ < 4) {
            finish(std::nullopt, Drop::TooShort, out);
        } else {
            body_.clear();
            state_ = State::Body;
        }
        return;
    case State::Body: {
        body_.push_back(value);
        if (body_.size() < length_) return;
        std::uint8_t x = complement_;
        for (const std::uint8_t b : body_)
            x ^= b;
        if (x != 0) {
            finish(std::nullopt, Drop::BadChecksum, out);
            return;
        }
        Request request;
        request.address = static_cast<std::uint16_t>(body_[0] << 8 | body_[1]);
        request.command = body_[2];
        request.data.assign(body_.begin() + 3, body_.end() - 1);
        finish(std::move(request), Drop::None, out);
        return;
    }
    case State::Hunt:
    case State::SecondStart:
        return; // not reached: only the stuffed states deliver values
    }
}

void RequestParser::beginFrame(std::vector<Parsed>& out) {
    flushGarbage(out);
    body_.clear();
    state_ = State::Length;
}

void RequestParser::finish(std::optional<Request> request, Drop drop, std::vector<Parsed>& out) {
    flushGarbage(out);
    out.push_back(Parsed{std::move(raw_), std::move(request), drop});
    raw_.clear();
    body_.clear();
    pendingAA_ = false;
    state_ = State::Hunt;
}

void RequestParser::flushGarbage(std::vector<Parsed>& out) {
    if (garbage_.empty()) return;
    out.push_back(Parsed{std::move(garbage_), std::nullopt, Drop::Garbage});
    garbage_.clear();
}

} // namespace sim

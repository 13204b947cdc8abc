// A transport that plays back the fuzzer's bytes as the reader's answers.
#pragma once

#include "link/bus.h"

#include <cstddef>
#include <cstdint>

class ReplayBus : public varrok::CCommBus {
  public:
    ReplayBus(const std::uint8_t* data, std::size_t size) : CCommBus(kTcp), data_(data), size_(size) {}
    int open(const char*) override { return 0; }
    bool close() override { return true; }
    int read(std::uint8_t* dst, int n) override {
        if (n <= 0 || pos_ >= size_) return 0;
        *dst = data_[pos_++];
        return 1;
    }
    int write(const std::uint8_t*, int n) override { return n; }
    bool isOpen() const override { return true; }
    // Each exchange starts on fresh bytes, so nothing is purged here.
    bool purge() override { return true; }
    bool setTimeouts(int, int) override { return true; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

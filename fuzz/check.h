#pragma once

// Shared by the fuzz targets: a check that stops the run with the failing condition, and a
// reader that turns the fuzzer's bytes into operations.

#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace kavfuzz {

// Hands out the input a piece at a time; past its end every read gives zeros.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool done() const { return pos_ >= size_; }
    std::size_t left() const { return size_ - pos_; }
    std::uint8_t byte() { return done() ? 0 : data_[pos_++]; }
    std::uint16_t word() { return std::uint16_t(byte() | byte() << 8); }
    QByteArrayView take(std::size_t n) {
        if (n > left())
            n = left();
        const QByteArrayView piece(reinterpret_cast<const char*>(data_ + pos_), qsizetype(n));
        pos_ += n;
        return piece;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace kavfuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

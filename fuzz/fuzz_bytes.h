// Turning a fuzzer's bytes into choices: each take consumes bytes from the
// front and gives a value in range, or a default once the bytes are used up.
#ifndef REGVIAFFT_FUZZ_BYTES_H
#define REGVIAFFT_FUZZ_BYTES_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

class FuzzBytes {
public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    std::uint32_t word()
    {
        std::uint32_t value = 0;
        const std::size_t n = size_ < 4 ? size_ : 4;
        std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }

    std::uint8_t byte()
    {
        if (size_ == 0)
            return 0;
        --size_;
        return *data_++;
    }

    bool flag() { return byte() & 1; }

    // A whole number from lo to hi.
    long range(long lo, long hi)
    {
        const std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
        return lo + static_cast<long>(word() % span);
    }

    // One of the given values.
    template <typename T>
    T pick(std::initializer_list<T> values)
    {
        return values.begin()[range(0, static_cast<long>(values.size()) - 1)];
    }

    // A double, often one that breaks arithmetic.
    double real(double lo, double hi)
    {
        switch (byte() % 8) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        case 2:
            return -std::numeric_limits<double>::infinity();
        case 3:
            return -0.0;
        default:
            return lo + (hi - lo) * (word() / 4294967295.0);
        }
    }

    // The rest of the bytes, up to n of them.
    std::vector<std::uint8_t> bytes(std::size_t n)
    {
        const std::size_t taken = n < size_ ? n : size_;
        std::vector<std::uint8_t> out(data_, data_ + taken);
        data_ += taken;
        size_ -= taken;
        return out;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

#endif

// The transform engine's descriptor API under hostile call sequences: create
// in every form with any dimension and lengths, set any parameter to any
// value of its type, commit, compute, free, in any order. Compute is called
// only on layouts that lie inside the buffers handed to it, as a caller must;
// everything else has to be refused with a status, never crash.
#include <cstdint>
#include <vector>

#include "dft.h"
#include "fuzz_bytes.h"

namespace {

constexpr int kSlots = 3;
constexpr int kMaxOperations = 24;
// Buffers of at most this many complex elements are handed to compute.
constexpr std::int64_t kMaxElements = 1 << 16;
// The longest length the engine accepts (a power of two; other lengths stop
// at a quarter of it).
constexpr std::int64_t kLongestAcceptedLength = 1 << 26;
// A commit allocates one workspace share per user thread, of a few complex
// elements per element of the longest length: user-thread counts whose
// shares would add up to gigabytes are left out, like lengths at the limits.
constexpr std::int64_t kMaxUserThreadElements = 1 << 20;

struct Layout {
    std::int32_t offset = 0;
    std::int32_t strides[7] = {};
};

// What the harness knows a descriptor to hold, from the calls that succeeded.
struct Model {
    DFT_DESCRIPTOR_HANDLE handle = nullptr;
    int dimension = 0;
    std::int32_t lengths[7] = {};
    Layout in, out;
    bool inDefault = true, outDefault = true;
    std::int32_t count = 1, inDistance = 0, outDistance = 0;
    bool inPlace = true;
    bool committed = false;
};

// Any word reaches the tests that run before a length is checked. One the
// engine would accept is folded below kMaxElements: a plan for a length in
// the millions, grouped for the columns of a plane, takes gigabytes.
std::int32_t anyLength(FuzzBytes& b)
{
    const auto word = static_cast<std::int32_t>(b.word());
    return word > kMaxElements && word <= kLongestAcceptedLength ? static_cast<std::int32_t>(word % kMaxElements)
                                                                  : word;
}

std::int32_t interestingLength(FuzzBytes& b)
{
    // Lengths just beyond the engine's limits must be refused without
    // allocating; those at the limits would take gigabytes and are left out.
    return b.pick<std::int32_t>({0, 1, 2, 3, 4, 5, 7, 8, 12, 16, 17, 25, 32, 33, 48, 64, 75, 79, 97, 128,
                                 -1, (1 << 24) + 1, (1 << 26) + 1, INT32_MAX,
                                 static_cast<std::int32_t>(b.range(0, 300)), anyLength(b)});
}

std::int32_t interestingInt(FuzzBytes& b)
{
    return b.pick<std::int32_t>({0, 1, 2, -1, 31, 32, 33, 35, 36, 39, 42, 43, 44, 48, 49, 53, 54, 57,
                                 1024, 1025, INT32_MIN, INT32_MAX, static_cast<std::int32_t>(b.word())});
}

void defaultStrides(const Model& m, Layout& layout)
{
    layout.offset = 0;
    std::int32_t stride = 1;
    for (int k = m.dimension - 1; k >= 0; --k) {
        layout.strides[k] = stride;
        stride = m.lengths[k] > 0 && stride <= INT32_MAX / m.lengths[k] ? stride * m.lengths[k] : 0;
    }
}

// Lowest and highest element a layout touches over every transform; false
// when it reaches outside [0, kMaxElements).
bool fits(const Model& m, const Layout& layout, std::int32_t distance, std::int64_t& highest)
{
    std::int64_t low = layout.offset, high = layout.offset;
    for (int k = 0; k < m.dimension; ++k) {
        const std::int64_t reach = static_cast<std::int64_t>(m.lengths[k] - 1) * layout.strides[k];
        (reach < 0 ? low : high) += reach;
        if (m.lengths[k] < 1 || m.lengths[k] > kMaxElements)
            return false;
    }
    const std::int64_t batch = static_cast<std::int64_t>(m.count - 1) * distance;
    (batch < 0 ? low : high) += batch;
    highest = high;
    return m.count >= 1 && m.count <= 64 && low >= 0 && high < kMaxElements;
}

void create(Model& m, FuzzBytes& b)
{
    DftFreeDescriptor(&m.handle);
    m = Model{};
    const int form = static_cast<int>(b.range(0, 3));
    const std::int32_t precision = b.pick<std::int32_t>({DFT_DOUBLE, DFT_SINGLE, 0, 37});
    const std::int32_t domain = b.pick<std::int32_t>({DFT_COMPLEX, DFT_REAL, 34, -1});
    m.dimension = static_cast<int>(b.range(0, 8));
    std::int32_t lengths[8] = {};
    for (int k = 0; k < 8; ++k)
        lengths[k] = interestingLength(b);
    std::int32_t status;
    if (form == 0)
        status = DftCreateDescriptor_d_md(&m.handle, domain, m.dimension, lengths);
    else if (form == 1)
        status = DftCreateDescriptor_s_md(&m.handle, domain, m.dimension, lengths);
    else if (m.dimension == 1)
        status = DftCreateDescriptor(&m.handle, precision, domain, 1, lengths[0]);
    else
        status = DftCreateDescriptor(&m.handle, precision, domain, m.dimension, lengths);
    if (status != DFT_NO_ERROR || m.handle == nullptr) {
        m.dimension = 0;
        return;
    }
    for (int k = 0; k < m.dimension && k < 7; ++k)
        m.lengths[k] = lengths[k];
}

std::int64_t longestLength(const Model& m)
{
    std::int64_t longest = 1;
    for (int k = 0; k < m.dimension && k < 7; ++k)
        longest = m.lengths[k] > longest ? m.lengths[k] : longest;
    return longest;
}

bool asksGigabytes(const Model& m, std::int32_t parameter, std::int32_t value)
{
    return parameter == DFT_NUMBER_OF_USER_THREADS && value > 1 &&
           static_cast<std::int64_t>(value) * longestLength(m) > kMaxUserThreadElements;
}

void setValue(Model& m, FuzzBytes& b)
{
    const std::int32_t parameter = static_cast<std::int32_t>(b.range(-2, 28));
    std::int32_t status;
    if (parameter == DFT_FORWARD_SCALE || parameter == DFT_BACKWARD_SCALE) {
        status = DftSetValue(m.handle, parameter, b.real(-4.0, 4.0));
    } else if (parameter == DFT_INPUT_STRIDES || parameter == DFT_OUTPUT_STRIDES) {
        std::int32_t strides[8];
        for (std::int32_t& s : strides)
            s = b.flag() ? static_cast<std::int32_t>(b.range(-64, 256)) : interestingInt(b);
        status = DftSetValue(m.handle, parameter, strides);
        if (status == DFT_NO_ERROR) {
            Layout& layout = parameter == DFT_INPUT_STRIDES ? m.in : m.out;
            layout.offset = strides[0];
            for (int k = 0; k < m.dimension && k < 7; ++k)
                layout.strides[k] = strides[k + 1];
            (parameter == DFT_INPUT_STRIDES ? m.inDefault : m.outDefault) = false;
        }
    } else if (parameter == DFT_DESCRIPTOR_NAME) {
        const std::vector<std::uint8_t> name = b.bytes(b.range(0, 40));
        std::vector<char> text(name.begin(), name.end());
        text.push_back('\0');
        status = DftSetValue(m.handle, parameter, text.data());
    } else {
        const std::int32_t value = b.flag() ? static_cast<std::int32_t>(b.range(-4, 70)) : interestingInt(b);
        if (asksGigabytes(m, parameter, value))
            return;
        status = DftSetValue(m.handle, parameter, value);
        if (status == DFT_NO_ERROR) {
            if (parameter == DFT_NUMBER_OF_TRANSFORMS)
                m.count = value;
            else if (parameter == DFT_INPUT_DISTANCE)
                m.inDistance = value;
            else if (parameter == DFT_OUTPUT_DISTANCE)
                m.outDistance = value;
            else if (parameter == DFT_PLACEMENT)
                m.inPlace = value == DFT_INPLACE;
        }
    }
    // Any setting uncommits, whatever its status.
    m.committed = false;
}

void compute(Model& m, FuzzBytes& b)
{
    if (!m.committed || m.handle == nullptr)
        return;
    if (m.inDefault)
        defaultStrides(m, m.in);
    if (m.outDefault)
        defaultStrides(m, m.out);
    std::int64_t inHigh = 0, outHigh = 0;
    if (!fits(m, m.in, m.inDistance, inHigh) || !fits(m, m.out, m.outDistance, outHigh))
        return;
    std::vector<_DFT_Complex16> in(static_cast<size_t>(inHigh + 1)), out(static_cast<size_t>(outHigh + 1));
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = {static_cast<double>(b.byte()) - 128.0, static_cast<double>(i % 7)};
    const bool forward = b.flag();
    if (m.inPlace) {
        if (in.size() < out.size())
            in.resize(out.size());
        forward ? DftComputeForward(m.handle, in.data()) : DftComputeBackward(m.handle, in.data());
    } else {
        forward ? DftComputeForward(m.handle, in.data(), out.data())
                : DftComputeBackward(m.handle, in.data(), out.data());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzBytes b(data, size);
    Model slots[kSlots];
    for (int op = 0; op < kMaxOperations && !b.empty(); ++op) {
        Model& m = slots[b.range(0, kSlots - 1)];
        switch (b.range(0, 5)) {
        case 0:
            create(m, b);
            break;
        case 1:
            setValue(m, b);
            break;
        case 2:
            m.committed = DftCommitDescriptor(m.handle) == DFT_NO_ERROR;
            break;
        case 3:
        case 4:
            compute(m, b);
            break;
        default:
            DftFreeDescriptor(&m.handle);
            m = Model{};
            break;
        }
    }
    for (Model& m : slots)
        DftFreeDescriptor(&m.handle);
    return 0;
}

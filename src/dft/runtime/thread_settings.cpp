// Thread requests from the environment and the processor topology, behind
// the thread-services slots "threads per core" and "threads available". The
// engine always computes on the calling thread; these only answer questions.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "runtime.h"
#include "platform.h"

namespace regviafft::dft {

namespace {

constexpr size_t kValueBufferSize = 256;
constexpr int32_t kLargestCount = 0x7FFFFFFF;

// In the order of the fields of ThreadVariables.
constexpr const char* kVariableNames[] = {
    "REGVIAFFT_NUM_THREADS", "OMP_NUM_THREADS", "REGVIAFFT_DOMAIN_NUM_THREADS",
    "REGVIAFFT_DYNAMIC", "REGVIAFFT_PROCESSES_PER_NODE", "REGVIAFFT_THREAD_LEVEL",
};
constexpr size_t kVariableCount = sizeof kVariableNames / sizeof kVariableNames[0];

// Names of the domains in REGVIAFFT_DOMAIN_NUM_THREADS, indexed by ThreadDomain.
constexpr const char* kDomainNames[kDomainCount] = {
    "REGVIAFFT_ALL", "REGVIAFFT_BLAS", "REGVIAFFT_FFT", "REGVIAFFT_VMATH", "REGVIAFFT_SPARSE",
};

bool isListSeparator(char c)
{
    return c == ' ' || c == '\t' || c == ',' || c == ';' || c == ':' || c == '"' || c == '\'';
}

// Digits only, as a count saturated at the int32 range; -1 for anything else.
int64_t parseDigits(const char* begin, const char* end)
{
    if (begin == end)
        return -1;
    int64_t n = 0;
    for (const char* p = begin; p != end; ++p) {
        if (*p < '0' || *p > '9')
            return -1;
        n = std::min<int64_t>(n * 10 + (*p - '0'), kLargestCount);
    }
    return n;
}

// A thread count: digits give their number, kept only if at least 1 (else
// 0, not set); any other character gives 1; empty gives emptyCount.
int32_t parseThreadCount(const char* begin, const char* end, int32_t emptyCount)
{
    if (begin == end)
        return emptyCount;
    int64_t n = parseDigits(begin, end);
    if (n < 0)
        return 1;
    return n >= 1 ? static_cast<int32_t>(n) : 0;
}

int32_t domainIndex(const char* begin, const char* end)
{
    size_t length = static_cast<size_t>(end - begin);
    for (int32_t d = 0; d < kDomainCount; ++d) {
        if (std::strlen(kDomainNames[d]) == length && std::strncmp(begin, kDomainNames[d], length) == 0)
            return d;
    }
    return -1;
}

// Pairs "NAME=VALUE" between separators; a pair without "=" has an empty
// value. The first setting of a domain stays in force.
void parseDomainList(const char* list, ThreadSettings* s)
{
    const char* p = list;
    while (*p != '\0') {
        while (*p != '\0' && isListSeparator(*p))
            ++p;
        const char* pairBegin = p;
        while (*p != '\0' && !isListSeparator(*p))
            ++p;
        if (pairBegin == p)
            continue;
        const char* equals = std::find(pairBegin, p, '=');
        const char* valueBegin = equals == p ? p : equals + 1;
        int32_t d = domainIndex(pairBegin, equals);
        if (d >= 0 && s->domainThreads[d] == 0)
            s->domainThreads[d] = parseThreadCount(valueBegin, p, 1);
    }
}

// On unless the value, after leading blanks and quotes, begins with "FALSE"
// or "false"; a prefix, so a closing quote does not matter.
bool parseDynamic(const char* value)
{
    while (*value == ' ' || *value == '\t' || *value == '"' || *value == '\'')
        ++value;
    return std::strncmp(value, "FALSE", 5) != 0 && std::strncmp(value, "false", 5) != 0;
}

const char* valueEnd(const char* value)
{
    return value + std::strlen(value);
}

ThreadSettings settings;
std::atomic<bool> settingsRead{false};

void readSettingsOnce()
{
    if (settingsRead.load(std::memory_order_acquire))
        return;
    engineLock();
    if (!settingsRead.load(std::memory_order_relaxed)) {
        static char buffers[kVariableCount][kValueBufferSize];
        const char* values[kVariableCount];
        for (size_t i = 0; i < kVariableCount; ++i) {
            bool set = platform::readEnvironment(kVariableNames[i], buffers[i], kValueBufferSize);
            values[i] = set ? buffers[i] : nullptr;
        }
        settings = parseThreadSettings(
            ThreadVariables{values[0], values[1], values[2], values[3], values[4], values[5]});
        settingsRead.store(true, std::memory_order_release);
    }
    engineUnlock();
}

}  // namespace

ThreadSettings parseThreadSettings(const ThreadVariables& v)
{
    ThreadSettings s{};
    s.dynamic = true;
    s.threadLevel = -1;
    if (v.numThreads != nullptr)
        s.domainThreads[kDomainAll] = parseThreadCount(v.numThreads, valueEnd(v.numThreads), 0);
    if (v.domainNumThreads != nullptr)
        parseDomainList(v.domainNumThreads, &s);
    // OMP_NUM_THREADS is the general fallback: it applies only when neither
    // engine variable has set the count for every domain.
    if (v.ompNumThreads != nullptr && s.domainThreads[kDomainAll] == 0)
        s.domainThreads[kDomainAll] = parseThreadCount(v.ompNumThreads, valueEnd(v.ompNumThreads), 0);
    if (v.dynamic != nullptr)
        s.dynamic = parseDynamic(v.dynamic);
    if (v.processesPerNode != nullptr) {
        int64_t n = parseDigits(v.processesPerNode, valueEnd(v.processesPerNode));
        if (n >= 1)
            s.processesPerNode = static_cast<int32_t>(n);
    }
    if (v.threadLevel != nullptr) {
        // Presence alone resets the level to 0; only a digits-only 0 to 3 replaces it.
        s.threadLevel = 0;
        int64_t n = parseDigits(v.threadLevel, valueEnd(v.threadLevel));
        if (n >= 0 && n <= 3)
            s.threadLevel = static_cast<int32_t>(n);
    }
    return s;
}

const ThreadSettings& threadSettings()
{
    readSettingsOnce();
    return settings;
}

// Every processor the system reports counts as one core: telling hardware
// threads of one core apart would mean pinning the thread to each processor
// in turn, and neither slot is ever called on the transform path.
int32_t threadsPerCore()
{
    readSettingsOnce();
    return 1;
}

// The transform domain's request, else the request for every domain, else
// one thread per processor; with dynamic adjustment on, at most the
// processors left to this process when several share the node.
int32_t threadsAvailable()
{
    const ThreadSettings& s = threadSettings();
    int32_t processors = platform::processorCount() / threadsPerCore();
    if (s.processesPerNode > 0)
        processors = std::max(1, processors / s.processesPerNode);
    int32_t requested = s.domainThreads[kDomainFft] > 0   ? s.domainThreads[kDomainFft]
                        : s.domainThreads[kDomainAll] > 0 ? s.domainThreads[kDomainAll]
                                                          : processors;
    return s.dynamic ? std::min(requested, processors) : requested;
}

}  // namespace regviafft::dft

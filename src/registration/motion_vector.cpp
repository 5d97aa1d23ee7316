// Global motion vector: the templates' shifts vote, equal averaged shifts merge
// into candidates, and the best-scored candidate is the frame's motion.
#include <cmath>
#include <limits>

#include "RegViaFFT.h"
#include "kernels.h"

namespace regviafft {
namespace {

// Records without a motion vector (only no-peak markers agreed) get this key,
// so that every ordering leaves them behind the rest in their mutual order.
constexpr double kBehindEverything = -std::numeric_limits<double>::infinity();
// Averaged shifts closer than this are one candidate.
constexpr double kMergeTolerance = 1e-7;
// How fast the previous motion decays on a frame without a measurement.
constexpr double kMotionDecay = 0.7;

bool keyGreater(const PcRecord& a, const PcRecord& b, CRegViaFFT::CRITERION criterion)
{
    switch (criterion) {
    case CRegViaFFT::BY_PC_VALUE:
        return a.pcValue > b.pcValue;
    case CRegViaFFT::BY_VOTES:
        return a.votes > b.votes;
    case CRegViaFFT::BY_SCORE:
        return a.score > b.score;
    }
    return false;
}

bool sameShift(const PcRecord& a, const PcRecord& b)
{
    return std::fabs(a.shiftX - b.shiftX) < kMergeTolerance &&
           std::fabs(a.shiftY - b.shiftY) < kMergeTolerance;
}

}  // namespace

void sortPcRecords(PcRecord* records, int n, CRegViaFFT::CRITERION criterion)
{
    for (int i = 0; i + 1 < n; ++i) {
        for (int j = n - 1; j > i; --j) {
            if (keyGreater(records[j], records[j - 1], criterion)) {
                const PcRecord held = records[j];
                records[j] = records[j - 1];
                records[j - 1] = held;
            }
        }
    }
}

void voteOnShifts(PcRecord* records, PcRecord* work, int count)
{
    for (int t = 0; t < count; ++t) {
        const PcRecord& own = records[t];
        // The tolerance is the voter's own, so agreement is not symmetric.
        const double tolX = own.shiftX * own.shiftX / 10.0;
        const double tolY = own.shiftY * own.shiftY / 10.0;
        int votes = 1;
        double weight = own.pcValue;
        double sumX = own.pcValue * own.shiftX;
        double sumY = own.pcValue * own.shiftY;
        double highest = own.pcValue;
        double lowest = own.pcValue;
        for (int i = 0; i < count; ++i) {
            const PcRecord& other = records[i];
            const double dy = own.shiftY - other.shiftY;
            const double dx = own.shiftX - other.shiftX;
            if (i == t || !(dy * dy < tolY && dx * dx < tolX))
                continue;
            ++votes;
            weight += other.pcValue;
            sumX += other.pcValue * other.shiftX;
            sumY += other.pcValue * other.shiftY;
            highest = other.pcValue > highest ? other.pcValue : highest;
            lowest = other.pcValue < lowest ? other.pcValue : lowest;
        }
        records[t].votes = votes;
        // A set of markers only has no average; it keeps the marker shift.
        work[t].shiftX = weight == 0.0 ? own.shiftX : sumX / weight;
        work[t].shiftY = weight == 0.0 ? own.shiftY : sumY / weight;
        work[t].pcValue = highest;
        work[t].minPcValue = lowest;
    }
}

int mergeCandidates(PcRecord* records, int count)
{
    int candidates = 0;
    for (int start = 0; start < count;) {
        PcRecord run = records[start];
        int end = start + 1;
        // Records without a vector never merge.
        while (end < count && hasMotionVector(run) && hasMotionVector(records[end]) &&
               sameShift(run, records[end])) {
            const PcRecord& next = records[end];
            run.orderBias += next.orderBias;
            run.pcValue = next.pcValue > run.pcValue ? next.pcValue : run.pcValue;
            run.minPcValue = next.minPcValue > run.minPcValue ? next.minPcValue : run.minPcValue;
            run.votes = next.votes > run.votes ? next.votes : run.votes;
            ++end;
        }
        records[candidates++] = run;
        start = end;
    }
    return candidates;
}

void scoreCandidates(PcRecord* records, int count, const ScoringContext& context)
{
    double distance[kMaxPcRecords] = {};
    double peak = 0.0;
    double nearest = 1e9;
    int fewestVotes = context.maxTemplates + 1;
    int mostVotes = 0;
    for (int k = 0; k < count; ++k) {
        const PcRecord& r = records[k];
        fewestVotes = r.votes < fewestVotes ? r.votes : fewestVotes;
        mostVotes = r.votes > mostVotes ? r.votes : mostVotes;
        if (!hasMotionVector(r))
            continue;
        peak = r.pcValue > peak ? r.pcValue : peak;
        const double dx = r.shiftX - context.prevX;
        const double dy = r.shiftY - context.prevY;
        distance[k] = context.frameCount == 1 ? 0.0 : std::sqrt(dx * dx + dy * dy);
        nearest = distance[k] < nearest ? distance[k] : nearest;
    }
    // Closeness falls from 0.4 M at the nearest candidate to 0 at 20 / vmax
    // reduced pixels beyond it.
    const double slope = mostVotes * 0.4 * peak / 20.0;
    for (int k = 0; k < count; ++k) {
        PcRecord& r = records[k];
        if (!hasMotionVector(r)) {
            r.score = kBehindEverything;
            continue;
        }
        double closeness = 0.4 * peak - (distance[k] - nearest) * slope;
        if (closeness < 0.0)
            closeness = 0.0;
        const int spread = r.votes - fewestVotes;
        r.score = r.orderBias * 0.2 * peak + spread * spread * 0.45 * peak + r.pcValue + closeness;
    }
}

int rankCandidates(PcRecord* records, PcRecord* work, int count, const ScoringContext& context)
{
    sortPcRecords(records, count, CRegViaFFT::BY_SCORE);
    voteOnShifts(records, work, count);
    for (int t = 0; t < count; ++t) {
        PcRecord& r = records[t];
        r.shiftX = work[t].shiftX;
        r.shiftY = work[t].shiftY;
        r.pcValue = work[t].pcValue;
        r.minPcValue = work[t].minPcValue;
        r.score = hasMotionVector(r) ? r.shiftX : kBehindEverything;
    }
    sortPcRecords(records, count, CRegViaFFT::BY_SCORE);
    const int candidates = mergeCandidates(records, count);
    scoreCandidates(records, candidates, context);
    sortPcRecords(records, candidates, CRegViaFFT::BY_SCORE);
    return candidates;
}

}  // namespace regviafft

void CRegViaFFT::getGMVwithScore(SCORE_TYPE /*scoreType: one kind of score exists*/)
{
    const int count = templateCount;
    for (int t = 0; t < count; ++t) {
        _pcResult& r = pcResult[t];
        getShiftAmount_PCvalue(pcSurface[t], &r.shiftY, &r.shiftX, &r.pcValue);
        r.score = r.pcValue;
        r.orderBias = t < 4 ? -1 : 1;
        r.shiftLength = std::sqrt(r.shiftX * r.shiftX + r.shiftY * r.shiftY);
    }
    bool measured = false;
    if (count == 1) {
        measured = true;
    } else if (count >= 2) {
        const regviafft::ScoringContext context{maxTemplates, frameCount, prevPreciseGmvX,
                                                prevPreciseGmvY};
        regviafft::rankCandidates(pcResult, pcResultWork, count, context);
        measured = regviafft::hasMotionVector(pcResult[0]);
    }
    if (measured) {
        preciseGmvX = pcResult[0].shiftX;
        preciseGmvY = pcResult[0].shiftY;
    } else {
        // No template, or every template without a peak: the previous motion
        // decays, so the pipeline always receives finite values.
        preciseGmvX = regviafft::roundHalfEven(prevPreciseGmvX * regviafft::kMotionDecay);
        preciseGmvY = regviafft::roundHalfEven(prevPreciseGmvY * regviafft::kMotionDecay);
    }
    gmvX = regviafft::roundHalfEven(preciseGmvX / scale);
    gmvY = regviafft::roundHalfEven(preciseGmvY / scale);
}

void CRegViaFFT::sort_PC_RESULT(int n, CRITERION criterion)
{
    // Bounded by the array, so an oversized n cannot run past it.
    regviafft::sortPcRecords(pcResult, n < regviafft::kMaxPcRecords ? n : regviafft::kMaxPcRecords,
                             criterion);
}

void CRegViaFFT::copy_PC_RESULT(_pcResult* src, _pcResult* dst)
{
    // A missing record is skipped rather than dereferenced.
    if (src != nullptr && dst != nullptr)
        *dst = *src;
}

// Assembles a unit's KernelSet from its vector types, at compile time: the
// table is constant data, so nothing runs when the library loads.

template <class V>
constexpr LaneKernels laneKernelsOf()
{
    LaneKernels k{};
    k.lanes = V::kLanes;
    fillCodeletTables<V, true>(&k);
    fillCodeletTables<V, false>(&k);
    k.fftPow2[directionIndex(true)] = fftPow2<V, true>;
    k.fftPow2[directionIndex(false)] = fftPow2<V, false>;
    k.mixedRadix[directionIndex(true)] = mixedRadix<V, true>;
    k.mixedRadix[directionIndex(false)] = mixedRadix<V, false>;
    k.direct[directionIndex(true)] = directTransform<V, true>;
    k.direct[directionIndex(false)] = directTransform<V, false>;
    k.splitProduct = splitProduct<V>;
    k.rowsToLanes = rowsToLanes<V>;
    k.lanesToRows = lanesToRows<V>;
    k.scale = scaleLanes<V>;
    return k;
}

// One entry per vector type; widths a unit has no type for stay empty.
template <class... V>
constexpr KernelSet makeKernelSet(const char* name, KernelRequirement requirement)
{
    KernelSet set{};
    set.name = name;
    set.requirement = requirement;
    ((set.byWidth[laneWidthIndex(V::kLanes)] = laneKernelsOf<V>()), ...);
    ((set.widestLanes = V::kLanes > set.widestLanes ? V::kLanes : set.widestLanes), ...);
    return set;
}

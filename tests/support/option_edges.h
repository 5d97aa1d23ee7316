// Texts at the edges of an option's rule: the values just inside, which
// every host must accept, and those just beyond or misspelt, which every
// host must refuse naming the option.
#ifndef REGVIAFFT_TESTS_OPTION_EDGES_H
#define REGVIAFFT_TESTS_OPTION_EDGES_H

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "regviafft/option.h"

namespace option_edges {

struct Edges {
    std::vector<std::string> accepted;
    std::vector<std::string> refused;
};

// Every bit of the double, so that the next value past a bound stays past it.
inline std::string exact(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

inline std::string whole(double value)
{
    return std::to_string(static_cast<long long>(value));
}

inline Edges edgesOf(const regviafft::OptionRule& rule)
{
    const double below = std::nextafter(rule.lo, -std::numeric_limits<double>::infinity());
    const double above = std::nextafter(rule.hi, std::numeric_limits<double>::infinity());
    switch (rule.kind) {
    case regviafft::OptionKind::Switch:
        return {{"true", "false"}, {"yes", ""}};
    case regviafft::OptionKind::WholeNumber:
        return {{whole(rule.lo), whole(rule.hi)}, {whole(rule.lo - 1), whole(rule.hi + 1), "1.5", "2x"}};
    case regviafft::OptionKind::Number:
        if (rule.aboveLo)
            return {{exact(std::nextafter(rule.lo, rule.hi)), exact(rule.hi)},
                    {exact(rule.lo), exact(above), "nan", "inf", "1,5"}};
        return {{exact(rule.lo), exact(rule.hi)}, {exact(below), exact(above), "nan", "-inf", "1,5"}};
    case regviafft::OptionKind::Choice: {
        Edges edges;
        for (const regviafft::OptionChoice& choice : rule.choices)
            edges.accepted.push_back(choice.name);
        const std::string first = rule.choices.front().name;
        edges.refused = {"", first + "x", std::string(1, static_cast<char>(first[0] - 'a' + 'A')) + first.substr(1)};
        return edges;
    }
    case regviafft::OptionKind::Pair:
        return {{whole(rule.lo) + "x" + whole(rule.hi), whole(rule.hi) + "x" + whole(rule.lo), whole(rule.hi)},
                {whole(rule.lo - 1) + "x" + whole(rule.hi), whole(rule.lo) + "x" + whole(rule.hi + 1),
                 whole(rule.hi + 1), whole(rule.lo) + "x", "x" + whole(rule.lo), "8x8x8"}};
    case regviafft::OptionKind::Text:
        break;
    }
    return {};
}

}  // namespace option_edges

#endif

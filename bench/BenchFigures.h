#pragma once

#include <algorithm>
#include <vector>

// The median, the 99th percentile and the worst of a benchmark's samples.
struct CFigures
{
    double dMedian = 0;
    double dP99 = 0;
    double dMax = 0;
};

inline CFigures FiguresOf(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    if (samples.empty())
        return {};
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100], samples.back()};
}

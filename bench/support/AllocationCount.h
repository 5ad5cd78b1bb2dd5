// Every C++ allocation of a benchmark program that links zqe_bench_support
// is counted, so that a benchmark can read the most memory a piece of work
// held at once.
#pragma once

#include <cstddef>

namespace zqe::bench {

// Bytes the program holds now.
size_t LiveBytes();

// Starts a measurement: the peak is set to what is held now. Returns that.
size_t StartPeak();

// The most bytes held at once since StartPeak.
size_t PeakBytes();

}  // namespace zqe::bench

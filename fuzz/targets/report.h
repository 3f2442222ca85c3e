#pragma once
// How a fuzz target ends an input whose checks failed: the problem on stderr, then abort, which
// libFuzzer reports as a crash and keeps the input of.
#include <cstdio>
#include <cstdlib>
#include <string>

namespace pixhaul::fuzz {

inline void AbortOnProblem(const char* target, const std::string& problem) {
    if (problem.empty()) return;
    std::fprintf(stderr, "%s: %s\n", target, problem.c_str());
    std::abort();
}

}  // namespace pixhaul::fuzz

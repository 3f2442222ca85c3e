#pragma once
// How many threads the work of this process may keep busy.
namespace pixhaul {

// Set to a positive number, the share of the cores this process has (qxa batch gives each of
// its children one): the threads that decode and deflate at once.
inline constexpr const char* kThreadsVariable = "PIXHAUL_THREADS";

// PIXHAUL_THREADS when it holds a number from 1 to 1024; otherwise the cores this process may
// run on (its CPU affinity, which a cluster's job or taskset narrows); at least 1.
unsigned UsableCores();

}  // namespace pixhaul

// Starts the run's worker threads: the decoding workers and the poster
// writers.
#ifndef POSTERGEN_APP_WORKER_THREADS_H_
#define POSTERGEN_APP_WORKER_THREADS_H_

#include <thread>
#include <vector>

// Up to count threads running run; fewer when the system refuses more. SDL
// keeps per-thread data (the error text) for a thread that sets or logs
// one, which a thread SDL did not start frees itself: each does when run
// returns.
std::vector<std::thread> startWorkers(int count, void (*run)());

#endif  // POSTERGEN_APP_WORKER_THREADS_H_

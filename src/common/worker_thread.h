#pragma once

#include <exception>
#include <functional>
#include <thread>
#include <utility>

namespace korva {

// One piece of work on a second thread, beside the caller's own share. What
// it throws is kept for the caller, who decides where in the run's order it
// surfaces: a failure must be reported as a single thread would have.
class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> work)
        : thread_([this, work = std::move(work)] {
              try {
                  work();
              } catch (...) {
                  error_ = std::current_exception();
              }
          }) {}
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    WorkerThread(WorkerThread&&) = delete;
    WorkerThread& operator=(WorkerThread&&) = delete;
    // A caller that unwinds still waits: the work uses the caller's data.
    ~WorkerThread() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    // Waits for the work to end; what it threw, or null.
    std::exception_ptr Wait() {
        if (thread_.joinable()) {
            thread_.join();
        }
        return error_;
    }

private:
    std::exception_ptr error_;
    std::thread thread_; // last, so that it starts once error_ exists
};

} // namespace korva

// Worker threads kept for reuse, so that starting a task costs a hand-over
// rather than a thread start (about 4 ms each under Wine, where mingw's
// std::async starts a thread per task). The pool grows to the demand: a task
// that finds no idle worker gets a new one at once, so every task given to
// the pool is running before Run returns and no caller ever waits for
// another's tasks. A worker counts as idle again before its task's future
// becomes ready, so a caller that waited for its tasks finds their workers
// for its next ones. A worker that stays idle for the idle limit ends.
//
// Owned by one sweep registry. Run may be called from any thread until
// Shutdown begins; Shutdown and the destructor run on the owner's thread,
// once no task is running or will be given, and join every worker the pool
// ever started.
#ifndef RIVELO_DISCOVERY_WORKER_POOL_H_
#define RIVELO_DISCOVERY_WORKER_POOL_H_

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

class WorkerPool {
 public:
  using ThreadStarter = std::function<std::thread(std::function<void()>)>;

  // Workers are started through start_thread, which may throw.
  WorkerPool(ThreadStarter start_thread, std::chrono::milliseconds idle_limit);
  ~WorkerPool();

  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Hands work to an idle worker, or starts one for it. The future carries
  // what work throws. Throws what the thread starter throws, and then work
  // never runs.
  std::future<void> Run(std::function<void()> work);

  // Lets idle workers go and joins them all. Idempotent.
  void Shutdown();

  // Workers started and not yet joined.
  size_t threads() const;

 private:
  struct Job {
    std::function<void()> work;
    std::promise<void> done;
  };

  // A worker's life: job, then every job it is given until it ends.
  void Serve(Job job);
  // Joins the workers that ended for idleness; the caller holds no lock.
  void JoinRetired();

  const ThreadStarter start_thread_;
  const std::chrono::milliseconds idle_limit_;
  mutable std::mutex mutex_;
  std::condition_variable work_given_;
  std::deque<Job> queue_;
  // Waiting workers not yet claimed by a queued task.
  size_t unclaimed_idle_ = 0;
  bool shutting_down_ = false;
  std::vector<std::thread> workers_;
  std::set<std::thread::id> retired_;
};

#endif  // RIVELO_DISCOVERY_WORKER_POOL_H_

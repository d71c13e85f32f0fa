#include "discovery/worker_pool.h"

#include <exception>
#include <memory>
#include <utility>

WorkerPool::WorkerPool(ThreadStarter start_thread, std::chrono::milliseconds idle_limit)
    : start_thread_(std::move(start_thread)), idle_limit_(idle_limit) {}

WorkerPool::~WorkerPool() { Shutdown(); }

std::future<void> WorkerPool::Run(std::function<void()> work) {
  JoinRetired();
  Job job{std::move(work), {}};
  std::future<void> done = job.done.get_future();
  std::unique_lock<std::mutex> lock(mutex_);
  if (unclaimed_idle_ > 0) {
    --unclaimed_idle_;
    queue_.push_back(std::move(job));
    lock.unlock();
    work_given_.notify_one();
    return done;
  }
  lock.unlock();
  // The new worker takes this job along rather than from the queue, so that
  // when it cannot start nothing is left queued and the work never runs.
  auto first = std::make_shared<Job>(std::move(job));
  std::thread worker = start_thread_([this, first] { Serve(std::move(*first)); });
  lock.lock();
  workers_.push_back(std::move(worker));
  return done;
}

void WorkerPool::Shutdown() {
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    shutting_down_ = true;
    workers.swap(workers_);
  }
  work_given_.notify_all();
  for (std::thread& worker : workers) worker.join();
}

size_t WorkerPool::threads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return workers_.size();
}

void WorkerPool::Serve(Job job) {
  std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
  for (;;) {
    std::exception_ptr failure;
    try {
      job.work();
    } catch (...) {
      failure = std::current_exception();
    }
    job.work = nullptr;
    lock.lock();
    ++unclaimed_idle_;
    if (failure) {
      job.done.set_exception(failure);
    } else {
      job.done.set_value();
    }
    work_given_.wait_for(lock, idle_limit_, [this] { return !queue_.empty() || shutting_down_; });
    if (queue_.empty()) {
      --unclaimed_idle_;
      if (!shutting_down_) retired_.insert(std::this_thread::get_id());
      return;
    }
    job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
  }
}

void WorkerPool::JoinRetired() {
  std::vector<std::thread> ended;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end() && !retired_.empty();) {
      if (retired_.erase(it->get_id()) != 0) {
        ended.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (std::thread& worker : ended) worker.join();
}

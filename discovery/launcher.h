// How discovery starts its concurrent work. The sweep registry starts the
// workers of its pool with start_thread and hands its sweeps a start_task
// that runs each probe on that pool; a sweep run on its own starts its probes
// with the standard start_task, a std::async task with the async policy.
// Either way every probe of a batch is running before the sweep waits for the
// first. Tests substitute launchers that fail, to reach the paths where no
// thread can be started.
//
// A launcher is copied into whoever uses it and is called from the platform
// thread and from workers; the standard one has no state.
#ifndef RIVELO_DISCOVERY_LAUNCHER_H_
#define RIVELO_DISCOVERY_LAUNCHER_H_

#include <functional>
#include <future>
#include <thread>

struct Launcher {
  // Both may throw, std::system_error when no thread can be started.
  std::function<std::thread(std::function<void()>)> start_thread;
  std::function<std::future<void>(std::function<void()>)> start_task;
};

const Launcher& StandardLauncher();

#endif  // RIVELO_DISCOVERY_LAUNCHER_H_

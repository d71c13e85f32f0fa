// How discovery starts its concurrent work: one thread per sweep, one task per
// probe. The standard launcher starts a std::thread and a std::async task with
// the async policy, so every probe of a batch is running before the sweep
// waits for the first. Tests substitute launchers that fail, to reach the
// paths where the standard library cannot start a thread.
//
// A launcher is copied into whoever uses it and is called from the platform
// thread (threads) and from sweep threads (tasks); the standard one has no
// state.
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

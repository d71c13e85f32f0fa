#include "discovery/launcher.h"

const Launcher& StandardLauncher() {
  static const Launcher launcher{
      [](std::function<void()> work) { return std::thread(std::move(work)); },
      [](std::function<void()> work) { return std::async(std::launch::async, std::move(work)); },
  };
  return launcher;
}

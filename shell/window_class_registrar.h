// Registers the top-level window class once per process and unregisters it
// when the last window object is gone.
//
// A process-wide singleton, made on first use and never destroyed (so it
// cannot be torn down before the last window at exit). Main thread only.
#ifndef RIVELO_SHELL_WINDOW_CLASS_REGISTRAR_H_
#define RIVELO_SHELL_WINDOW_CLASS_REGISTRAR_H_

class WindowClassRegistrar {
 public:
  static WindowClassRegistrar* GetInstance();

  WindowClassRegistrar(const WindowClassRegistrar&) = delete;
  WindowClassRegistrar& operator=(const WindowClassRegistrar&) = delete;

  // Registers the class unless it is registered; returns its name. A failed
  // registration is not reported here: window creation fails instead.
  const wchar_t* EnsureRegistered();

  // Unregisters the class; a later EnsureRegistered registers it again.
  void Unregister();

 private:
  WindowClassRegistrar() = default;

  bool registered_{false};
};

#endif  // RIVELO_SHELL_WINDOW_CLASS_REGISTRAR_H_

// The application's plug-ins, one line each, in registration order
// (alphabetical by registrar name): RIVELO_PLUGIN(registrar name, library).
// The registrar name is the registration function's name without
// "RegisterWithRegistrar"; the library is the DLL's name without ".dll".
//
// The one list of them: the registrant expands it, the build reads it for the
// stand-in plug-ins and the import libraries, the integration test for the
// order it expects. Adding a plug-in is adding a line here.
RIVELO_PLUGIN(AutoUpdaterWindowsPluginCApi, auto_updater_windows_plugin)
RIVELO_PLUGIN(ConnectivityPlusWindowsPlugin, connectivity_plus_plugin)
RIVELO_PLUGIN(FileSelectorWindows, file_selector_windows_plugin)
RIVELO_PLUGIN(OpenDirWindowsPluginCApi, open_dir_windows_plugin)
RIVELO_PLUGIN(PrintingPlugin, printing_plugin)
RIVELO_PLUGIN(ScreenRetrieverWindowsPluginCApi, screen_retriever_windows_plugin)
RIVELO_PLUGIN(TrayManagerPlugin, tray_manager_plugin)
RIVELO_PLUGIN(UrlLauncherWindows, url_launcher_windows_plugin)
RIVELO_PLUGIN(WindowManagerPlugin, window_manager_plugin)
RIVELO_PLUGIN(WindowsSingleInstancePlugin, windows_single_instance_plugin)

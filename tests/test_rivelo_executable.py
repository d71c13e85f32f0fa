"""What rivelo.exe declares to the Windows loader: machine, subsystem, imports,
icon, manifest and version record. Reads the file only; nothing is run."""

import struct
import xml.etree.ElementTree as ElementTree

import pefile
import pytest

PLUGINS = [
    ("auto_updater_windows_plugin.dll", "AutoUpdaterWindowsPluginCApiRegisterWithRegistrar"),
    ("connectivity_plus_plugin.dll", "ConnectivityPlusWindowsPluginRegisterWithRegistrar"),
    ("file_selector_windows_plugin.dll", "FileSelectorWindowsRegisterWithRegistrar"),
    ("open_dir_windows_plugin.dll", "OpenDirWindowsPluginCApiRegisterWithRegistrar"),
    ("printing_plugin.dll", "PrintingPluginRegisterWithRegistrar"),
    ("screen_retriever_windows_plugin.dll", "ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar"),
    ("tray_manager_plugin.dll", "TrayManagerPluginRegisterWithRegistrar"),
    ("url_launcher_windows_plugin.dll", "UrlLauncherWindowsRegisterWithRegistrar"),
    ("window_manager_plugin.dll", "WindowManagerPluginRegisterWithRegistrar"),
    ("windows_single_instance_plugin.dll", "WindowsSingleInstancePluginRegisterWithRegistrar"),
]

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
LANG_EN_US = 0x0409


@pytest.fixture(scope="module")
def pe(windows_build):
    image = pefile.PE(str(windows_build / "rivelo.exe"))
    yield image
    image.close()


def imports(pe):
    return {entry.dll.decode().lower(): {i.name.decode() for i in entry.imports if i.name}
            for entry in pe.DIRECTORY_ENTRY_IMPORT}


def resources(pe, type_id):
    """{(name id, language): bytes} of one resource type."""
    found = {}
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != type_id:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found[(name.id, language.id)] = pe.get_data(data.OffsetToData, data.Size)
    return found


def test_is_a_64_bit_gui_program(pe):
    assert pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
    assert pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]


def test_links_engine_and_every_plugin_at_load_time(pe):
    table = imports(pe)
    assert {"FlutterDesktopViewControllerCreate", "FlutterDesktopGetDpiForMonitor",
            "FlutterDesktopResyncOutputStreams"} <= table.get("flutter_windows.dll", set())
    for library, function in PLUGINS:
        assert function in table.get(library, set()), f"{function} from {library}"


def test_icon_group_101_holds_one_256_pixel_32_bit_png(pe):
    groups = resources(pe, RT_GROUP_ICON)
    assert list(groups) == [(101, LANG_EN_US)]
    group = groups[(101, LANG_EN_US)]
    reserved, kind, count = struct.unpack_from("<HHH", group)
    assert (reserved, kind, count) == (0, 1, 1)
    width, height, _, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
    assert (width, height, bits) == (0, 0, 32), "0 means 256"

    image = resources(pe, RT_ICON)[(icon_id, LANG_EN_US)]
    assert len(image) == size
    assert image[:8] == b"\x89PNG\r\n\x1a\n"
    png_width, png_height, depth, colour_type = struct.unpack_from(">IIBB", image, 16)
    assert (png_width, png_height, depth, colour_type) == (256, 256, 8, 6), "8-bit RGBA"


def test_manifest_asks_for_invoker_level_and_per_monitor_v2(pe):
    manifests = resources(pe, RT_MANIFEST)
    assert len(manifests) == 1, "a second manifest would be ignored or conflict"
    root = ElementTree.fromstring(next(iter(manifests.values())))
    by_tag = {element.tag.split("}")[1]: element for element in root.iter()}
    level = by_tag["requestedExecutionLevel"]
    assert level.get("level") == "asInvoker"
    assert level.get("uiAccess") == "false"
    assert by_tag["dpiAwareness"].text.strip() == "PerMonitorV2"
    assert by_tag["supportedOS"].get("Id") == "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


def test_version_record(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    version = (0 << 48) | (1 << 32) | (11 << 16) | 12
    assert (fixed.FileVersionMS << 32) | fixed.FileVersionLS == version
    assert (fixed.ProductVersionMS << 32) | fixed.ProductVersionLS == version

    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                assert table.LangID == b"040904e4"
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translations.append(var.entry[b"Translation"])
    assert translations == ["0x0409 0x04e4"]
    copyright_text = strings.pop("LegalCopyright")
    assert copyright_text.strip()
    assert strings == {
        "CompanyName": "com.tarnok",
        "FileDescription": "rivelo",
        "FileVersion": "0.1.11+12",
        "InternalName": "rivelo",
        "OriginalFilename": "rivelo.exe",
        "ProductName": "rivelo",
        "ProductVersion": "0.1.11+12",
    }

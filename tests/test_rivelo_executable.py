"""What rivelo.exe declares to the Windows loader: a 64-bit GUI program with its
icon, manifest and version record. Reads the file only; nothing is run."""

import struct
import xml.etree.ElementTree as ElementTree

import pefile
import pytest

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24
LANG_EN_US = 0x0409


@pytest.fixture(scope="module")
def pe(windows_build):
    image = pefile.PE(str(windows_build / "rivelo.exe"))
    yield image
    image.close()


def resources(pe, type_id):
    """{(name id, language): bytes} of one resource type."""
    return {(name.id, language.id): pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
            for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries if kind.id == type_id
            for name in kind.directory.entries for language in name.directory.entries}


def test_a_64_bit_gui_program_with_icon_group_101_of_one_256_pixel_png(pe):
    assert pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_AMD64"]
    assert pe.OPTIONAL_HEADER.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"]
    groups = resources(pe, RT_GROUP_ICON)
    assert list(groups) == [(101, LANG_EN_US)]
    group = groups[(101, LANG_EN_US)]
    assert struct.unpack_from("<HHH", group) == (0, 1, 1), "one icon"
    width, height, _, _, _, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
    assert (width, height, bits) == (0, 0, 32), "0 means 256"
    image = resources(pe, RT_ICON)[(icon_id, LANG_EN_US)]
    assert len(image) == size and image[:8] == b"\x89PNG\r\n\x1a\n"
    assert struct.unpack_from(">IIBB", image, 16) == (256, 256, 8, 6), "256 x 256, 8-bit RGBA"


def test_manifest_asks_for_invoker_level_and_per_monitor_v2(pe):
    manifests = resources(pe, RT_MANIFEST)
    assert len(manifests) == 1, "a second manifest would be ignored or conflict"
    by_tag = {element.tag.split("}")[1]: element
              for element in ElementTree.fromstring(next(iter(manifests.values()))).iter()}
    level = by_tag["requestedExecutionLevel"]
    assert (level.get("level"), level.get("uiAccess")) == ("asInvoker", "false")
    assert by_tag["dpiAwareness"].text.strip() == "PerMonitorV2"
    assert by_tag["supportedOS"].get("Id") == "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"


def test_version_record(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    version = (0 << 48) | (1 << 32) | (11 << 16) | 12
    assert (fixed.FileVersionMS << 32) | fixed.FileVersionLS == version
    assert (fixed.ProductVersionMS << 32) | fixed.ProductVersionLS == version
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        for table in getattr(info, "StringTable", []):
            assert table.LangID == b"040904e4"
            strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        translations += [var.entry[b"Translation"] for var in getattr(info, "Var", [])]
    assert translations == ["0x0409 0x04e4"]
    assert strings.pop("LegalCopyright").strip()
    assert strings == {"CompanyName": "com.tarnok", "FileDescription": "rivelo", "FileVersion": "0.1.11+12",
                       "InternalName": "rivelo", "OriginalFilename": "rivelo.exe", "ProductName": "rivelo",
                       "ProductVersion": "0.1.11+12"}

#!/usr/bin/env python3
"""Compile update.rc with windres and check what the executable would carry.

Reads the compiled .res file entry by entry, so a resource under the wrong type, name or
language fails just as a wrong value does: Windows looks resources up by all three.
"""

import argparse
import struct
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

LANG_ZH_CN = 0x0804
LANG_EN_US = 0x0409
ICON_GROUP_ID = 101
VERSION_ID = 1
MANIFEST_ID = 1

VFT_APP = 0x1
VOS_NT_WINDOWS32 = 0x40004
CODEPAGE_UNICODE = 1200


def align4(n):
    return (n + 3) & ~3


def read_id(data, pos):
    """A resource type or name: an ordinal after 0xFFFF, or a NUL-terminated UTF-16 string."""
    (first,) = struct.unpack_from("<H", data, pos)
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, pos + 2)[0], pos + 4
    end = pos
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[pos:end].decode("utf-16-le"), end + 2


def read_res(data):
    entries = {}
    pos = 0
    while pos < len(data):
        size, header_size = struct.unpack_from("<II", data, pos)
        kind, after = read_id(data, pos + 8)
        name, after = read_id(data, after)
        after = align4(after)
        _, _, language = struct.unpack_from("<IHH", data, after)
        body = data[pos + header_size:pos + header_size + size]
        # A .res file opens with an empty entry of type 0 that only marks the format.
        if kind != 0:
            entries[(kind, name, language)] = body
        pos = align4(pos + header_size + size)
    return entries


def read_version_node(data, pos):
    """One node of the version tree: (key, value bytes, children, is_text)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, pos)
    end = pos + length
    key_start = pos + 6
    key_end = key_start
    while struct.unpack_from("<H", data, key_end)[0] != 0:
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    value_start = align4(key_end + 2)
    is_text = value_type == 1
    value_bytes = value_length * 2 if is_text else value_length
    value = data[value_start:min(value_start + value_bytes, end)]
    children = []
    child = align4(value_start + value_bytes)
    while child < end:
        node = read_version_node(data, child)
        children.append(node)
        child = align4(child + struct.unpack_from("<H", data, child)[0])
    return key, value, children, is_text


def text_of(value):
    return value.decode("utf-16-le").rstrip("\0")


class Checker:
    def __init__(self):
        self.failures = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition


def check_icon(checker, entries, icon_path):
    group = entries.get((RT_GROUP_ICON, ICON_GROUP_ID, LANG_ZH_CN))
    if not checker.expect(group is not None, "no icon group 101 in Chinese (Simplified)"):
        return
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    if not checker.expect((reserved, kind, count) == (0, 1, 1),
                          f"icon group should hold one icon, has header {reserved, kind, count}"):
        return
    width, height, _, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
    checker.expect((width, height, bits) == (64, 64, 32),
                   f"icon group entry is {width}x{height} at {bits} bits, expected 64x64 at 32")

    with open(icon_path, "rb") as f:
        ico = f.read()
    (offset,) = struct.unpack_from("<I", ico, 6 + 12)
    image = ico[offset:]
    stored = entries.get((RT_ICON, icon_id, LANG_ZH_CN))
    if checker.expect(stored is not None, f"icon image {icon_id} named by the group is missing"):
        checker.expect(stored == image and size == len(image),
                       f"icon image {icon_id} ({len(stored)} bytes) is not the image of "
                       f"{icon_path} ({len(image)} bytes)")


def check_version(checker, entries, version):
    block = entries.get((RT_VERSION, VERSION_ID, LANG_ZH_CN))
    if not checker.expect(block is not None, "no version information in Chinese (Simplified)"):
        return
    key, fixed, children, _ = read_version_node(block, 0)
    checker.expect(key == "VS_VERSION_INFO", f"version root is named {key!r}")

    numbers = [int(part) for part in version.split(".")]
    most = (numbers[0] << 16) | numbers[1]
    least = (numbers[2] << 16) | numbers[3]
    (signature, _, file_ms, file_ls, product_ms, product_ls, _, _, file_os, file_type, _, _,
     _) = struct.unpack_from("<13I", fixed, 0)
    checker.expect(signature == 0xFEEF04BD, f"fixed file info signature is {signature:#x}")
    checker.expect((file_ms, file_ls) == (most, least),
                   f"FILEVERSION is {file_ms:#010x},{file_ls:#010x}, expected {version}")
    checker.expect((product_ms, product_ls) == (most, least),
                   f"PRODUCTVERSION is {product_ms:#010x},{product_ls:#010x}, expected {version}")
    checker.expect(file_type == VFT_APP, f"FILETYPE is {file_type:#x}, expected VFT_APP")
    checker.expect(file_os == VOS_NT_WINDOWS32, f"FILEOS is {file_os:#x}, expected NT Win32")

    blocks = {child[0]: child for child in children}
    string_info = blocks.get("StringFileInfo")
    tables = {table[0]: table for table in string_info[2]} if string_info else {}
    table = tables.get("080404b0")
    if checker.expect(table is not None, f"no string table 080404b0, found {sorted(tables)}"):
        strings = {name: text_of(value) for name, value, _, is_text in table[2] if is_text}
        expected = {
            "FileVersion": version,
            "ProductVersion": version,
            "InternalName": "update.exe",
            "OriginalFilename": "update.exe",
        }
        for name, want in expected.items():
            checker.expect(strings.get(name) == want,
                           f"{name} is {strings.get(name)!r}, expected {want!r}")
        for name in ("CompanyName", "FileDescription", "ProductName", "LegalCopyright"):
            checker.expect(bool(strings.get(name)), f"{name} is missing or empty")

    var_info = blocks.get("VarFileInfo")
    translations = {var[0]: var[1] for var in var_info[2]} if var_info else {}
    want = struct.pack("<HH", LANG_ZH_CN, CODEPAGE_UNICODE)
    checker.expect(translations.get("Translation") == want,
                   f"Translation is {translations.get('Translation')!r}, expected 0x804, 1200")


def check_manifest(checker, entries, manifest_path):
    stored = entries.get((RT_MANIFEST, MANIFEST_ID, LANG_EN_US))
    if not checker.expect(stored is not None, "no manifest 1 in English (United States)"):
        return
    with open(manifest_path, "rb") as f:
        checker.expect(stored == f.read(), f"manifest resource differs from {manifest_path}")
    try:
        root = ElementTree.fromstring(stored)
    except ElementTree.ParseError as e:
        checker.expect(False, f"manifest is not well-formed XML: {e}")
        return
    levels = [element.attrib for element in root.iter()
              if element.tag.endswith("}requestedExecutionLevel")]
    checker.expect(levels == [{"level": "requireAdministrator", "uiAccess": "false"}],
                   f"requested execution levels are {levels}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--windres", required=True)
    parser.add_argument("--preprocessor", required=True)
    parser.add_argument("--rc", required=True)
    parser.add_argument("--include", action="append", default=[])
    parser.add_argument("--icon", required=True)
    parser.add_argument("--manifest", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    command = [args.windres, f"--preprocessor={args.preprocessor}", "--preprocessor-arg=-E",
               "--preprocessor-arg=-xc", "--preprocessor-arg=-DRC_INVOKED",
               "--input-format=rc", "--output-format=res"]
    for directory in args.include:
        command += ["-I", directory]
    command += [args.rc, args.output]
    compiled = subprocess.run(command)
    if compiled.returncode != 0:
        print(f"windres failed with exit code {compiled.returncode}", file=sys.stderr)
        return 1

    with open(args.output, "rb") as f:
        entries = read_res(f.read())

    checker = Checker()
    check_icon(checker, entries, args.icon)
    check_version(checker, entries, args.version)
    check_manifest(checker, entries, args.manifest)
    unexpected = sorted(key for key in entries
                        if key[0] not in (RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST))
    checker.expect(not unexpected, f"unexpected resources (type, name, language): {unexpected}")

    for failure in checker.failures:
        print(failure, file=sys.stderr)
    if checker.failures:
        return 1
    print(f"{args.rc}: icon group, version {args.version} and manifest as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())

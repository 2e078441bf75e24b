#!/usr/bin/env python3
"""Checks what a user downloads: QueldaSetup.exe is a PE32 GUI program for
i386 that imports only system DLLs, carries its manifest (system DPI aware),
icon, dialog and version resource (the values the build passed), and exports
the cJSON functions under their own names."""
import argparse
import re
import struct
import subprocess
import sys

import pefile

SYSTEM_DLLS = {
    'kernel32.dll', 'user32.dll', 'gdi32.dll', 'msvcrt.dll', 'comctl32.dll', 'wininet.dll',
    'gdiplus.dll', 'psapi.dll', 'version.dll', 'shell32.dll', 'ole32.dll', 'oleaut32.dll',
    'advapi32.dll', 'shlwapi.dll', 'comdlg32.dll', 'crypt32.dll', 'bcrypt.dll',
}
CJSON_EXPORTS = {
    'cJSON_Parse', 'cJSON_ParseWithOpts', 'cJSON_Print', 'cJSON_PrintUnformatted', 'cJSON_Delete',
    'cJSON_Version', 'cJSON_CreateObject', 'cJSON_CreateString', 'cJSON_AddItemToObject',
    'cJSON_GetObjectItem', 'cJSON_GetArraySize', 'cJSON_IsString', 'cJSON_Minify',
}
SUPPORTED_OS = [
    '35138b9a-5d96-4fbd-8e2d-a2440225f93a',  # Windows 7
    '4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38',  # Windows 8
    '1f676c76-80e1-4239-95bb-83d0f6d0da78',  # Windows 8.1
    '8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a',  # Windows 10 and 11
]

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def version_resource(exe):
    """The fixed part's file and product versions and the string table of the
    one language block, as text."""
    pe = pefile.PE(exe, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_RESOURCE']])
    if not getattr(pe, 'VS_FIXEDFILEINFO', None):
        return None, None, {}
    fixed = pe.VS_FIXEDFILEINFO[0]

    def dotted(ms, ls):
        return '%d.%d.%d.%d' % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    strings = {}
    for info in pe.FileInfo[0]:
        for table in getattr(info, 'StringTable', []):
            strings[table.LangID.decode()] = {
                k.decode(): v.decode() for k, v in table.entries.items()}
    return (dotted(fixed.FileVersionMS, fixed.FileVersionLS),
            dotted(fixed.ProductVersionMS, fixed.ProductVersionLS), strings)


def check_version(exe, version, company, copyright):
    file_version, product_version, tables = version_resource(exe)
    check(file_version == version, 'FILEVERSION %s, not %s' % (version, file_version))
    check(product_version == version, 'PRODUCTVERSION %s, not %s' % (version, product_version))
    # Simplified Chinese, UTF-16: the language of the setup's dialogs.
    check(list(tables) == ['080404b0'], 'one string table 080404b0, not %s' % list(tables))
    expected = {
        'CompanyName': company,
        'FileDescription': 'Quelda Manager 安装程序',
        'FileVersion': version,
        'InternalName': 'QueldaSetup',
        'LegalCopyright': copyright,
        'OriginalFilename': 'QueldaSetup.exe',
        'ProductName': 'Quelda Manager',
        'ProductVersion': version,
    }
    strings = tables.get('080404b0', {})
    for name, value in expected.items():
        check(strings.get(name) == value, '%s "%s", not "%s"' % (name, value, strings.get(name)))


def main(exe, objdump, version, company, copyright):
    data = open(exe, 'rb').read()
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    check(data[:2] == b'MZ' and data[pe:pe + 4] == b'PE\0\0', 'a PE file')
    machine = struct.unpack_from('<H', data, pe + 4)[0]
    magic, = struct.unpack_from('<H', data, pe + 24)
    subsystem, = struct.unpack_from('<H', data, pe + 24 + 68)
    check(machine == 0x14C, 'machine i386 (0x14c), not 0x%x' % machine)
    check(magic == 0x10B, 'PE32 optional header (0x10b), not 0x%x' % magic)
    check(subsystem == 2, 'GUI subsystem (2), not %d' % subsystem)

    dump = subprocess.run([objdump, '-p', exe], capture_output=True, text=True, check=True).stdout
    dlls = {m.lower() for m in re.findall(r'DLL Name: (\S+)', dump)}
    check(dlls and dlls <= SYSTEM_DLLS, 'imports only system DLLs: %s' % sorted(dlls - SYSTEM_DLLS))
    exports = set(re.findall(r'^\s*\[\s*\d+\]\s+(\S+)$', dump, re.M))
    check(CJSON_EXPORTS <= exports, 'cJSON exports: missing %s' % sorted(CJSON_EXPORTS - exports))
    check(not any('@' in e for e in exports), 'undecorated export names')

    check(b'level="asInvoker"' in data, 'manifest asks for asInvoker')
    check(re.search(rb'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"', data),
          'manifest depends on common controls 6')
    for guid in SUPPORTED_OS:
        check(guid.encode() in data, 'manifest supports OS %s' % guid)
    # System aware: Windows draws it at the system's DPI itself instead of
    # stretching a 96-DPI bitmap of it.
    check(re.search(rb'<dpiAware[^>]*>\s*true\s*</dpiAware>', data), 'manifest: dpiAware true')
    check(b'<dpiAwareness' not in data, 'manifest: no dpiAwareness (it would override dpiAware)')
    check_version(exe, version, company, copyright)

    rc = subprocess.run([objdump.replace('objdump', 'windres'), '-i', exe, '-O', 'rc'],
                        capture_output=True, text=True, errors='replace')
    check(rc.returncode == 0, 'resources readable: ' + rc.stderr)
    check(re.search(r'^128 14 /\* RT_GROUP_ICON', rc.stdout, re.M), 'icon 128')
    check(re.search(r'^128 DIALOGEX', rc.stdout, re.M), 'dialog 128')
    download = re.search(r'^132 DIALOGEX.*?^END', rc.stdout, re.M | re.S)
    check(download and re.search(r'\b32516, -1, .*, 7, 71, 18, 15$', download.group(0), re.M),
          'information icon of dialog 132 at 7, 71, 18, 15')

    print('%s: %d bytes, imports %s, %d exports' % (exe, len(data), ', '.join(sorted(dlls)),
                                                     len(exports)))
    for f in failures:
        print('FAILED: ' + f)
    return 1 if failures else 0


if __name__ == '__main__':
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('exe')
    parser.add_argument('objdump')
    parser.add_argument('--version', required=True, help='the setup version, four numbers')
    parser.add_argument('--company-name', required=True)
    parser.add_argument('--copyright', required=True)
    args = parser.parse_args()
    sys.exit(main(args.exe, args.objdump, args.version, args.company_name, args.copyright))

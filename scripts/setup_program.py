"""Says why a file is not a Setup.exe of this program: a 32-bit Windows GUI program carrying its dialog 141
and its version information. Prints nothing when it is one.
Usage: /usr/bin/python3 scripts/setup_program.py FILE (Debian's python3-pefile)"""

import sys

import pefile

MACHINE_I386 = 0x014C
SUBSYSTEM_WINDOWS_GUI = 2
RT_DIALOG = 5
DIALOG_CONFIG = 141
VERSION_STRINGS = {"OriginalFilename": "Setup.exe", "ProductName": "Solvarn ЭЦП Browser plug-in"}


def resource_ids(image, type_id):
    resources = getattr(image, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in resources.entries if resources else []:
        if entry.id == type_id:
            return {name.id for name in entry.directory.entries}
    return set()


def version_strings(image):
    strings = {}
    for info in image.FileInfo[0] if getattr(image, "FileInfo", None) else []:
        for table in getattr(info, "StringTable", []):
            strings.update({key.decode(): value.decode() for key, value in table.entries.items()})
    return strings


def why_not(path):
    try:
        image = pefile.PE(path)
    except (pefile.PEFormatError, OSError) as error:
        return f"not a Windows program ({error})"
    if image.FILE_HEADER.Machine != MACHINE_I386:
        return f"not a 32-bit (x86) Windows program (machine 0x{image.FILE_HEADER.Machine:04X})"
    if image.OPTIONAL_HEADER.Subsystem != SUBSYSTEM_WINDOWS_GUI:
        return f"not a Windows GUI program (subsystem {image.OPTIONAL_HEADER.Subsystem})"
    strings = version_strings(image)
    if DIALOG_CONFIG not in resource_ids(image, RT_DIALOG) or any(
            strings.get(key) != value for key, value in VERSION_STRINGS.items()):
        return "not this program's Setup.exe (no dialog 141 or version information of Setup.exe)"
    return ""


if __name__ == "__main__":
    reason = why_not(sys.argv[1])
    if reason:
        print(reason)

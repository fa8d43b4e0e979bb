"""Says why a file is not a Setup.exe of this program: a 32-bit Windows GUI program carrying its dialog 141
and its version information; with --version, also carrying that version (a release's); with --distcheck,
why it is not the distribution check for Windows: a 32-bit Windows console program, not a DLL, that prints
a "verdict: " line, and not Setup.exe. Prints nothing when it is one.
Usage: /usr/bin/python3 scripts/setup_program.py [--distcheck | --version VERSION] FILE (Debian's python3-pefile)"""

import sys

import pefile

MACHINE_I386 = 0x014C
SUBSYSTEM_WINDOWS_GUI = 2
SUBSYSTEM_WINDOWS_CUI = 3
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


# The line every report of the distribution check ends with, as the program holds it (wide characters).
VERDICT = "verdict: ".encode("utf-16-le")


def is_setup(image):
    strings = version_strings(image)
    return DIALOG_CONFIG in resource_ids(image, RT_DIALOG) and all(
        strings.get(key) == value for key, value in VERSION_STRINGS.items())


def fixed_versions(image):
    """The file and product versions of the fixed part of the version resource, as dotted texts."""
    fixed = image.VS_FIXEDFILEINFO[0] if getattr(image, "VS_FIXEDFILEINFO", None) else None
    if fixed is None:
        return None, None
    return tuple(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}" for ms, ls in
                 ((fixed.FileVersionMS, fixed.FileVersionLS), (fixed.ProductVersionMS, fixed.ProductVersionLS)))


def why_not_version(image, version):
    """A release's Setup.exe carries the release's version in every place Windows shows one."""
    padded = ".".join((version.split(".") + ["0"] * 4)[:4])
    strings = version_strings(image)
    carried = {"file version": fixed_versions(image)[0], "product version": fixed_versions(image)[1],
               "FileVersion": strings.get("FileVersion"), "ProductVersion": strings.get("ProductVersion")}
    wanted = {"file version": padded, "product version": padded, "FileVersion": version, "ProductVersion": version}
    wrong = [f"{key} {carried[key]}" for key in wanted if carried[key] != wanted[key]]
    return f"not of release {version} (its version resource holds {', '.join(wrong)})" if wrong else ""


def why_not(path, subsystem, version=None):
    try:
        image = pefile.PE(path)
    except (pefile.PEFormatError, OSError) as error:
        return f"not a Windows program ({error})"
    if image.FILE_HEADER.Machine != MACHINE_I386:
        return f"not a 32-bit (x86) Windows program (machine 0x{image.FILE_HEADER.Machine:04X})"
    if image.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_DLL"]:
        return "a DLL, not a program"
    if image.OPTIONAL_HEADER.Subsystem != subsystem:
        kind = "GUI" if subsystem == SUBSYSTEM_WINDOWS_GUI else "console"
        return f"not a Windows {kind} program (subsystem {image.OPTIONAL_HEADER.Subsystem})"
    if subsystem == SUBSYSTEM_WINDOWS_GUI and not is_setup(image):
        return "not this program's Setup.exe (no dialog 141 or version information of Setup.exe)"
    if version is not None:
        return why_not_version(image, version)
    if subsystem == SUBSYSTEM_WINDOWS_CUI and (is_setup(image) or bytes(image.__data__).find(VERDICT) < 0):
        return "not the distribution check (no verdict line, or this program's Setup.exe)"
    return ""


if __name__ == "__main__":
    distcheck = sys.argv[1] == "--distcheck"
    version = sys.argv[2] if sys.argv[1] == "--version" else None
    reason = why_not(sys.argv[-1], SUBSYSTEM_WINDOWS_CUI if distcheck else SUBSYSTEM_WINDOWS_GUI, version)
    if reason:
        print(reason)

"""What a release hands to deployment agents, read from the release's own packages: the detection rule,
Intune's win32LobApp definition, ConfigMgr's deployment type in words, the release's zip and its winget
manifests. Nothing in them is typed per release.

Usage (/usr/bin/python3: Debian's python3-gi with libmsi's bindings, python3-yaml):
  agent_files.py version PACKAGE...       prints the ProductVersion all the packages hold, once they are
                                          found to make a release that a rule can detect
  agent_files.py folder FOLDER REPORT     writes intune-win32app.json and configmgr.txt into the release
                                          folder FOLDER and prints the rule's lines for its notes
  agent_files.py zip FOLDER ZIP           FOLDER's files in ZIP: the same files give the same bytes
  agent_files.py winget FOLDER REPORT ZIP URL OUT
                                          the manifests of ZIP, downloaded from URL, into the folder OUT
REPORT is scripts/distcheck's report of FOLDER, whose "Installed products" name the package Setup.exe
installs on each platform: the check runs the program's own search, so its picks are the program's.
Each ends with 1 and one line naming the reason when the packages cannot give what it writes."""

import hashlib
import json
import locale
import re
import sys
import zipfile
from dataclasses import dataclass
from pathlib import Path

import gi
import yaml

gi.require_version("Libmsi", "1.0")
from gi.repository import GLib, Libmsi  # noqa: E402

# The feature that holds the plug-in: the rule looks for a file it installs.
PLUGIN_FEATURE = "PLUGVEX"
# Where each platform's package installs, and how an agent names it. An x64 package's folder is the
# 64-bit Program Files, which an agent expands %ProgramFiles% to in its 64-bit view; the x86 package is
# installed only on 32-bit Windows (Setup.exe takes the x64 one on 64-bit Windows), where %ProgramFiles%
# is its folder whatever the 32-bit flag says. So one rule, without the flag, detects both.
PLATFORMS = ("x86", "x64")
PROGRAM_FILES = {"x86": "ProgramFilesFolder", "x64": "ProgramFiles64Folder"}
AGENT_PROGRAM_FILES = "%ProgramFiles%"
CHECK_32BIT_ON_64BIT = False
TEMPLATE_PLATFORMS = {"Intel": "x86", "x64": "x64"}
# The distribution check's names of the platforms, as agents name them.
REPORT_PLATFORMS = {"x64": "x64", "win32": "x86"}

INSTALL_COMMAND = 'Setup.exe -quiet -log "%SystemRoot%\\Temp\\plugin-setup.log"'
UNINSTALL_COMMAND = "Setup.exe -quiet -uninstall"
SETUP_FILE = "Setup.exe"
# Intune's Win32 apps need Windows 10 1607; Setup.exe itself runs from Windows 2000 SP4 on.
INTUNE_MINIMUM_RELEASE = "1607"
# The default return codes of a Win32 app in Intune and of a deployment type in ConfigMgr.
RETURN_CODES = [(0, "success", "Success"), (1707, "success", "Success"), (3010, "softReboot", "Soft Reboot"),
                (1641, "hardReboot", "Hard Reboot"), (1618, "retry", "Fast Retry")]

WINGET_IDENTIFIER = "Solvarn.BrowserPlugin"
WINGET_MANIFEST_VERSION = "1.12.0"
WINGET_LICENSE = "Proprietary"
WINGET_RETURN_CODES = [(1638, "alreadyInstalled"), (1639, "invalidParameter"), (1618, "installInProgress"),
                       (3010, "rebootRequiredToFinish")]
WINGET_ARCHITECTURES = {"x86": "x86", "x64": "x64"}

INTUNE_FILE = "intune-win32app.json"
CONFIGMGR_FILE = "configmgr.txt"
# The zip's entries all carry the earliest time a zip can hold.
ZIP_TIME = (1980, 1, 1, 0, 0, 0)

VERSION = re.compile(r"\d+(\.\d+){0,3}")


class Refusal(Exception):
    pass


@dataclass(frozen=True)
class PluginFile:
    folder: str  # below the platform's Program Files, "\"-separated
    name: str
    version: str


@dataclass(frozen=True)
class Package:
    name: str
    platform: str
    product_code: str
    upgrade_code: str
    version: str
    product_name: str
    manufacturer: str
    language: int
    plugin: PluginFile


def read_rows(database, table, columns):
    """Every row of a table as a tuple of strings; none when the package has no such table."""
    try:
        query = Libmsi.Query.new(database, "SELECT " + ", ".join(f"`{c}`" for c in columns) + f" FROM `{table}`")
        query.execute(None)
    except GLib.Error:
        return []
    found = []
    while (record := query.fetch()) is not None:
        found.append(tuple(record.get_string(i + 1) or "" for i in range(len(columns))))
    return found


def long_name(default_dir):
    """The target name of a Directory's DefaultDir or a File's FileName ("short|long", "target:source")."""
    return default_dir.split(":")[0].split("|")[-1]


def read_plugin_file(database, platform):
    """The versioned file the plug-in feature installs, as the key path of one of its components."""
    components = {c for feature, c in read_rows(database, "FeatureComponents", ["Feature_", "Component_"])
                  if feature == PLUGIN_FEATURE}
    files = {key: (component, name, version) for key, component, name, version in
             read_rows(database, "File", ["File", "Component_", "FileName", "Version"])}
    found = []
    for component, directory, attributes, key_path in read_rows(
            database, "Component", ["Component", "Directory_", "Attributes", "KeyPath"]):
        # A registry or ODBC key path names no file; a companion file's Version names another file.
        if component in components and not int(attributes or 0) & 0x24 and key_path in files:
            owner, name, version = files[key_path]
            if owner == component and VERSION.fullmatch(version):
                found.append((directory, long_name(name), version))
    if len(found) != 1:
        raise Refusal(f"the {PLUGIN_FEATURE} feature installs {len(found)} versioned files as key paths "
                      f"(a detection rule needs one)")
    directory, name, version = found[0]
    return PluginFile(read_folder_below(database, directory, PROGRAM_FILES[platform]), name, version)


def read_folder_below(database, directory, root):
    """The directory's path below the root folder property, refused where the package may move it."""
    parents = {key: (parent, long_name(default)) for key, parent, default in
               read_rows(database, "Directory", ["Directory", "Directory_Parent", "DefaultDir"])}
    # A property of a folder on the way that a custom action or a search sets puts the file elsewhere.
    moved = {source for _, kind, source in read_rows(database, "CustomAction", ["Action", "Type", "Source"])
             if int(kind or 0) & 0x3F in (35, 51)}
    moved |= {prop for prop, _ in read_rows(database, "AppSearch", ["Property", "Signature_"])}
    names, key = [], directory
    for _ in range(len(parents)):
        if key == root:
            return "\\".join(reversed(names))
        if key not in parents or key in moved:
            break
        parent, name = parents[key]
        if name != ".":
            names.append(name)
        key = parent
    raise Refusal(f"the plug-in file's folder {directory} is not a fixed folder below {root}")


def read_package(path):
    try:
        database = Libmsi.Database.new(str(path), Libmsi.DbFlags.READONLY, None)
        template = Libmsi.SummaryInfo.new(database, 0).get_string(Libmsi.Property.TEMPLATE)
    except GLib.Error as error:
        raise Refusal(f"{path.name} cannot be read as a package ({error.message})")
    platform = TEMPLATE_PLATFORMS.get(template.split(";")[0])
    if platform is None:
        raise Refusal(f"{path.name} is built for {template}, not for x86 or x64")
    properties = dict(read_rows(database, "Property", ["Property", "Value"]))
    try:
        plugin = read_plugin_file(database, platform)
    except Refusal as refusal:
        raise Refusal(f"{path.name}: {refusal}")
    return Package(path.name, platform, properties.get("ProductCode", ""), properties.get("UpgradeCode", ""),
                   properties.get("ProductVersion", ""), properties.get("ProductName", ""),
                   properties.get("Manufacturer", ""), int(properties.get("ProductLanguage") or 0), plugin)


def fields(version):
    return [int(field) for field in version.split(".")]


def agreed_version(packages):
    versions = sorted({package.version for package in packages})
    if len(versions) != 1:
        raise Refusal("the packages are of more than one version: " +
                      ", ".join(f"{p.name} {p.version}" for p in packages))
    if not VERSION.fullmatch(versions[0]):
        raise Refusal(f"the packages' ProductVersion {versions[0]!r} is not dotted numbers")
    return versions[0]


@dataclass(frozen=True)
class Release:
    version: str
    plugin: PluginFile
    installed: dict  # platform: the Package Setup.exe installs there

    @property
    def named(self):
        """The package whose names Programs and Features shows: both platforms install one product."""
        return self.installed["x64"]


def packages_in(folder):
    """The release's packages: the .msi files directly in its folder, as Setup.exe looks for them."""
    return [path for path in sorted(Path(folder).iterdir()) if path.is_file() and path.suffix.lower() == ".msi"]


def installed_packages(report):
    """The package file the distribution check's report says Setup.exe installs, by platform."""
    installed, section = {}, False
    for line in Path(report).read_text(encoding="utf-8").splitlines():
        section = line.startswith("Installed products") or (section and line.startswith(" "))
        named = re.fullmatch(r"  (\S+) +Package (.+)", line)
        if section and named and named[1] in REPORT_PLATFORMS:
            installed[REPORT_PLATFORMS[named[1]]] = named[2]
    return installed


def read_release(paths, installed_names=None):
    """The release the packages make: one version, one plug-in file for both platforms, and with the
    names of the packages Setup.exe installs, those packages."""
    packages = [read_package(Path(path)) for path in paths]
    if not packages:
        raise Refusal("no package")
    version = agreed_version(packages)
    plugins = {package.plugin for package in packages}
    if len(plugins) != 1:
        raise Refusal("the packages install different plug-in files, which one rule cannot detect: " +
                      "; ".join(f"{p.name} {p.plugin.folder}\\{p.plugin.name} {p.plugin.version}" for p in packages))
    plugin = plugins.pop()
    # An older release's rule must still hold after a newer release is installed: the file's version
    # grows with the product's.
    if fields(plugin.version)[:len(fields(version))] != fields(version):
        raise Refusal(f"the plug-in file's version {plugin.version} does not follow the product's {version}")
    installed = {}
    for platform in PLATFORMS if installed_names is not None else ():
        # The names of several files that read the same are listed with commas; any of them will do.
        named = installed_names.get(platform, "")
        picked = [p for p in packages if p.platform == platform and (named == p.name or named.startswith(p.name + ", "))]
        if not picked:
            raise Refusal(f"the distribution check names no {platform} package beside Setup.exe that it installs")
        installed[platform] = picked[0]
    return Release(version, plugin, installed)


def detection_rule(release):
    return {
        "@odata.type": "#microsoft.graph.win32LobAppFileSystemRule",
        "ruleType": "detection",
        "path": "\\".join(filter(None, (AGENT_PROGRAM_FILES, release.plugin.folder))),
        "fileOrFolderName": release.plugin.name,
        "check32BitOn64System": CHECK_32BIT_ON_64BIT,
        "operationType": "version",
        "operator": "greaterThanOrEqual",
        "comparisonValue": release.plugin.version,
    }


def intune_app(release):
    return {
        "@odata.type": "#microsoft.graph.win32LobApp",
        "displayName": release.named.product_name,
        "description": f"{release.named.product_name}, installed by Setup.exe from the package of the platform",
        "publisher": release.named.manufacturer,
        "installCommandLine": INSTALL_COMMAND,
        "uninstallCommandLine": UNINSTALL_COMMAND,
        "applicableArchitectures": ",".join(PLATFORMS),
        "minimumSupportedWindowsRelease": INTUNE_MINIMUM_RELEASE,
        "setupFilePath": SETUP_FILE,
        "installExperience": {
            "@odata.type": "#microsoft.graph.win32LobAppInstallExperience",
            "runAsAccount": "system",
            "deviceRestartBehavior": "basedOnReturnCode",
        },
        "rules": [detection_rule(release)],
        "returnCodes": [{"@odata.type": "#microsoft.graph.win32LobAppReturnCode", "returnCode": code, "type": kind}
                        for code, kind, _ in RETURN_CODES],
    }


def rule_lines(release):
    rule = detection_rule(release)
    return [
        f"  file     {rule['path']}\\{rule['fileOrFolderName']}",
        f"  version  {rule['comparisonValue']} or later (greater than or equal)",
        "  32-bit application on 64-bit Windows: " + ("yes" if rule["check32BitOn64System"] else "no"),
    ]


def configmgr_text(release):
    lines = [
        f"{release.named.product_name} {release.version}: a ConfigMgr application",
        "",
        "Deployment type  Script Installer",
        "Content          this release folder, whole (Setup.exe takes the package of the platform beside it)",
        f"Installation program    {INSTALL_COMMAND}",
        f"Uninstall program       {UNINSTALL_COMMAND}",
        "Installation behavior   Install for system (runs as SYSTEM), whether or not a user is logged on;",
        "                        program visibility Hidden",
        "Detection method        File System, type File",
        f"  Path                  {detection_rule(release)['path']}",
        f"  File or folder name   {release.plugin.name}",
        "  Associated with a 32-bit application on 64-bit systems: " + ("yes" if CHECK_32BIT_ON_64BIT else "no"),
        f"  Rule                  Version, Greater than or equal to, {release.plugin.version}",
        "  (64-bit Windows gets the x64 package, in the 64-bit Program Files; 32-bit Windows the x86 one,",
        "  in its only Program Files: one clause detects both)",
        "Return codes (ConfigMgr's defaults; every other code is a failure)",
    ]
    lines += [f"  {code:<5} {name}" for code, _, name in RETURN_CODES]
    lines += ["  (1638, a newer version installed and nothing changed, is a failure unless you add it as Success)"]
    lines += ["", "Products (for inventory; detection does not use them):"]
    lines += [f"  {platform:<4} {p.product_code} ({p.name}), UpgradeCode {p.upgrade_code}"
              for platform, p in sorted(release.installed.items())]
    return "\n".join(lines) + "\n"


def write_folder(folder, report):
    release = read_release(packages_in(folder), installed_packages(report))
    text = json.dumps(intune_app(release), indent=2, ensure_ascii=False) + "\n"
    (Path(folder) / INTUNE_FILE).write_text(text, encoding="utf-8")
    (Path(folder) / CONFIGMGR_FILE).write_text(configmgr_text(release), encoding="utf-8")
    print("\n".join(rule_lines(release)))


def write_zip(folder, zip_path):
    """Entries in byte order of their paths, stored (no compressor's version can change the bytes), with
    one time and one mode each, so that the zip depends on the files alone."""
    folder = Path(folder)
    entries = sorted(folder.rglob("*"), key=lambda p: p.relative_to(folder).as_posix().encode())
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_STORED) as archive:
        for path in entries:
            name = path.relative_to(folder).as_posix()
            if path.is_dir():
                info = zipfile.ZipInfo(name + "/", ZIP_TIME)
                info.external_attr = 0o40755 << 16 | 0x10
                archive.writestr(info, b"")
            else:
                info = zipfile.ZipInfo(name, ZIP_TIME)
                info.external_attr = 0o100644 << 16
                archive.writestr(info, path.read_bytes())


def as_yaml(kind, data):
    schema = f"https://aka.ms/winget-manifest.{kind}.{WINGET_MANIFEST_VERSION}.schema.json"
    body = yaml.safe_dump(data, sort_keys=False, allow_unicode=True, default_flow_style=False, width=120)
    return f"# yaml-language-server: $schema={schema}\n" + body


def locale_name(language):
    name = locale.windows_locale.get(language)
    if name is None:
        raise Refusal(f"the package's ProductLanguage {language} names no locale")
    return name.replace("_", "-")


def winget_manifests(release, zip_path, url):
    sha256 = hashlib.sha256(Path(zip_path).read_bytes()).hexdigest().upper()
    head = {"PackageIdentifier": WINGET_IDENTIFIER, "PackageVersion": release.version}
    tail = {"ManifestVersion": WINGET_MANIFEST_VERSION}
    language = locale_name(release.named.language)
    installers = [{
        "Architecture": WINGET_ARCHITECTURES[platform],
        "InstallerUrl": url,
        "InstallerSha256": sha256,
        "AppsAndFeaturesEntries": [{
            "DisplayName": package.product_name,
            "Publisher": package.manufacturer,
            "DisplayVersion": package.version,
            "ProductCode": package.product_code,
            "UpgradeCode": package.upgrade_code,
            "InstallerType": "msi",
        }],
    } for platform, package in sorted(release.installed.items())]
    installer = {
        **head,
        "InstallerType": "zip",
        "NestedInstallerType": "exe",
        "NestedInstallerFiles": [{"RelativeFilePath": SETUP_FILE}],
        "Scope": "machine",
        "InstallModes": ["silent", "silentWithProgress"],
        "InstallerSwitches": {"Silent": "-quiet", "SilentWithProgress": "-quiet", "Log": '-log "<LOGPATH>"'},
        "ExpectedReturnCodes": [{"InstallerReturnCode": code, "ReturnResponse": response}
                                for code, response in WINGET_RETURN_CODES],
        "UpgradeBehavior": "install",
        "Installers": installers,
        "ManifestType": "installer",
        **tail,
    }
    default_locale = {
        **head,
        "PackageLocale": language,
        "Publisher": release.named.manufacturer,
        "PackageName": release.named.product_name,
        "License": WINGET_LICENSE,
        "ShortDescription":
            f"{release.named.product_name}: Setup.exe and the Windows Installer packages for x86 and x64",
        "ManifestType": "defaultLocale",
        **tail,
    }
    version = {**head, "DefaultLocale": language, "ManifestType": "version", **tail}
    return {
        f"{WINGET_IDENTIFIER}.installer.yaml": as_yaml("installer", installer),
        f"{WINGET_IDENTIFIER}.locale.{language}.yaml": as_yaml("defaultLocale", default_locale),
        f"{WINGET_IDENTIFIER}.yaml": as_yaml("version", version),
    }


def write_winget(folder, report, zip_path, url, out):
    manifests = winget_manifests(read_release(packages_in(folder), installed_packages(report)), zip_path, url)
    Path(out).mkdir()
    for name, text in manifests.items():
        (Path(out) / name).write_text(text, encoding="utf-8")


def main(argv):
    command, args = (argv[0], argv[1:]) if argv else ("", [])
    try:
        if command == "version" and args:
            print(read_release(args).version)
        elif command == "folder" and len(args) == 2:
            write_folder(*args)
        elif command == "zip" and len(args) == 2:
            write_zip(*args)
        elif command == "winget" and len(args) == 5:
            write_winget(*args)
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except Refusal as refusal:
        print(refusal)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

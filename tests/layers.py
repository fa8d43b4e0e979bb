"""Fails when a source file includes from a folder that layers.txt does not let its own folder touch:
the folders are layers, and each looks only down."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
ROW = re.compile(r"^((?:src|tools)/\w+):((?:\s*\w+\s*,)*\s*\w*\s*)$")
INCLUDE = re.compile(r'^\s*#\s*include\s+"(\w+)/', re.M)


def ReadRows(root, problems):
    rows = {}
    for number, line in enumerate((root / "layers.txt").read_text(encoding="utf-8").splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        if not (match := ROW.match(line.strip())):
            problems.append(f"layers.txt:{number} is not `folder: lower, folders`: {line!r}")
            continue
        folder, touches = match.groups()
        if folder in rows:
            problems.append(f"layers.txt:{number} gives {folder} a second row")
        rows[folder] = {word.strip() for word in touches.split(",") if word.strip()}
    return rows


def CheckNames(rows, problems):
    layers = {folder.split("/")[1]: folder for folder in rows if folder.startswith("src/")}
    for folder, touches in rows.items():
        for name in sorted(touches - layers.keys()):
            problems.append(f"{folder} may touch {name}, which is no folder of src/ with a row")
    return layers


def CheckNoLoop(rows, layers, problems):
    for folder in rows:
        seen, below = set(), [layers[name] for name in rows[folder] if name in layers]
        while below:
            lower = below.pop()
            if lower == folder:
                problems.append(f"{folder} lies below itself: the rows of layers.txt loop")
                break
            if lower not in seen:
                seen.add(lower)
                below += [layers[name] for name in rows[lower] if name in layers]


def CheckIncludes(root, rows, problems):
    for folder, touches in rows.items():
        own = folder.split("/")[1]
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for included in INCLUDE.findall(path.read_text(encoding="utf-8")):
                if included != own and included not in touches:
                    problems.append(f"{path.relative_to(root)} includes from {included}/, which {folder} may not touch")


def CheckEveryFolderHasRow(root, rows, problems):
    sources = {p.relative_to(root).parts[:2] for top in ("src", "tools") for p in (root / top).rglob("*")
               if p.suffix in (".h", ".cpp") and len(p.relative_to(root).parts) > 2}
    for folder in sorted("/".join(parts) for parts in sources):
        if folder not in rows:
            problems.append(f"{folder} has no row in layers.txt")


def main(root=ROOT):
    problems = []
    rows = ReadRows(root, problems)
    layers = CheckNames(rows, problems)
    CheckNoLoop(rows, layers, problems)
    CheckIncludes(root, rows, problems)
    CheckEveryFolderHasRow(root, rows, problems)
    print("\n".join(problems) or f"{len(rows)} folders include only from the layers below them")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT))

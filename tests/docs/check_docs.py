#!/usr/bin/env python3
"""Checks the documentation against the code.

exports  ROOT        every function a shared library exports is described: its
                     name (a C++ member's class) appears in a page of docs/, or
                     its declaration in a public header carries a comment.
readme   ROOT        README.md links every page of docs/.
settings ROOT QUARN  docs/settings.md lists the settings `quarn config list`
                     shows, with the same numbers, roots and types.
examples ROOT QUARN  every example command in docs/ ("$ " lines inside fenced
                     code blocks) runs as written: in bash, with the built quarn
                     first on PATH, in a fresh prefix that `quarn setup` made,
                     and exits with 0.
"""
import os
import pathlib
import re
import subprocess
import sys
import tempfile

HEADER_DIRS = ["nt/include", "lib/i18n/include", "lib/ks/include"]
EXPORT_LISTS = ["libquarnnt.exports", "libquarni18n.exports", "libquarnks.exports"]


def docs_text(root):
    return "\n".join(p.read_text() for p in sorted((root / "docs").glob("*.md")))


def exported_names(root):
    """(shown name, name to look for) of every exported function."""
    names = []
    for listing in EXPORT_LISTS:
        symbols = [s.split("@")[0] for s in (root / "tests/exports" / listing).read_text().split()]
        symbols = [s for s in symbols if s and not re.fullmatch(r"QUARN\w*_\d+", s)]
        mangled = [s for s in symbols if s.startswith("_Z")]
        plain = [s for s in symbols if not s.startswith("_Z")]
        names += [(s, s) for s in plain]
        if mangled:
            demangled = subprocess.run(["c++filt"], input="\n".join(mangled), capture_output=True, text=True,
                                       check=True).stdout.splitlines()
            for shown in demangled:
                if shown.startswith(("typeinfo ", "vtable ", "VTT ", "guard variable ")):
                    continue  # data the compiler makes for a class, not functions
                # A member is described where its class is; a free function by its own name.
                qualified = re.sub(r"<.*>|\[abi:\w+\]", "", shown.split("(")[0])
                parts = [p for p in qualified.split("::") if p not in ("i18n", "i18n_mime")]
                names.append((shown, parts[0] if len(parts) > 1 else parts[-1]))
    return names


def comment_heads_block(lines, i):
    """Whether the lines from the last blank one down to line i start with a comment."""
    while i > 0 and lines[i - 1].strip():
        i -= 1
        above = lines[i].strip()
        if above.endswith("*/") or above.startswith("//"):
            return True
    return False


def commented_in_headers(root):
    """Names declared in a block that a comment heads, or named inside a comment, in a public header."""
    found = set()
    for directory in HEADER_DIRS:
        for header in (root / directory).rglob("*.h"):
            lines = header.read_text().splitlines()
            for text in re.findall(r"/\*.*?\*/|//[^\n]*", header.read_text(), re.S):
                found.update(re.findall(r"\w+", text))
            for i, line in enumerate(lines):
                match = re.search(r"(?:class|struct)\s+(?:\w+\s+)?(\w+)\s*[:{]|(\w+)\s*\(", line)
                if not match:
                    continue
                if "//" in line or "/*" in line or comment_heads_block(lines, i):
                    found.add(match.group(1) or match.group(2))
    return found


def check_exports(root):
    docs = set(re.findall(r"\w+", docs_text(root)))
    described = docs | commented_in_headers(root)
    missing = sorted({shown for shown, name in exported_names(root) if name not in described})
    for shown in missing:
        print(f"not described in a header comment or in docs/: {shown}")
    return not missing


def check_readme(root):
    linked = set(re.findall(r"\]\((docs/[\w.-]+\.md)\)", (root / "README.md").read_text()))
    pages = {str(p.relative_to(root)) for p in (root / "docs").glob("*.md")}
    for page in sorted(pages - linked):
        print(f"README.md does not link {page}")
    for page in sorted(linked - pages):
        print(f"README.md links {page}, which does not exist")
    return linked == pages


def with_prefix(quarn, scratch):
    """The environment of a run of the built quarn in a fresh prefix that `quarn setup` made."""
    env = dict(os.environ, QUARN_PREFIX=os.path.join(scratch, "prefix"),
               PATH=str(pathlib.Path(quarn).resolve().parent) + os.pathsep + os.environ["PATH"])
    env.pop("QUARN_TRACE", None)
    subprocess.run([quarn, "setup"], env=env, check=True, capture_output=True)
    return env


def check_settings(root, quarn):
    text = (root / "docs/settings.md").read_text()
    table = text[text.index("## Product settings"):text.index("## Keys and values")]
    documented = {tuple(row) for row in re.findall(r"^\| (\d+) \| `(\w+)` \| (\w+) \| ([\w ]+?) \|", table, re.M)}
    with tempfile.TemporaryDirectory() as scratch:
        listed = subprocess.run([quarn, "config", "list"], env=with_prefix(quarn, scratch), check=True,
                                capture_output=True, text=True).stdout
    actual = {tuple(line.split("\t")[:4]) for line in listed.splitlines()}
    for row in sorted(actual - documented):
        print(f"docs/settings.md does not list {row}")
    for row in sorted(documented - actual):
        print(f"docs/settings.md lists {row}, which quarn config list does not show")
    return actual == documented


def example_commands(root):
    """(page, line number, command) of every "$ " line inside a fenced block."""
    for page in sorted((root / "docs").glob("*.md")) + [root / "README.md"]:
        fenced = False
        for number, line in enumerate(page.read_text().splitlines(), 1):
            stripped = line.strip()
            if stripped.startswith("```"):
                fenced = not fenced
            elif fenced and stripped.startswith("$ "):
                yield page.relative_to(root), number, stripped[2:]


def check_examples(root, quarn):
    ok = True
    with tempfile.TemporaryDirectory() as scratch:
        env = with_prefix(quarn, scratch)
        for page, number, command in example_commands(root):
            run = subprocess.run(["bash", "-c", "set -o pipefail; " + command], env=env, cwd=scratch,
                                 capture_output=True, text=True)
            if run.returncode != 0:
                ok = False
                print(f"{page}:{number}: `{command}` exited with {run.returncode}\n{run.stderr}")
    return ok


def main():
    what, root = sys.argv[1], pathlib.Path(sys.argv[2])
    if what == "exports":
        ok = check_exports(root)
    elif what == "readme":
        ok = check_readme(root)
    elif what == "settings":
        ok = check_settings(root, sys.argv[3])
    else:
        ok = check_examples(root, sys.argv[3])
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()

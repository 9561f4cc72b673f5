#!/usr/bin/env python3
"""Writes the package manifests for a sample address from the built release zip, reads them back
as winget and Scoop would (every YAML value as text), and checks that they agree with each other,
with the zip and with the addresses given.
Usage: Manifests.py SOURCE-DIR BUILD-DIR"""
import hashlib
import json
import pathlib
import subprocess
import sys
import tempfile

import yaml

PROGRAM_NAME = "vigilantmouse"  # instances know each other by these 13 characters, in any case


def winget_run_names(installer):
    """The file names winget starts the program under: the alias's, or else the file's own."""
    return [entry.get("PortableCommandAlias") or pathlib.PurePosixPath(entry["RelativeFilePath"]).stem
            for entry in installer["NestedInstallerFiles"]]


def scoop_launcher_names(manifest):
    """The names of the shims Scoop's "bin" writes: the alias where one is given, else the file's."""
    bins = manifest.get("bin", [])
    bins = [bins] if isinstance(bins, str) else bins
    return [entry[1] if isinstance(entry, list) and len(entry) > 1
            else pathlib.PureWindowsPath(entry[0] if isinstance(entry, list) else entry).stem
            for entry in bins]


def name_rule_faults(installer, scoop):
    """What breaks the toggle: a winget name another launch cannot find, or a Scoop shim that a
    launch would stop in place of the running copy."""
    return ([f"winget starts it as {name}" for name in winget_run_names(installer)
             if not name.lower().startswith(PROGRAM_NAME)] +
            [f"Scoop's launcher {name}.exe" for name in scoop_launcher_names(scoop)
             if name.lower().startswith(PROGRAM_NAME)])

source, build = map(pathlib.Path, sys.argv[1:3])
url = "https://downloads.example.org/vigilantmouse/1.0.0"
homepage = "https://example.org/vigilantmouse"
facts = dict(line.split("=", 1) for line in (build / "release-facts.txt").read_text().splitlines())
version, zip_name = facts["version"], facts["zip"]
zip_hash = hashlib.sha256((build / zip_name).read_bytes()).hexdigest()

with tempfile.TemporaryDirectory() as out:
    subprocess.run([source / "release/write-manifests", build, out, "--download-url", url,
                    "--homepage", homepage], check=True)
    folder = pathlib.Path(out)
    package = "VigilantMouse.VigilantMouse"
    winget = {}
    for kind, name in [("version", f"{package}.yaml"), ("defaultLocale", f"{package}.locale.en-US.yaml"),
                       ("installer", f"{package}.installer.yaml")]:
        text = (folder / name).read_text()
        schema = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.1.12.0.schema.json\n"
        assert text.startswith(schema), f"{name} does not start with {schema}"
        winget[kind] = yaml.load(text, Loader=yaml.BaseLoader)
        assert winget[kind]["ManifestType"] == kind and winget[kind]["ManifestVersion"] == "1.12.0", name
        assert winget[kind]["PackageIdentifier"] == package, name
        assert winget[kind]["PackageVersion"] == version, name
    scoop = json.loads((folder / "vigilantmouse.json").read_text())

installer = winget["installer"]["Installers"]
assert [i["Architecture"] for i in installer] == ["x64"], installer
# 64-bit only: Scoop offers the zip to no 32-bit Windows.
assert list(scoop["architecture"]) == ["64bit"] and "url" not in scoop, scoop
scoop_zip = scoop["architecture"]["64bit"]
assert installer[0]["InstallerUrl"] == scoop_zip["url"] == f"{url}/{zip_name}", (installer, scoop_zip)
assert installer[0]["InstallerSha256"] == zip_hash.upper(), installer
assert scoop_zip["hash"] == zip_hash, scoop_zip["hash"]
assert scoop["version"] == version, scoop["version"]
assert winget["defaultLocale"]["PackageUrl"] == scoop["homepage"] == homepage
assert winget["installer"]["NestedInstallerFiles"][0]["RelativeFilePath"] == "VigilantMouse.exe"
assert scoop["shortcuts"] == [["VigilantMouse.exe", "VigilantMouse"]], scoop["shortcuts"]
assert name_rule_faults(winget["installer"], scoop) == [], name_rule_faults(winget["installer"], scoop)
# The rule refuses what the package managers would break it with, in any letter case.
def alias(name):
    return {"NestedInstallerFiles": [{"RelativeFilePath": "VigilantMouse.exe", "PortableCommandAlias": name}]}
assert name_rule_faults(alias("vm"), scoop) == ["winget starts it as vm"]
assert name_rule_faults(alias("vigilantmouse"), scoop) == []
assert name_rule_faults(winget["installer"], {"bin": "VigilantMouse.exe"}) == ["Scoop's launcher VigilantMouse.exe"]
assert name_rule_faults(winget["installer"], {"bin": [["VigilantMouse.exe", "vigilantmouse"]]}) == \
    ["Scoop's launcher vigilantmouse.exe"]
assert name_rule_faults(winget["installer"], {"bin": [["VigilantMouse.exe", "vm"]]}) == []
print(f"winget and Scoop manifests agree: {package} {version}, {url}/{zip_name}, {zip_hash}")

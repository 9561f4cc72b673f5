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

source, build = map(pathlib.Path, sys.argv[1:3])
url = "https://downloads.example.org/vigilantmouse/1.0.0"
homepage = "https://example.org/vigilantmouse"
version = next(line.split("=", 1)[1] for line in (build / "CMakeCache.txt").read_text().splitlines()
               if line.startswith("CMAKE_PROJECT_VERSION:"))
zip_name = f"VigilantMouse-{version}-win64.zip"
zip_hash = hashlib.sha256((build / zip_name).read_bytes()).hexdigest()

with tempfile.TemporaryDirectory() as out:
    subprocess.run([source / "scripts/write-manifests", build, out, "--download-url", url,
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
assert installer[0]["InstallerUrl"] == scoop["url"] == f"{url}/{zip_name}", (installer, scoop["url"])
assert installer[0]["InstallerSha256"] == zip_hash.upper(), installer
assert scoop["hash"] == zip_hash, scoop["hash"]
assert scoop["version"] == version, scoop["version"]
assert winget["defaultLocale"]["PackageUrl"] == scoop["homepage"] == homepage
assert winget["installer"]["NestedInstallerFiles"][0]["RelativeFilePath"] == scoop["bin"] == "VigilantMouse.exe"
print(f"winget and Scoop manifests agree: {package} {version}, {url}/{zip_name}, {zip_hash}")

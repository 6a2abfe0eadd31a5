#!/usr/bin/env python3
"""The package manifest that the build writes beside the installer: each file valid
against the package manager's schema, its hash the signed installer's, its version the
product's, its exit codes the ones that product/exit_codes.h lists and README.md
documents; and the generator refuses what it must not write.

Usage: winget_manifest_test.py <manifest folder> <installer> <version> <source folder>
"""

import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile

import jsonschema
import yaml

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def readme_exit_codes(readme, heading):
    """The codes in the first column of the first table after the line that starts with `heading`."""
    with open(readme, encoding="utf-8") as f:
        lines = f.read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith(heading))
    codes = set()
    in_table = False
    for line in lines[start + 1:]:
        if line.startswith("|"):
            in_table = True
            cell = line.split("|")[1].strip()
            if re.fullmatch(r"-?\d+", cell):
                codes.add(int(cell))
        elif in_table:
            break
    return codes


def main():
    folder, installer, version, source = sys.argv[1:5]
    schemas = os.path.join(source, "tests", "tools", "data", "winget-schemas")
    identifier = "Ardenvale.Pelorium"
    files = {
        "version": identifier + ".yaml",
        "installer": identifier + ".installer.yaml",
        "defaultLocale": identifier + ".locale.en-US.yaml",
    }
    manifests = {}
    for kind, name in files.items():
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            manifest = yaml.safe_load(f)
        with open(os.path.join(schemas, f"manifest.{kind}.1.10.0.json"), encoding="utf-8") as f:
            schema = json.load(f)
        for error in jsonschema.Draft7Validator(schema).iter_errors(manifest):
            failures.append(f"{name}: {error.json_path}: {error.message}")
        check(manifest.get("ManifestType") == kind, f"{name}: ManifestType {manifest.get('ManifestType')}")
        check(manifest.get("PackageIdentifier") == identifier, f"{name}: PackageIdentifier")
        check(manifest.get("PackageVersion") == version, f"{name}: PackageVersion {manifest.get('PackageVersion')}")
        manifests[kind] = manifest

    setup = manifests["installer"]
    with open(installer, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    installers = setup.get("Installers", [])
    check(len(installers) == 1, "one installer")
    for entry in installers:
        check(entry["InstallerSha256"].lower() == digest, "InstallerSha256 is not the built installer's")
        check(entry["Architecture"] == "x86", "Architecture")
    entries = setup.get("AppsAndFeaturesEntries", [])
    check(len(entries) == 1 and entries[0].get("DisplayVersion") == version, "DisplayVersion")
    check(len(entries) == 1 and entries[0].get("ProductCode") == "Pelorium 7", "ProductCode")

    # Every code the manifest names is documented, and every code of the enum is named.
    listed = [entry["InstallerReturnCode"] for entry in setup.get("ExpectedReturnCodes", [])]
    check(len(set(listed)) == len(listed), f"a code listed twice: {listed}")
    documented = readme_exit_codes(os.path.join(source, "README.md"), "Exit codes, also for the wizard.")
    check(set(listed) <= documented, f"not in README.md: {sorted(set(listed) - documented)}")
    with open(os.path.join(source, "product", "exit_codes.h"), encoding="utf-8") as f:
        enum = f.read()
    body = re.search(r"enum class ExitCode\s*:\s*int\s*\{(.*?)\};", enum, re.S).group(1)
    codes = {int(value) for value in re.findall(r"=\s*(-?\d+)\s*,", re.sub(r"//[^\n]*", "", body))}
    check(set(listed) == codes - {0}, f"ExpectedReturnCodes {sorted(listed)} against ExitCode {sorted(codes)}")
    check(documented == codes, f"README.md documents {sorted(documented)}, ExitCode has {sorted(codes)}")

    # The generator refuses an address that is not https://, and an enum code without
    # a response, and leaves no file behind.
    script = os.path.join(source, "scripts", "winget-manifest")
    with tempfile.TemporaryDirectory() as scratch:
        header = os.path.join(scratch, "exit_codes.h")
        with open(header, "w", encoding="utf-8") as f:
            f.write(enum.replace("InstallerRunning = 1618,", "InstallerRunning = 1618,\n    Unheard = 77,"))
        base = [sys.executable, script, "--installer", installer, "--output", os.path.join(scratch, "out"),
                "--identifier", identifier, "--name", "Pelorium", "--publisher", "Ardenvale",
                "--version", version, "--label", "7.06", "--product-code", "Pelorium 7", "--copyright", "c"]
        for what, extra, says in [
            ("http address", ["--exit-codes", os.path.join(source, "product", "exit_codes.h"),
                              "--url", "http://example.com/setup.exe"], "https://"),
            ("unknown code", ["--exit-codes", header], "Unheard"),
        ]:
            run = subprocess.run(base + extra, capture_output=True, text=True)
            check(run.returncode != 0 and says in run.stderr, f"{what}: {run.returncode} {run.stderr}")
            check(not os.path.exists(os.path.join(scratch, "out")), f"{what}: files were written")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

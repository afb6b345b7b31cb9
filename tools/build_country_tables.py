#!/usr/bin/env python3
"""Builds data/static/ip-to-country.csv and ip6-to-country.csv, the country lookup's range tables.

Ranges come from the npm package @ip-location-db/geo-whois-asn-country (pinned below),
country names and alpha-3 codes from Debian's iso-codes. Every output line has five
double-quoted, comma-separated fields: first address, last address, alpha-2 code,
alpha-3 code, country name. IPv4 addresses are decimal numbers, IPv6 addresses are in
their compressed text form. Rows keep the package's order: the reader lets the first
matching range win.

Usage: build_country_tables.py [--out DIR] [--package-dir DIR] [--force]
"""

import argparse
import base64
import hashlib
import io
import ipaddress
import json
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import urllib.request

PACKAGE = "@ip-location-db/geo-whois-asn-country"
VERSION = "2.3.2026061719"
INTEGRITY = "sha512-9MQ3r2q+GDLwW+Mye5duWnHe3n1qB1ZcNUcM9P58CpdW86Gt44AgfIrem6Pcy/tbCHhQ70RJCLngQQyYnaEjbw=="
TARBALL_URL = f"https://registry.npmjs.org/{PACKAGE}/-/geo-whois-asn-country-{VERSION}.tgz"
IPV4_MEMBER = "package/geo-whois-asn-country-ipv4-num.csv"
IPV6_MEMBER = "package/geo-whois-asn-country-ipv6.csv"

ISO_3166_1 = "/usr/share/iso-codes/json/iso_3166-1.json"
ISO_3166_3 = "/usr/share/iso-codes/json/iso_3166-3.json"

# Codes that registries use but ISO 3166-1 does not assign: (alpha-3, name).
EXTRA_CODES = {
    "XK": ("XKX", "Kosovo"),
    "EU": ("EUR", "European Union"),
    "AP": ("", "Asia/Pacific Region"),
    "ZZ": ("", "Unknown"),
}
UNKNOWN = ("", "Unknown")

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def fail(message):
    sys.exit(f"build_country_tables: {message}")


def load_countries():
    """alpha-2 -> (alpha-3, name); current codes first, then withdrawn ones, then extras."""
    if not os.path.exists(ISO_3166_1):
        fail(f"{ISO_3166_1} is missing; install the Debian package iso-codes")
    countries = {}
    with open(ISO_3166_1, encoding="utf-8") as f:
        for entry in json.load(f)["3166-1"]:
            countries[entry["alpha_2"]] = (entry["alpha_3"], entry.get("common_name", entry["name"]))
    if os.path.exists(ISO_3166_3):
        with open(ISO_3166_3, encoding="utf-8") as f:
            for entry in json.load(f)["3166-3"]:
                code = entry.get("alpha_2")
                if code and code not in countries:
                    countries[code] = (entry.get("alpha_3", ""), entry["name"])
    for code, value in EXTRA_CODES.items():
        countries.setdefault(code, value)
    return countries


def fetch_tarball(folder):
    """Downloads the pinned package into folder and returns its bytes, checked against INTEGRITY."""
    data = None
    if shutil.which("npm"):
        result = subprocess.run(
            ["npm", "pack", "--silent", f"{PACKAGE}@{VERSION}"], cwd=folder, capture_output=True, text=True
        )
        names = [n for n in os.listdir(folder) if n.endswith(".tgz")]
        if result.returncode == 0 and len(names) == 1:
            with open(os.path.join(folder, names[0]), "rb") as f:
                data = f.read()
        else:
            print(f"build_country_tables: npm pack failed: {result.stderr.strip()}", file=sys.stderr)
    if data is None:
        # Without npm, fetch the same tarball npm would; the integrity check below guards it.
        with urllib.request.urlopen(TARBALL_URL, timeout=120) as response:
            data = response.read()
    algorithm, _, expected = INTEGRITY.partition("-")
    actual = base64.b64encode(hashlib.new(algorithm, data).digest()).decode()
    if actual != expected:
        fail(f"{PACKAGE}@{VERSION}: integrity mismatch")
    return data


def read_members(tarball):
    """The two range files of the package as text, read by name (nothing is extracted to disk)."""
    texts = {}
    with tarfile.open(fileobj=io.BytesIO(tarball), mode="r:gz") as archive:
        for member in (IPV4_MEMBER, IPV6_MEMBER):
            handle = archive.extractfile(member)
            if handle is None:
                fail(f"{member} missing from the package")
            texts[member] = handle.read().decode("ascii")
    return texts


def read_package_dir(folder):
    texts = {}
    for member in (IPV4_MEMBER, IPV6_MEMBER):
        path = os.path.join(folder, os.path.basename(member))
        with open(path, encoding="ascii") as f:
            texts[member] = f.read()
    return texts


def rows(text, parse):
    """(start, end, code) per line, with start and end as parse gives them; bad lines stop the build."""
    for number, line in enumerate(text.splitlines(), 1):
        if not line.strip():
            continue
        fields = line.split(",")
        if len(fields) != 3:
            fail(f"line {number}: expected three fields: {line!r}")
        start, end, code = (f.strip() for f in fields)
        if len(code) != 2 or not code.isascii() or not code.isalpha():
            fail(f"line {number}: bad country code: {line!r}")
        try:
            first, last = parse(start), parse(end)
        except ValueError:
            fail(f"line {number}: bad address: {line!r}")
        if first > last:
            fail(f"line {number}: range ends before it starts: {line!r}")
        yield first, last, code.upper()


def parse_ipv4_number(text):
    value = int(text, 10)
    if not 0 <= value <= 0xFFFFFFFF:
        raise ValueError(text)
    return value


def parse_ipv6(text):
    return ipaddress.IPv6Address(text)


def field(text):
    if '"' in text or "\n" in text or "\r" in text:
        fail(f"field cannot be written between double quotes: {text!r}")
    return f'"{text}"'


def write_table(path, ranges, countries, address_text, unknown):
    temporary = path + ".tmp"
    count = 0
    try:
        with open(temporary, "w", encoding="utf-8", newline="\n") as out:
            for first, last, code in ranges:
                if code not in countries:
                    unknown.add(code)
                alpha3, name = countries.get(code, UNKNOWN)
                # The reader upper-cases ASCII letters only; upper-case the rest here so that
                # names such as "Côte d'Ivoire" come out whole.
                values = (address_text(first), address_text(last), code, alpha3, name.upper())
                out.write(",".join(field(v) for v in values) + "\n")
                count += 1
        os.replace(temporary, path)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)
    return count


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(REPO, "data", "static"), help="output folder")
    parser.add_argument("--package-dir", help="an unpacked copy of the package's CSV files instead of fetching it")
    parser.add_argument("--force", action="store_true", help="rebuild even when both tables exist")
    args = parser.parse_args()

    ipv4_path = os.path.join(args.out, "ip-to-country.csv")
    ipv6_path = os.path.join(args.out, "ip6-to-country.csv")
    if not args.force and all(os.path.isfile(p) and os.path.getsize(p) > 0 for p in (ipv4_path, ipv6_path)):
        print("build_country_tables: tables present; --force rebuilds them")
        return

    countries = load_countries()
    if args.package_dir:
        texts = read_package_dir(args.package_dir)
    else:
        with tempfile.TemporaryDirectory(prefix="quorvel-country-") as folder:
            texts = read_members(fetch_tarball(folder))

    os.makedirs(args.out, exist_ok=True)
    unknown = set()
    count4 = write_table(ipv4_path, rows(texts[IPV4_MEMBER], parse_ipv4_number), countries, str, unknown)
    count6 = write_table(ipv6_path, rows(texts[IPV6_MEMBER], parse_ipv6), countries, lambda a: a.compressed, unknown)
    print(f"build_country_tables: {count4} IPv4 ranges -> {ipv4_path}")
    print(f"build_country_tables: {count6} IPv6 ranges -> {ipv6_path}")
    if unknown:
        print(f"build_country_tables: codes without a name, written as Unknown: {' '.join(sorted(unknown))}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Access logs for measuring memory per distinct key (Apache "combined" lines, one a second).

Kinds (--kind):
  paths        every line requests a path of its own (/sectionK/itemN.html, 100 folders);
               500 client addresses, so a visit holds about ten hits
  paths-few    the same visits over 1,000 paths
  addresses    every line comes from an address of its own, 100 paths
  addresses-few  the same over 1,000 addresses
  steady       one address that never pauses (a hit every --gap seconds, default 2) over
               200 paths: one visit holds every line

Memory per distinct key is (peak RSS of "paths" - peak RSS of "paths-few") / lines, and
likewise for addresses. The output is the same for the same arguments.

usage: make_memory_logs.py --kind KIND --lines N --out FILE [--gap SECONDS]
"""

import argparse
import datetime
import sys

MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
START = datetime.datetime(2024, 3, 1)
AGENT = "Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0"


def stamp(seconds):
    t = START + datetime.timedelta(seconds=seconds)
    return "%02d/%s/%04d:%02d:%02d:%02d +0000" % (t.day, MONTHS[t.month - 1], t.year, t.hour, t.minute, t.second)


def address(n):
    return "10.%d.%d.%d" % ((n >> 16) & 255, (n >> 8) & 255, n & 255)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--kind", required=True,
                    choices=["paths", "paths-few", "addresses", "addresses-few", "steady"])
    ap.add_argument("--lines", type=int, required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--gap", type=int, default=2)
    args = ap.parse_args()
    rnd = 12345  # a fixed linear congruential sequence picks the visitors
    step = args.gap if args.kind == "steady" else 1
    with open(args.out, "w", encoding="ascii", newline="\n") as out:
        cached = (None, "")
        for i in range(args.lines):
            rnd = (rnd * 1103515245 + 12345) & 0x7FFFFFFF
            if args.kind.startswith("paths"):
                host = address(rnd % 500)
                n = i if args.kind == "paths" else rnd % 1000
                path = "/section%d/item%d.html" % (n % 100, n)
            elif args.kind.startswith("addresses"):
                host = address(i if args.kind == "addresses" else rnd % 1000)
                path = "/section%d/item%d.html" % (rnd % 10, rnd % 100)
            else:
                host = address(1)
                path = "/section%d/item%d.html" % (i % 10, i % 200)
            seconds = i * step
            if cached[0] != seconds:
                cached = (seconds, stamp(seconds))
            out.write('%s - - [%s] "GET %s HTTP/1.1" 200 %d "-" "%s"\n'
                      % (host, cached[1], path, 1000 + rnd % 5000, AGENT))
    return 0


if __name__ == "__main__":
    sys.exit(main())

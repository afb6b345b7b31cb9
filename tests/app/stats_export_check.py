#!/usr/bin/env python3
"""Checks the statistics of --json and --csv against the pages of the same run, in a sandbox:
a profile run (the demo profile) and a one-off run of a generated log read from standard input.
Every table of the JSON document is a table of its section's page, in order: the rows the page
shows have the same names and figures, the rows it folds into "Others" add up to that row, and
the CSV file of each table holds the JSON table's rows.

    tests/app/stats_export_check.py QUORVEL_BIN SOURCE_DIR
"""

import csv
import html
import json
import os
import re
import subprocess
import sys
import tempfile

UNITS = ["B", "KB", "MB", "GB", "TB"]


def same_figure(shown, row, column):
    """Whether a page's cell shows the document's figure: bytes in the page's unit with two
    decimals, shares as percentages with two decimals, the others as they are."""
    value = row[column]
    if column == "bytes":
        number, _, unit = shown.partition(" ")
        return unit in UNITS and abs(value / 1024 ** UNITS.index(unit) - float(number)) <= 0.0051
    if column == "share":
        return shown == "%.2f%%" % (value * 100)
    return shown == str(value)


def cell_text(cell):
    return html.unescape(re.sub(r"<[^>]+>", "", cell)).strip()


def page_tables(page):
    """Each <table> of a page as a list of (row class, [cell texts])."""
    text = open(page, encoding="utf-8").read()
    tables = []
    for table in re.findall(r"<table.*?</table>", text, re.S):
        body = table[table.find("<tbody"):] if "<tbody" in table else table
        rows = [(kind or "", [cell_text(c) for c in re.findall(r"<t[dh][^>]*>(.*?)</t[dh]>", row, re.S)])
                for kind, row in re.findall(r'<tr(?: class="([^"]*)")?>(.*?)</tr>', body, re.S)]
        tables.append(rows)
    return tables


def check(report, document, csv_folder):
    problems = []
    assert document["schema"] == 1, document.get("schema")
    pages = {}
    for table in document["tables"]:
        section = table["id"].rsplit("-", 2)[0]
        pages.setdefault(section, page_tables(os.path.join(report, section + ".htm")))
        where = "%s (%s)" % (table["id"], table["title"] or table["subsection"])
        if not pages[section]:
            problems.append("%s: no table left on the page" % where)
            continue
        shown = pages[section].pop(0)
        columns = table["columns"]
        rows = table["rows"]
        plain = [cells for kind, cells in shown if kind in ("", "subhead")]
        others = [cells for kind, cells in shown if kind == "others"]
        totals = [cells for kind, cells in shown if kind == "total"]
        for index, cells in enumerate(plain):
            if index >= len(rows):
                problems.append("%s: the page shows more rows than the document" % where)
                break
            row = rows[index]
            if row["kind"] == "group":
                continue
            if cells[0] != row["name"]:
                problems.append("%s row %d: %r on the page, %r in the document" % (where, index, cells[0], row["name"]))
            if row["kind"] == "row" and (len(cells) != 1 + len(columns) or not all(
                    same_figure(shown, row, c) for shown, c in zip(cells[1:], columns))):
                problems.append("%s row %d: %r on the page, %r in the document" % (where, index, cells[1:], row))
        folded = rows[len(plain):]
        if others:
            if "hits" in columns:
                expected = str(sum(r["hits"] for r in folded))
                if others[0][1 + columns.index("hits")] != expected:
                    problems.append("%s: others %r, folded rows %s hits" % (where, others[0], expected))
            if str(len(folded)) not in others[0][0]:
                problems.append("%s: others %r, %d folded rows" % (where, others[0], len(folded)))
        elif folded:
            problems.append("%s: %d rows in the document but not on the page" % (where, len(folded)))
        if totals and "hits" in columns and totals[0][1 + columns.index("hits")] != str(table["total"]["hits"]):
            problems.append("%s: total %r, document %r" % (where, totals[0], table["total"]))

        with open(os.path.join(csv_folder, table["id"] + ".csv"), encoding="utf-8", newline="") as f:
            records = list(csv.reader(f))
        if records[0] != ["kind", "name"] + columns:
            problems.append("%s: CSV header %r" % (where, records[0]))
        expected = [[r["kind"], r["name"]] + [r[c] for c in columns] for r in rows]
        if len(records) - 1 != len(expected):
            problems.append("%s: %d CSV rows, %d JSON rows" % (where, len(records) - 1, len(expected)))
        for got, want in zip(records[1:], expected):
            # Numbers are compared as numbers: the text of a double may differ in form only.
            if got[:2] != want[:2] or any(a != (b if c == "text" else str(b)) and (c != "share" or float(a) != b)
                                          for c, a, b in zip(columns, got[2:], want[2:])):
                problems.append("%s: CSV row %r, JSON row %r" % (where, got, want))
                break
    for section, left in pages.items():
        if left:
            problems.append("%s: %d tables on the page that the document lacks" % (section, len(left)))
    return problems


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: stats_export_check.py QUORVEL_BIN SOURCE_DIR")
    binary, source = os.path.realpath(sys.argv[1]), os.path.realpath(sys.argv[2])
    with tempfile.TemporaryDirectory() as box:
        for name in ("data", "tmp", "home", "work"):
            os.makedirs(os.path.join(box, name))
        env = dict(os.environ, XDG_DATA_HOME=box + "/data", TMPDIR=box + "/tmp", HOME=box + "/home",
                   QUORVEL_HOME=source + "/data")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        work = box + "/work/"
        log = work + "access.log"
        subprocess.run([sys.executable, source + "/tools/make_realistic_log.py", "--lines", "20000", "--seed", "7",
                        "--out", log], check=True)
        runs = [(["Demo", "--json", work + "demo.json", "--csv", work + "demo-csv"], None, "demo"),
                (["--logs", "-", "--output", work + "oneoff", "--json=" + work + "oneoff.json",
                  "--csv=" + work + "oneoff-csv"], log, "oneoff")]
        problems = []
        for arguments, stdin, name in runs:
            with open(stdin or os.devnull, "rb") as feed:
                run = subprocess.run([binary] + arguments, stdin=feed, env=env, cwd=work, capture_output=True,
                                     text=True)
            if run.returncode != 0:
                sys.exit("%s: status %d\n%s" % (arguments, run.returncode, run.stderr))
            report = re.search(r"^Report written: (.*)/[^/]*$", run.stdout, re.M).group(1)
            document = json.load(open(work + name + ".json", encoding="utf-8"))
            problems += ["%s: %s" % (name, p) for p in check(report, document, work + name + "-csv")]
            if len(document["tables"]) < 10:
                problems.append("%s: only %d tables" % (name, len(document["tables"])))
        for p in problems:
            print(p, file=sys.stderr)
        sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()

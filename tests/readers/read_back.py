"""Reads the batch command's sav, dta, tsv, csv and xlsx with readers no one here wrote: GNU PSPP
reads the .sav without a word, pandas reads the .dta with its labels, the .tsv, the .csv and the
.xlsx, R reads the .csv, LibreOffice opens the .xlsx, and every value they see must equal the
.dat's of the same task files; the trial rows must add up to the .dat's means and sums. The
provenance that PSPP, R's haven, openpyxl and LibreOffice show, and the manifest that Python's
json.tool reads, hold the SHA-256 that sha256sum gives of every task file.
Usage: read_back.py DOZORIRA_BATCH TEST_DATA"""
import csv
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from fractions import Fraction

import openpyxl
import pandas as pd

batch, data = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp()
# Longer in UTF-8 bytes than in characters: a string width counted in characters would cut it.
shutil.copy(f"{data}/pp02.vty", f"{work}/Zoë-Łukasz.vty")
# A subject that a spreadsheet would take for a number, and a cluster whose row numbers skip.
shutil.copy(f"{data}/pp01.vty", f"{work}/007.vty")
tasks = [f"{data}/pp01.vty", f"{work}/Zoë-Łukasz.vty", f"{data}/pp03.vty", f"{work}/007.vty",
         f"{data}/warnings/skipped.vty"]
CLUSTER = ["Trials", "Boxes", "Open", "W_Err", "B_err"]
LAYOUTS = {"wide": (), "long": ("--long",), "trials": ("--trials",)}


def run(output, *options, files=tasks):
    subprocess.run([batch, "-o", f"{work}/{output}", *options, *files], check=True)
    return f"{work}/{output}"


def expected_tables():
    with open(run("study.dat", "--no-header", "--decimal-separator", "."), encoding="utf-8",
              newline="") as dat:
        lines = dat.read().split("\r\r\n")[:-1]
    records = [[field.strip() for field in line.split("\t")[:-1]] for line in lines]
    number = lambda text: float(text) if "." in text else int(text)
    widest = max(int(r[1]) for r in records)
    wide = [[r[0]] + [number(f) for f in r[1:]] + [None] * 5 * (widest - int(r[1]))
            for r in records]
    long = [[r[0], n + 1] + [number(f) for f in r[2 + 5 * n:7 + 5 * n]]
            for r in records for n in range(int(r[1]))]
    wide_names = ["Subject", "Clusters"] + [f"{c}{n}" for n in range(1, widest + 1)
                                            for c in CLUSTER]
    means = {(r[0], n + 1): r[2 + 5 * n:7 + 5 * n] for r in records for n in range(int(r[1]))}
    return {"wide": (wide_names, wide), "long": (["Subject", "Cluster"] + CLUSTER, long),
            "trials": trial_table(means)}


def trial_table(means):
    """The trial rows as pandas reads the tsv, once their means and sums are the .dat's."""
    frame = read_text(run("trials.tsv", "--trials"), sep="\t", quoting=3)
    table = (list(frame.columns), rows(frame))
    check("trial columns", table[0],
          ["Subject", "Cluster", "Trial", "Boxes", "Opened", "W_Err", "B_err"])
    for (subject, cluster), (trials, boxes, opened, within, between) in means.items():
        mine = [r for r in table[1] if r[:2] == [subject, cluster]]
        check(f"trials of {subject} {cluster}", [r[2] for r in mine],
              list(range(1, int(trials) + 1)))
        check("boxes", {r[3] for r in mine}, {int(boxes)})
        for column, mean in ((4, opened), (5, within)):
            exact = Fraction(sum(int(r[column]) for r in mine), len(mine))
            check(f"mean of {subject} {cluster}", abs(exact - Fraction(mean)) <= Fraction(1, 2000),
                  True)
        check(f"B_err of {subject} {cluster}", sum(r[6] for r in mine), float(between))
    check("every trial row belongs to a cluster", len(table[1]),
          sum(int(m[0]) for m in means.values()))
    return table


def rows(frame):
    return frame.astype(object).where(frame.notna(), None).values.tolist()


# As programs should read text: only an empty field missing, the subject as text.
def read_text(path, **options):
    return pd.read_csv(path, dtype={"Subject": str}, keep_default_na=False, na_values=[""],
                       encoding="utf-8", **options)


def csv_table(path, delimiter=",", decimal="."):
    with open(path, encoding="utf-8", newline="") as f:
        table = list(csv.reader(f, delimiter=delimiter))
    number = lambda text: None if text.strip() == "" else float(text.replace(decimal, "."))
    return table[0], [[row[0]] + [number(text) for text in row[1:]] for row in table[1:]]


def pspp_table(sav):
    syntax = f"{sav}.sps"
    with open(syntax, "w") as f:
        f.write(f"GET FILE='{sav}'.\n"
                f"SAVE TRANSLATE /OUTFILE='{sav}.csv' /TYPE=CSV /FIELDNAMES /REPLACE.\n")
    said = subprocess.run(["pspp", syntax], capture_output=True, text=True)
    assert said.returncode == 0 and said.stdout + said.stderr == "", said.stdout + said.stderr
    return csv_table(f"{sav}.csv")


def r_tables(files):
    """Each csv as R's read.csv (read.csv2 for ";") reads it, written back by R's write.csv."""
    script = ('a <- commandArgs(TRUE); for (i in seq(1, length(a), 2)) {'
              ' read <- if (endsWith(a[i], "semicolon.csv")) read.csv2 else read.csv;'
              ' d <- read(a[i], na.strings = character(), colClasses = c(Subject = "character"),'
              ' encoding = "UTF-8");'
              ' write.csv(d, a[i + 1], row.names = FALSE, na = "", fileEncoding = "UTF-8") }')
    args = [arg for f in files for arg in (f, f"{f}.r.csv")]
    subprocess.run(["Rscript", "-e", script, *args], check=True,
                   env={**os.environ, "LANG": "C.UTF-8"})
    return {f: csv_table(f"{f}.r.csv") for f in files}


LIBREOFFICE = f"{work}/libreoffice"


def libreoffice_tables(files):
    """Each xlsx as LibreOffice shows it, every sheet saved as csv (NAME-SHEET.csv); one start
    of LibreOffice for all."""
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless",
                    "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,"
                    "false,false,false,-1", "--outdir", LIBREOFFICE, *files], check=True,
                   capture_output=True, env={**os.environ, "LANG": "C.UTF-8"})
    return {f: csv_table(f"{LIBREOFFICE}/{os.path.basename(f)[:-5]}-Sheet1.csv") for f in files}


def check(what, got, expected):
    assert got == expected, f"{what}:\n{got}\n!=\n{expected}"


expected = expected_tables()
labels = {"Subject": "Subject (task file name)", "Cluster": "Cluster number", "Trials": "Trials",
          "Boxes": "Boxes", "Open": "Mean boxes opened per trial",
          "W_Err": "Mean within-search errors per trial", "B_err": "Between-search errors"}
comma_csvs, xlsxs = [], []
for layout, options in LAYOUTS.items():
    names, table = expected[layout]
    check(f"{layout} sav in PSPP", pspp_table(run(f"{layout}.sav", *options)), (names, table))
    with pd.io.stata.StataReader(run(f"{layout}.dta", *options)) as dta:
        frame = dta.read()
        check(f"{layout} dta in pandas", (list(frame.columns), rows(frame)), (names, table))
        check("dta file label", dta.data_label.endswith(", 5 task files"), True)
        got = dta.variable_labels()
    if layout != "trials":
        check(f"{layout} dta labels", got if layout == "long" else got["B_err2"],
              labels if layout == "long" else "Between-search errors, cluster 2")
    frame = read_text(run(f"{layout}.tsv", *options), sep="\t", quoting=3)
    check(f"{layout} tsv in pandas", (list(frame.columns), rows(frame)), (names, table))
    for name, separators in ((f"{layout}.csv", {}),
                             (f"{layout}-semicolon.csv", {"sep": ";", "decimal": ","})):
        extra = ("--decimal-separator", ",") if separators else ()
        frame = read_text(run(name, *options, *extra), **separators)
        check(f"{name} in pandas", (list(frame.columns), rows(frame)), (names, table))
        comma_csvs.append(f"{work}/{name}")
    frame = pd.read_excel(run(f"{layout}.xlsx", *options), dtype={"Subject": str})
    check(f"{layout} xlsx in pandas", (list(frame.columns), rows(frame)), (names, table))
    xlsxs.append(f"{work}/{layout}.xlsx")
for path, got in r_tables(comma_csvs).items():
    check(f"{path} in R", got, expected[os.path.basename(path).split("-")[0].split(".")[0]])
for path, got in libreoffice_tables(xlsxs + [run("provenance.xlsx")]).items():
    if not path.endswith("provenance.xlsx"):
        check(f"{path} in LibreOffice", got, expected[os.path.basename(path)[:-5]])
sheet = openpyxl.load_workbook(f"{work}/wide.xlsx").active
check("xlsx frozen header and number formats", (sheet.freeze_panes, sheet["E2"].number_format,
                                                sheet["A5"].value), ("A2", "0.000", "007"))
# The largest count shows whole: 32767 between-search errors, from one trial that opens the box
# of the trial before it 32767 times.
with open(f"{work}/most.vty", "w", newline="") as f:
    f.write("Vantry\r\nrow\r\n0\tc\t6\t1\tA\tx\t1\t\ty\t\r\n"
            f"1\tc\t6\t1\tA\tx\t1\t{'A' * 32767}\ty\t\r\n")
with open(f"{work}/list.sps", "w") as f:
    f.write(f"GET FILE='{run('most.sav', files=[f'{work}/most.vty'])}'.\nLIST B_err1.\n")
listed = subprocess.run(["pspp", f"{work}/list.sps"], capture_output=True,
                        text=True).stdout
check("32767 errors as PSPP lists them", "|32767.000|" in listed, True)
# A file without rows: the library checks its variables only at the first row.
check("empty long sav in PSPP", pspp_table(run("empty.sav", "--long", files=[f"{data}/pp03.vty"])),
      (expected["long"][0], []))


def hashes_in(text):
    """The SHA-256 that a text shows, in order."""
    return re.findall(r"\b[0-9a-f]{64}\b", text)


def provenance():
    """Every reader shows the provenance of its format, with the hashes sha256sum gives; the
    workbook was opened in LibreOffice with the others."""
    summed = subprocess.run(["sha256sum", *tasks], capture_output=True, text=True, check=True)
    sums = [line.split()[0] for line in summed.stdout.splitlines()]
    sav = run("provenance.sav", "--manifest", f"{work}/provenance.json")
    with open(f"{work}/documents.sps", "w") as f:
        f.write(f"GET FILE='{sav}'.\nDISPLAY DOCUMENTS.\n")
    shown = subprocess.run(["pspp", "-O", "format=txt", f"{work}/documents.sps"],
                           capture_output=True, text=True, check=True).stdout
    check("sav documents in PSPP", hashes_in(shown), sums)
    check("PSPP shows the program", "Made by Dozorira" in shown, True)
    notes = subprocess.run(["Rscript", "-e", 'cat(attr(haven::read_dta(commandArgs(TRUE)[1]),'
                            ' "notes"), sep = "\n")', run("provenance.dta")],
                           capture_output=True, text=True, check=True,
                           env={**os.environ, "LANG": "C.UTF-8"}).stdout
    check("dta notes in R's haven", hashes_in(notes), sums)
    book = openpyxl.load_workbook(f"{work}/provenance.xlsx")
    check("xlsx sheets", book.sheetnames[1:], ["Provenance"])
    check("xlsx comments", book.properties.description.startswith("Made by Dozorira"), True)
    lines = [row[0] for row in book["Provenance"].iter_rows(values_only=True)]
    check("Provenance sheet in openpyxl", hashes_in("\n".join(lines)), sums)
    with open(f"{LIBREOFFICE}/provenance-Provenance.csv", encoding="utf-8") as f:
        check("Provenance sheet in LibreOffice", hashes_in(f.read()), sums)
    manifest = subprocess.run([sys.executable, "-m", "json.tool", f"{work}/provenance.json"],
                              capture_output=True, text=True, check=True).stdout
    entries = json.loads(manifest)
    check("manifest task files", [t["sha256"] for t in entries["task_files"]], sums)
    summed = subprocess.run(["sha256sum", sav], capture_output=True, text=True, check=True)
    check("manifest output", entries["output"]["sha256"], summed.stdout.split()[0])


provenance()
shutil.rmtree(work)

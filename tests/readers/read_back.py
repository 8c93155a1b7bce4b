"""Reads the batch command's sav, dta, tsv, csv and xlsx with readers no one here wrote: GNU PSPP
reads the .sav without a word; pandas the .dta with its labels, the .tsv, the .csv and the .xlsx;
R's read.delim, read.csv and read.csv2 the text, haven the .sav and .dta, openxlsx and readxl the
.xlsx; LibreOffice and Gnumeric's ssconvert open the .xlsx. Every value they see must equal the
.dat's of the same task files, every subject, awkward ones too, must come back exactly, the labels
must be the task files' own, and the trial rows must add up to the .dat's means and sums. The
provenance that PSPP, R's haven, openpyxl and LibreOffice show, and the manifest that Python's
json.tool reads, hold the SHA-256 that sha256sum gives of every task file.
Usage: read_back.py DOZORIRA_BATCH TEST_DATA"""
import csv
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
# Subjects that a reader could take for a number, markup, a list or something to trim; one longer
# in UTF-8 bytes than in characters, which a string width counted in characters would cut.
AWKWARD = {"007": "pp01", "a&b": "pp02", " lead": "pp01", "Zoë": "pp02", "1,5": "pp01",
           "Zoë-Łukasz": "pp02"}
for subject, source in AWKWARD.items():
    shutil.copy(f"{data}/{source}.vty", f"{work}/{subject}.vty")
# A participant without clusters, and a cluster whose row numbers skip.
tasks = [f"{data}/pp01.vty", f"{data}/pp03.vty", f"{data}/warnings/skipped.vty"] + \
    [f"{work}/{subject}.vty" for subject in AWKWARD]
CLUSTER = ["Trials", "Boxes", "Open", "W_Err", "B_err"]
TRIAL = ["Subject", "Cluster", "Label", "Trial", "Recorded", "Boxes", "Opened", "W_Err", "B_err"]
LAYOUTS = {"wide": (), "long": ("--long",), "trials": ("--trials",)}


def run(output, *options, files=tasks):
    subprocess.run([batch, "-o", f"{work}/{output}", *options, *files], check=True,
                   stderr=subprocess.DEVNULL)
    return f"{work}/{output}"


def labels_and_lines(path):
    """Each cluster's label, field 1 of its last line, and how many lines it holds."""
    with open(path, "rb") as f:
        lines = re.split(rb"\r\n|\r", f.read())[2:]
    clusters = []
    for line in filter(None, lines):
        fields = line.decode("utf-8").split("\t")
        if int(fields[0]) == 0:
            clusters.append(["", 0])
        if clusters:
            clusters[-1] = [fields[1], clusters[-1][1] + 1]
    return clusters


def expected_tables():
    with open(run("study.dat", "--no-header", "--decimal-separator", "."), encoding="utf-8",
              newline="") as dat:
        lines = dat.read().split("\r\r\n")[:-1]
    records = [[line.split("\t")[0]] + [f.strip() for f in line.split("\t")[1:-1]]
               for line in lines]
    number = lambda text: float(text) if "." in text else int(text)
    widest = max(int(r[1]) for r in records)
    wide = [[r[0]] + [number(f) for f in r[1:]] + [None] * 5 * (widest - int(r[1]))
            for r in records]
    clusters = {r[0]: labels_and_lines(path) for r, path in zip(records, tasks)}
    long = []
    for r in records:
        long += [[r[0], n + 1, clusters[r[0]][n][0]] + [number(f) for f in r[2 + 5 * n:7 + 5 * n]]
                 for n in range(int(r[1]))] or [[r[0]] + [None] * 7]
    wide_names = ["Subject", "Clusters"] + [f"{c}{n}" for n in range(1, widest + 1)
                                            for c in CLUSTER]
    return {"wide": (wide_names, wide), "long": (["Subject", "Cluster", "Label"] + CLUSTER, long),
            "trials": trial_table(records, clusters)}


def trial_table(records, clusters):
    """The trial rows as pandas reads the tsv, once their means and sums are the .dat's and
    Recorded marks the trials without a line."""
    frame = read_text(run("trials.tsv", "--trials"), sep="\t", quoting=3)
    table = (list(frame.columns), rows(frame))
    check("trial columns", table[0], TRIAL)
    for r in records:
        mine = [row for row in table[1] if row[0] == r[0]]
        if r[1] == "0":
            check(f"the one row of {r[0]}", mine, [[r[0]] + [None] * 8])
        for n in range(int(r[1])):
            trials, boxes, opened, within, between = r[2 + 5 * n:7 + 5 * n]
            label, line_count = clusters[r[0]][n]
            got = [row for row in mine if row[1] == n + 1]
            check(f"trials of {r[0]} {n + 1}", [row[3] for row in got],
                  list(range(1, int(trials) + 1)))
            check("label and boxes", {(row[2], row[5]) for row in got}, {(label, int(boxes))})
            check("recorded", [row[4] for row in got],
                  [1] * line_count + [0] * (int(trials) - line_count))
            for column, mean in ((6, opened), (7, within)):
                exact = Fraction(sum(int(row[column]) for row in got), len(got))
                check(f"mean of {r[0]} {n + 1}", abs(exact - Fraction(mean)) <= Fraction(1, 2000),
                      True)
            check(f"B_err of {r[0]} {n + 1}", sum(row[8] for row in got), float(between))
    return table


def rows(frame):
    return frame.astype(object).where(frame.notna(), None).values.tolist()


# As programs should read text: only an empty field missing, the subject and label as text.
def read_text(path, **options):
    return pd.read_csv(path, dtype={"Subject": str, "Label": str}, keep_default_na=False,
                       na_values=[""], encoding="utf-8", **options)


def csv_table(path, delimiter=",", decimal="."):
    """A table written back as csv by another program: numbers as floats, an empty field as
    missing, the subject and the label as they are."""
    with open(path, encoding="utf-8", newline="") as f:
        table = list(csv.reader(f, delimiter=delimiter))
    texts = [name in ("Subject", "Label") for name in table[0]]
    value = lambda text, is_text: (text if is_text and text != "" else None if text.strip() == ""
                                   else float(text.replace(decimal, ".")))
    return table[0], [[value(text, is_text) for text, is_text in zip(row, texts)]
                      for row in table[1:]]


def pspp_table(sav):
    syntax = f"{sav}.sps"
    with open(syntax, "w") as f:
        f.write(f"GET FILE='{sav}'.\n"
                f"SAVE TRANSLATE /OUTFILE='{sav}.csv' /TYPE=CSV /FIELDNAMES /REPLACE.\n")
    said = subprocess.run(["pspp", syntax], capture_output=True, text=True)
    assert said.returncode == 0 and said.stdout + said.stderr == "", said.stdout + said.stderr
    return csv_table(f"{sav}.csv")


R_READERS = {
    "csv": 'read.csv(f, na.strings = character(), colClasses = c(Subject = "character"), '
           'encoding = "UTF-8")',
    "semicolon.csv": 'read.csv2(f, na.strings = character(), '
                     'colClasses = c(Subject = "character"), encoding = "UTF-8")',
    "tsv": 'read.delim(f, quote = "", na.strings = character(), '
           'colClasses = c(Subject = "character"), encoding = "UTF-8")',
    "dta": "haven::zap_labels(haven::read_dta(f))",
    "sav": "haven::zap_labels(haven::read_sav(f))",
    "openxlsx.xlsx": "openxlsx::read.xlsx(f)",
    "readxl.xlsx": "readxl::read_excel(f, trim_ws = FALSE)",
}


def r_tables(files):
    """Each file as R reads it, by the reader its name ends with, written back by write.csv;
    one start of R for all."""
    script = ("a <- commandArgs(TRUE); for (i in seq(1, length(a), 3)) { f <- a[i];"
              " d <- as.data.frame(eval(parse(text = a[i + 1])));"
              ' write.csv(d, a[i + 2], row.names = FALSE, na = "", fileEncoding = "UTF-8") }')
    args = []
    for path, reader in files:
        args += [path, R_READERS[reader], f"{path}.{reader}.r.csv"]
    subprocess.run(["Rscript", "-e", script, *args], check=True,
                   env={**os.environ, "LANG": "C.UTF-8"})
    return {(path, reader): csv_table(f"{path}.{reader}.r.csv") for path, reader in files}


LIBREOFFICE = f"{work}/libreoffice"


def libreoffice_tables(files):
    """Each xlsx as LibreOffice shows it, every sheet saved as csv (NAME-SHEET.csv); one start
    of LibreOffice for all."""
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless",
                    "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,"
                    "false,false,false,-1", "--outdir", LIBREOFFICE, *files], check=True,
                   capture_output=True, env={**os.environ, "LANG": "C.UTF-8"})
    return {f: csv_table(f"{LIBREOFFICE}/{os.path.basename(f)[:-5]}-Sheet1.csv") for f in files}


def gnumeric_table(xlsx):
    subprocess.run(["ssconvert", xlsx, f"{xlsx}.gnumeric.csv"], check=True, capture_output=True)
    return csv_table(f"{xlsx}.gnumeric.csv")


def check(what, got, expected):
    assert got == expected, f"{what}:\n{got}\n!=\n{expected}"


expected = expected_tables()
labels = {"Subject": "Subject (task file name)", "Cluster": "Cluster number",
          "Label": "Cluster label (field 1 of its last line)", "Trials": "Trials",
          "Boxes": "Boxes", "Open": "Mean boxes opened per trial",
          "W_Err": "Mean within-search errors per trial", "B_err": "Between-search errors"}
in_r, xlsxs = [], []
for layout, options in LAYOUTS.items():
    names, table = expected[layout]
    sav = run(f"{layout}.sav", *options)
    check(f"{layout} sav in PSPP", pspp_table(sav), (names, table))
    with pd.io.stata.StataReader(run(f"{layout}.dta", *options)) as dta:
        frame = dta.read()
        # Stata's missing text is the empty one.
        got = [[None if value == "" else value for value in row] for row in rows(frame)]
        check(f"{layout} dta in pandas", (list(frame.columns), got), (names, table))
        check("dta file label", dta.data_label.endswith(f", {len(tasks)} task files"), True)
        got = dta.variable_labels()
    if layout != "trials":
        check(f"{layout} dta labels", got if layout == "long" else got["B_err2"],
              labels if layout == "long" else "Between-search errors, cluster 2")
    tsv = run(f"{layout}.tsv", *options)
    frame = read_text(tsv, sep="\t", quoting=3)
    check(f"{layout} tsv in pandas", (list(frame.columns), rows(frame)), (names, table))
    in_r += [(tsv, "tsv"), (sav, "sav"), (f"{work}/{layout}.dta", "dta")]
    # Without --decimal-separator a csv follows the locale: "," between fields and "." as the
    # decimal point in English, ";" and "," in German.
    for name, locale, reader, separators in (
            (f"{layout}.csv", "en_GB.UTF-8", "csv", {}),
            (f"{layout}-semicolon.csv", "de_DE.UTF-8", "semicolon.csv",
             {"sep": ";", "decimal": ","})):
        subprocess.run([batch, "-o", f"{work}/{name}", *options, *tasks], check=True,
                       stderr=subprocess.DEVNULL, env={**os.environ, "LC_ALL": locale})
        frame = read_text(f"{work}/{name}", **separators)
        check(f"{name} in pandas", (list(frame.columns), rows(frame)), (names, table))
        in_r.append((f"{work}/{name}", reader))
    xlsx = run(f"{layout}.xlsx", *options)
    frame = pd.read_excel(xlsx, dtype={"Subject": str, "Label": str})
    check(f"{layout} xlsx in pandas", (list(frame.columns), rows(frame)), (names, table))
    check(f"{layout} xlsx in Gnumeric", gnumeric_table(xlsx), (names, table))
    in_r += [(xlsx, "openxlsx.xlsx"), (xlsx, "readxl.xlsx")]
    xlsxs.append(xlsx)
for (path, reader), got in r_tables(in_r).items():
    check(f"{path} in R by {reader}", got, expected[os.path.basename(path).split("-")[0].split(".")[0]])
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
# A sheet that the workbook's zip holds in many pieces, whose texts cross from one to the next.
os.makedirs(f"{work}/many")
many = [f"{work}/many/<a&b {n:03}>.vty" for n in range(150)]
for path in many:
    shutil.copy(f"{data}/pp02.vty", path)
sheet = openpyxl.load_workbook(run("many.xlsx", "--trials", files=many), read_only=True).active
check("texts of a long sheet", [(row[0], row[2]) for row in sheet.iter_rows(min_row=2,
                                                                             values_only=True)],
      [(f"<a&b {n:03}>", label) for n in range(150) for label in ["four"] * 3 + ["eight"] * 2])
# A file of one participant without clusters: one row of missing values.
check("long sav of no cluster in PSPP",
      pspp_table(run("empty.sav", "--long", files=[f"{data}/pp03.vty"])),
      (expected["long"][0], [["pp03"] + [None] * 7]))


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

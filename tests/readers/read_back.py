"""Reads the batch command's sav, dta and tsv with readers no one here wrote: GNU PSPP reads the
.sav without a word, pandas reads the .dta with its labels and the .tsv, and every value they see
must equal the .dat's of the same task files. Usage: read_back.py DOZORIRA_BATCH TEST_DATA"""
import csv
import shutil
import subprocess
import sys
import tempfile

import pandas as pd

batch, data = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp()
# Longer in UTF-8 bytes than in characters: a string width counted in characters would cut it.
shutil.copy(f"{data}/pp02.vty", f"{work}/Zoë-Łukasz.vty")
tasks = [f"{data}/pp01.vty", f"{work}/Zoë-Łukasz.vty", f"{data}/pp03.vty"]
CLUSTER = ["Trials", "Boxes", "Open", "W_Err", "B_err"]


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
    return {"wide": (wide_names, wide), "long": (["Subject", "Cluster"] + CLUSTER, long)}


def rows(frame):
    return frame.astype(object).where(frame.notna(), None).values.tolist()


def pspp_table(sav):
    syntax = f"{sav}.sps"
    with open(syntax, "w") as f:
        f.write(f"GET FILE='{sav}'.\n"
                f"SAVE TRANSLATE /OUTFILE='{sav}.csv' /TYPE=CSV /FIELDNAMES /REPLACE.\n")
    said = subprocess.run(["pspp", syntax], capture_output=True, text=True)
    assert said.returncode == 0 and said.stdout + said.stderr == "", said.stdout + said.stderr
    with open(f"{sav}.csv", encoding="utf-8", newline="") as f:
        table = list(csv.reader(f))
    number = lambda text: None if text.strip() == "" else float(text)
    return table[0], [[row[0]] + [number(text) for text in row[1:]] for row in table[1:]]


def check(what, got, expected):
    assert got == expected, f"{what}:\n{got}\n!=\n{expected}"


expected = expected_tables()
labels = {"Subject": "Subject (task file name)", "Cluster": "Cluster number", "Trials": "Trials",
          "Boxes": "Boxes", "Open": "Mean boxes opened per trial",
          "W_Err": "Mean within-search errors per trial", "B_err": "Between-search errors"}
for layout, options in (("wide", ()), ("long", ("--long",))):
    names, table = expected[layout]
    check(f"{layout} sav in PSPP", pspp_table(run(f"{layout}.sav", *options)), (names, table))
    with pd.io.stata.StataReader(run(f"{layout}.dta", *options)) as dta:
        frame = dta.read()
        check(f"{layout} dta in pandas", (list(frame.columns), rows(frame)), (names, table))
        check("dta file label", dta.data_label.endswith(", 3 task files"), True)
        got = dta.variable_labels()
    check(f"{layout} dta labels", got if layout == "long" else got["B_err2"],
          labels if layout == "long" else "Between-search errors, cluster 2")
    # As programs should read it: no quoting, only an empty field missing, the subject as text.
    frame = pd.read_csv(run(f"{layout}.tsv", *options), sep="\t", quoting=3, dtype={"Subject": str},
                        keep_default_na=False, na_values=[""])
    check(f"{layout} tsv in pandas", (list(frame.columns), rows(frame)), (names, table))
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
shutil.rmtree(work)

"""The study report as PDF readers see it, over a few studies: every page A4 (pdfinfo), a sound
file (qpdf --check), and in its text (pdftotext -layout) the summary of every cluster equal to the
mean and SD of the wide output (tsv) of the same files, exactly the values that the modified
z-score flags, and the lines --check prints. Then the same bytes in two time zones, and a failed
run that leaves an earlier report as it was; with "studies", the studies only, as the sanitized
tree runs them.
Usage: report_pdf.py DOZORIRA_BATCH TEST_DATA [studies]"""
import csv
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from decimal import ROUND_HALF_UP, Decimal, getcontext
from fractions import Fraction

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from studies import participant, write_study  # noqa: E402

batch, data = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
studies_only = sys.argv[3:] == ["studies"]
ENV = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", LANG="C", TZ="UTC")
AS_ROOT = os.geteuid() == 0
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if AS_ROOT else []
MEASURES = ["Open", "W_Err", "B_err"]
work = tempfile.mkdtemp()
os.chmod(work, 0o755)
failures = []
getcontext().prec = 40


def expect(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {got!r:.300}, wanted {wanted!r:.300}")


def run(args, env=ENV, prefix=()):
    return subprocess.run(list(prefix) + [batch] + args, env=env, capture_output=True, cwd=work)


def shown(value):
    """Three decimals, halves away from zero, of an exact value (a Fraction or a Decimal)."""
    if isinstance(value, Fraction):
        value = Decimal(value.numerator) / Decimal(value.denominator)
    return str(value.quantize(Decimal("0.001"), ROUND_HALF_UP))


def wide_values(tsv):
    """Per cluster and measure, the subjects and values (in thousandths) of the wide output."""
    with open(tsv, newline="") as f:
        rows = list(csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE))
    values = {}
    for index, row in enumerate(rows):
        for c in range(1, int(row["Clusters"]) + 1):
            for m in MEASURES:
                values.setdefault((c, m), []).append(
                    (index, row["Subject"], int(Decimal(row[f"{m}{c}"]) * 1000)))
    return values


def median(xs):
    xs = sorted(xs)
    n = len(xs)
    return Fraction(xs[n // 2]) if n % 2 else Fraction(xs[n // 2 - 1] + xs[n // 2], 2)


def flags(values):
    """(subject, cluster, measure) of every value whose modified z-score lies beyond ±3.5, with
    its score, by the rule of Iglewicz and Hoaglin, per cluster and measure."""
    found = []
    for (c, m), entries in values.items():
        xs = [v for _, _, v in entries]
        mid = median(xs)
        mad = median([abs(x - mid) for x in xs])
        mean_dev = sum(abs(x - mid) for x in xs) / len(xs)
        scale = 1.4826 * float(mad) if mad else 1.253314 * float(mean_dev)
        for index, subject, x in entries:
            if scale and abs(float(x - mid) / scale) > 3.5:
                found.append((index, subject, c, m, float(x - mid) / scale))
    return found


def summary_table(text):
    """Cluster -> (participants, [mean, SD] of each measure) from the report's first page."""
    table = {}
    for line in text.split("\f")[0].splitlines():
        words = line.split()
        if len(words) >= 12 and all(re.fullmatch(r"\d+", w) for w in words[:2]) and \
                re.fullmatch(r"[\d.]+|–", words[-1]):
            table[int(words[0])] = (int(words[1]), words[-6:])
    return table


def flagged_rows(text):
    """The rows of the table of flagged values, on the pages from "Who to look at" on."""
    start = re.search(r"^\f?Who to look at$", text, re.M)
    text = text[start.start() if start else len(text):text.find("Trial by trial")]
    rows = re.findall(r"^\s*(\S+)\s+(\d+)\s+(Open|W_Err|B_err)\s+([\d.]+)\s+([\d.]+)\s+"
                      r"(−?[\d.]+)\s*$", text, re.M)
    return sorted((s, int(c), m) for s, c, m, *_ in rows)


def check_report(name, pdf, tsv, expected_pages=None):
    info = subprocess.run(["pdfinfo", "-f", "1", "-l", "999", pdf], capture_output=True,
                          text=True).stdout
    sizes = re.findall(r"Page +\d+ size: +(.*)", info)
    expect(f"{name}: A4 pages", set(sizes), {"595.276 x 841.89 pts (A4)"})
    if expected_pages:
        expect(f"{name}: pages", len(sizes), expected_pages)
    qpdf = subprocess.run(["qpdf", "--check", pdf], capture_output=True, text=True)
    expect(f"{name}: qpdf --check", (qpdf.returncode, "No syntax or stream encoding errors"
                                     in qpdf.stdout), (0, True))
    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True,
                          text=True).stdout
    values = wide_values(tsv)
    table = summary_table(text)
    clusters = sorted({c for c, _ in values})
    expect(f"{name}: clusters in the table", sorted(table), clusters)
    for c in clusters:
        shown_numbers = []
        for m in MEASURES:
            xs = [v for _, _, v in values[(c, m)]]
            mean = Fraction(sum(xs), len(xs) * 1000)
            shown_numbers.append(shown(mean))
            if len(xs) > 1:
                variance = sum((Fraction(x, 1000) - mean) ** 2 for x in xs) / (len(xs) - 1)
                shown_numbers.append(shown((Decimal(variance.numerator) /
                                            Decimal(variance.denominator)).sqrt()))
            else:
                shown_numbers.append("–")
        expect(f"{name}: cluster {c}", table.get(c), (len(values[(c, "Open")]), shown_numbers))
    expected_flags = flags(values)
    expect(f"{name}: flagged", flagged_rows(text),
           sorted((s, c, m) for _, s, c, m, _ in expected_flags))
    return text, expected_flags


def check_lines(args):
    """The lines --check prints, as the report's last page must show them for the same output."""
    return run(["--check"] + args).stdout.decode().splitlines()


def case(name, files, extra=(), pages=None):
    pdf, tsv = f"{work}/{name}.pdf", f"{work}/{name}.tsv"
    done = run(["--report", pdf, "-o", tsv] + list(extra) + files)
    expect(f"{name}: status", (done.returncode, done.stderr), (0, b""))
    text, found = check_report(name, pdf, tsv, pages)
    last_page = " ".join(text.split("\f")[-2].split())
    for line in [] if studies_only else check_lines(["-o", tsv] + files):
        expect(f"{name}: --check line on the last page", " ".join(line.split()) in last_page, True)
    return text, found


def folder(name):
    path = f"{work}/{name}"
    os.makedirs(path)
    return path


rng = random.Random(5)

# One participant: no SD and no confidence interval, and the report says so.
text, _ = case("one", [f"{data}/pp01.vty"], pages=4)
expect("one: no interval", "one participant has cluster 1" in text and
       "No confidence interval for cluster 1" in text, True)

# A planted outlier: the participant who opens every box and errs in every trial.
outlier = write_study(folder("outlier"), 30, seed=2,
                      planted={17: [(4, [(4, 6)] * 12), (6, [(6, 6)] * 12), (8, [(8, 6)] * 12)]})
text, found = case("outlier", outlier)
expect("outlier: flagged", {s for _, s, *_ in found} >= {"pp0018"}, True)

# MAD 0: all but two participants open the same number of boxes, so the mean absolute deviation
# decides; where every value is the same, nothing is flagged.
same = [(4, [(2, 0)] * 10)]
mad_zero = write_study(folder("mad-zero"), 12, planted={
    **{i: same for i in range(12)}, 4: [(4, [(3, 0)] * 10)], 9: [(4, [(4, 0)] * 10)]})
text, found = case("mad-zero", mad_zero)
expect("mad-zero: flagged", sorted({s for _, s, *_ in found}), ["pp0010"])
expect("mad-zero: nothing to flag", "cluster 1: W_Err" in text, True)

# 199 participants, 35 of them far off: 30 get a plot of their trials, the rest are named.
planted = {i: participant(rng, gave_up_after=3 + i % 7) for i in range(0, 175, 5)}
many = write_study(folder("many"), 199, seed=3, planted=planted)
text, found = case("many", many)
order = []
for index, subject, *_ in sorted(found, key=lambda f: (-abs(f[4]), f[0])):
    if subject not in order:
        order.append(subject)
rest = re.search(r"Also flagged, without a plot: (.*?)\.", " ".join(text.split()))
expect("many: named without a plot", rest and rest.group(1).split(", "), order[30:])

# A failing file: --check --report writes the report of the files that pass, and no output.
passing = [f"{data}/pp01.vty", f"{data}/warnings/skipped.vty", f"{data}/pp02.vty"]
files = passing[:1] + [f"{data}/broken.vty"] + passing[1:]
done = run(["--check", "--report", f"{work}/check.pdf", "-o", f"{work}/check.tsv"] + files)
expect("check: status and lines", (done.returncode, done.stdout.decode().splitlines()),
       (1, check_lines(["-o", f"{work}/check.tsv"] + files)))
expect("check: no output", os.path.exists(f"{work}/check.tsv"), False)
last_page = " ".join(subprocess.run(["pdftotext", "-layout", f"{work}/check.pdf", "-"],
                                    capture_output=True, text=True).stdout.split("\f")[-2].split())
for line in done.stdout.decode().splitlines():
    expect("check: --check line on the last page", " ".join(line.split()) in last_page, True)
run(["-o", f"{work}/check.tsv"] + passing)
text, _ = check_report("check", f"{work}/check.pdf", f"{work}/check.tsv", 4)
expect("check: counts", re.findall(r"^(Task files|Passed|Failed|With warnings) +(\d+)", text, re.M),
       [("Task files", "4"), ("Passed", "3"), ("Failed", "1"), ("With warnings", "2")])

# Odd subjects, flagged among 20 plain ones, are shown escaped, and a long one whole in the table
# but cut short in a plot label.
odd = folder("odd")
long_name = "participant-" + "x" * 90 + "-end"
for i in range(20):
    shutil.copy(f"{data}/pp01.vty", f"{odd}/a{i:02}.vty")
for name in [b"p\xe9", b"q\x01r", long_name.encode()]:
    path = os.path.join(odd.encode(), name + b".vty")
    shutil.copy(f"{data}/pp01.vty", path)
    with open(path, "a", newline="") as f:  # a fourth trial with nine within-search errors
        f.write("3\tx\t6\t1\tD\t900\t6\tEFABCD\t500\t1 2 3 4 5 6 7 8 9 10\r\n")
pdf = f"{work}/odd.pdf"
run(["--report", pdf, "-o", f"{work}/odd.dat", odd])
raw = subprocess.run(["pdftotext", pdf, "-"], capture_output=True, text=True).stdout
expect("odd: escaped", ['"p\\xE9"' in raw, '"q\\x01r"' in raw], [True, True])
# A label cut short still holds the whole name as its text, but is drawn no wider than 60 points.
boxes = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True).stdout
widths = [float(x1) - float(x0) for x0, x1 in re.findall(
    r'xMin="([\d.]+)" yMin="[\d.]+" xMax="([\d.]+)" yMax="[\d.]+">' + long_name, boxes)]
expect("odd: long name whole in the table, short in a label",
       (long_name in "".join(raw.split()), min(widths, default=999) <= 60.5), (True, True))

def finish():
    shutil.rmtree(work)
    print("\n".join(failures))
    sys.exit(1 if failures else 0)


if studies_only:
    finish()

# Reproducible: the same bytes in any time zone.
pdf = f"{work}/zone.pdf"
outputs = []
for zone in ["UTC", "Pacific/Kiritimati"]:
    run(["--report", pdf, "-o", f"{work}/zone.dat"] + many, env=dict(ENV, TZ=zone))
    outputs.append(open(pdf, "rb").read())
expect("two time zones, same bytes", outputs[0] == outputs[1], True)

# A failed run leaves an earlier report byte for byte: a broken task file, an output or a report
# that may not be written.
earlier = outputs[0]
protected = folder("protected")
os.chmod(protected, 0o777)
for what, locked, args in [
        ("broken task file", None, ["-o", f"{work}/x.dat", f"{data}/pp01.vty", f"{data}/broken.vty"]),
        ("output may not be written", "locked.dat", ["-o", f"{protected}/locked.dat", f"{data}/pp01.vty"]),
        ("report may not be written", "report.pdf", ["-o", f"{protected}/x.dat", f"{data}/pp01.vty"])]:
    for name in ["report.pdf", "locked.dat"]:
        with open(f"{protected}/{name}", "wb") as f:
            f.write(earlier)
        os.chmod(f"{protected}/{name}", 0o444 if name == locked else 0o666)
    done = run(["--report", f"{protected}/report.pdf"] + args, prefix=NOBODY if locked else ())
    expect(f"{what}: status", done.returncode, 1)
    expect(f"{what}: earlier report", open(f"{protected}/report.pdf", "rb").read() == earlier, True)

# A replaced report keeps its mode, as every output does.
os.chmod(f"{protected}/report.pdf", 0o600)
done = run(["--report", f"{protected}/report.pdf", "-o", f"{protected}/x.dat", f"{data}/pp01.vty"])
replaced = open(f"{protected}/report.pdf", "rb").read()
expect("private report", (done.returncode, oct(os.stat(f"{protected}/report.pdf").st_mode & 0o777),
                          replaced.startswith(b"%PDF") and replaced != earlier), (0, "0o600", True))

# A check whose every file fails still has a report, of no participant.
done = run(["--check", "--report", f"{work}/none.pdf", f"{data}/broken.vty"])
text = subprocess.run(["pdftotext", "-layout", f"{work}/none.pdf", "-"], capture_output=True,
                      text=True).stdout
expect("nothing passes", (done.returncode, "nothing to plot" in text, "(Overflow)" in text),
       (1, True, True))
finish()

"""What the batch command leaves behind when things go wrong, for every output format: the earlier
output byte for byte (or the new one, whole), its mode, owner and links, no stray file beside it,
and the exit status and message. Cases that need permissions to hold run as the unprivileged user
nobody when the test runs as root, as CI does.
Usage: output_faults.py DOZORIRA_BATCH TEST_DATA cases|killed"""
import os
import random
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

batch, data, part = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3]
FORMATS = ["dat", "tsv", "sav", "dta", "csv", "xlsx"]
ENV = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", LANG="C")
AS_ROOT = os.geteuid() == 0
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if AS_ROOT else []
work = tempfile.mkdtemp()
os.chmod(work, 0o755)
failures = []


def study(name, count, source="pp02.vty"):
    folder = f"{work}/{name}"
    os.makedirs(folder)
    for i in range(count):
        shutil.copy(f"{data}/{source}", f"{folder}/{name}{i:04}.vty")
    return sorted(f"{folder}/{f}" for f in os.listdir(folder))


SMALL = study("a", 3)
OTHER = study("b", 3, "pp01.vty")
LARGE = study("large", 1000)
MANY = study("many", 800, "pp01.vty")  # another study, as a task file may be given only once
BROKEN = SMALL + [f"{data}/broken.vty"]
TYPO = SMALL + [f"{work}/a/a0009.vty"]


def run(args, as_nobody=False, limit=None, stdout=subprocess.PIPE):
    def limited():
        if limit:
            signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    prefix = NOBODY if as_nobody else []
    return subprocess.run(prefix + [batch] + args, env=ENV, stdout=stdout, stderr=subprocess.PIPE,
                          preexec_fn=limited, cwd=work)


def reference(fmt, files, name):
    path = f"{work}/{name}.{fmt}"
    if not os.path.exists(path):
        assert run(["--format", fmt, "-o", path] + files).returncode == 0
    return open(path, "rb").read()


def expect(what, got, wanted):
    if got != wanted:
        failures.append(f"{what}: got {got!r:.120}, wanted {wanted!r:.120}")


def folder_for(case, fmt):
    folder = f"{work}/{case}-{fmt}"
    os.makedirs(folder)
    os.chmod(folder, 0o777)
    return folder


def snapshot(path):
    s = os.stat(path)
    return open(path, "rb").read(), stat.S_IMODE(s.st_mode), s.st_uid, s.st_gid, s.st_nlink


# Each case prepares the folder and returns the arguments, how to run and what must hold after.
def case_failing_file(folder, fmt):
    return dict(files=BROKEN, status=1, message="(Overflow)", earlier="kept")


def case_missing_task_file(folder, fmt):
    return dict(files=TYPO, status=1, message="No such file or directory", earlier="kept")


def case_private_mode(folder, fmt):
    os.chmod(f"{folder}/out", 0o600)
    return dict(status=0, earlier="replaced")


def case_other_owner(folder, fmt):
    if AS_ROOT:
        os.chown(f"{folder}/out", 65534, 65534)
        os.chmod(f"{folder}/out", 0o640)
    return dict(status=0, earlier="replaced")


def case_hard_link(folder, fmt):
    os.link(f"{folder}/out", f"{folder}/other-name")
    return dict(status=0, earlier="replaced", same=["other-name"])


def case_extended_attributes(folder, fmt):
    os.setxattr(f"{folder}/out", "user.study", b"pilot")
    return dict(status=0, earlier="replaced", attribute=b"pilot")


def case_symbolic_link(folder, fmt):
    os.rename(f"{folder}/out", f"{folder}/real")
    os.symlink("real", f"{folder}/out")
    return dict(status=0, earlier="replaced", through="real")


def case_link_loop(folder, fmt):
    os.remove(f"{folder}/out")
    os.symlink("loop", f"{folder}/out")
    os.symlink("out", f"{folder}/loop")
    return dict(status=1, message="Too many levels of symbolic links", earlier=None)


def case_file_size_limit(folder, fmt):
    return dict(files=LARGE[:60], status=1, message="File too large", earlier="kept", limit=600)


def case_task_file_as_output(folder, fmt):
    os.remove(f"{folder}/out")
    os.link(SMALL[0], f"{folder}/out")
    return dict(status=1, message="the output file is this task file", earlier="kept")


def case_write_protected(folder, fmt):
    os.chmod(f"{folder}/out", 0o444)
    os.chown(f"{folder}/out", 65534, 65534) if AS_ROOT else None
    return dict(status=1, message="Permission denied", earlier="kept", nobody=True)


def case_colleagues_group_file(folder, fmt):
    os.chown(f"{folder}/out", 0, 65534) if AS_ROOT else None
    os.chmod(f"{folder}/out", 0o660)
    return dict(status=0, earlier="replaced", nobody=True)


def case_folder_not_writable(folder, fmt):
    os.chown(f"{folder}/out", 65534, 65534) if AS_ROOT else None
    os.chmod(folder, 0o755)
    return dict(status=0, earlier="replaced", nobody=True)


CASES = [case_failing_file, case_missing_task_file, case_private_mode, case_other_owner,
         case_hard_link, case_extended_attributes, case_symbolic_link, case_link_loop, case_file_size_limit,
         case_task_file_as_output, case_write_protected, case_colleagues_group_file,
         case_folder_not_writable]

def killed(fmt):
    """Killed at any moment, a run leaves the earlier output or the new one, and nothing else."""
    folder = folder_for("killed", fmt)
    earlier = reference(fmt, OTHER, "other")
    with open(f"{folder}/out", "wb") as f:
        f.write(earlier)
    started = time.monotonic()
    run(["--format", fmt, "-o", f"{work}/timing"] + LARGE)
    took = time.monotonic() - started
    for attempt in range(20):
        p = subprocess.Popen([batch, "--format", fmt, "-o", f"{folder}/out"] + LARGE, env=ENV,
                             stderr=subprocess.DEVNULL)
        time.sleep(random.uniform(0, took))
        p.send_signal(random.choice([signal.SIGKILL, signal.SIGTERM, signal.SIGINT, signal.SIGHUP]))
        p.wait()
        # A run killed while it puts the new file in place leaves that to a child process, which
        # ends a moment later.
        for wait in range(50):
            if os.listdir(folder) == ["out"]:
                break
            time.sleep(0.01)
        expect(f"killed {fmt}: files beside", os.listdir(folder), ["out"])
        expect(f"killed {fmt}: output", open(f"{folder}/out", "rb").read() in
               (earlier, reference(fmt, LARGE, "large")), True)


def cases(fmt):
    new = reference(fmt, SMALL, "small")
    for case in CASES:
        name = f"{case.__name__[5:]} {fmt}"
        folder = folder_for(case.__name__[5:], fmt)
        with open(f"{folder}/out", "wb") as f:
            f.write(reference(fmt, OTHER, "other"))
        os.chmod(f"{folder}/out", 0o644)
        c = case(folder, fmt)
        if c.get("nobody") and not AS_ROOT and os.geteuid() == 0:
            continue
        out = f"{folder}/{c.get('through', 'out')}"
        before = snapshot(out) if os.path.exists(out) else None
        done = run(["--format", fmt, "-o", f"{folder}/out"] + c.get("files", SMALL),
                   as_nobody=c.get("nobody", False), limit=c.get("limit"))
        expect(f"{name}: status", done.returncode, c["status"])
        message = done.stderr.decode(errors="replace")
        ok = c.get("message", "") in message and message.count("\n") <= 1
        expect(f"{name}: message", (ok, c["status"] == 0), (True, message == ""))
        if before and c["earlier"] == "kept":
            expect(f"{name}: earlier output", snapshot(out), before)
        if before and c["earlier"] == "replaced":
            expect(f"{name}: new output", snapshot(out), (new,) + before[1:])
        if "attribute" in c:
            expect(f"{name}: attribute", os.getxattr(out, "user.study"), c["attribute"])
        for other in c.get("same", []):
            expect(f"{name}: {other}", open(f"{folder}/{other}", "rb").read(), new)
        names = {"out", "loop", "real", "other-name"}
        expect(f"{name}: files beside", set(os.listdir(folder)) - names, set())
        if os.path.islink(f"{folder}/out"):
            expect(f"{name}: link kept", os.readlink(f"{folder}/out"), c.get("through", "loop"))

    # Standard output: a file's bytes, and no file named "-"; a regular file behind /dev/stdout
    # is written into, not replaced.
    expect(f"-o - {fmt}", run(["--format", fmt, "-o", "-"] + SMALL).stdout, new)
    expect(f"-o - {fmt}: no file", os.path.exists(f"{work}/-"), False)
    folder = folder_for("stdout", fmt)
    with open(f"{folder}/redirected", "wb") as f:
        inode = os.fstat(f.fileno()).st_ino
        run(["--format", fmt, "-o", "/dev/stdout"] + SMALL, stdout=f)
    expect(f"/dev/stdout {fmt}", (open(f"{folder}/redirected", "rb").read(),
                                  os.stat(f"{folder}/redirected").st_ino), (new, inode))
    done = run(["--format", fmt, "-o", f"{folder}/missing/out"] + SMALL)
    expect(f"missing folder {fmt}", (done.returncode, b"the output folder" in done.stderr),
           (1, True))

    # Two runs of different studies at once leave one of them, whole.
    folder = folder_for("together", fmt)
    both = [subprocess.Popen([batch, "--format", fmt, "-o", f"{folder}/out"] + files, env=ENV)
            for files in (LARGE, MANY)]
    expect(f"together {fmt}: status", [p.wait() for p in both], [0, 0])
    expect(f"together {fmt}: one whole study", open(f"{folder}/out", "rb").read() in
           (reference(fmt, LARGE, "large"), reference(fmt, MANY, "many")), True)

for fmt in FORMATS:
    (cases if part == "cases" else killed)(fmt)
# A report lost on a full disk is an error.
with open("/dev/full", "wb") as full:
    if part == "cases":
        expect("--check > /dev/full", run(["--check"] + SMALL, stdout=full).returncode, 1)

shutil.rmtree(work)
print("\n".join(failures))
sys.exit(1 if failures else 0)

"""What the batch command leaves behind when things go wrong, for every output format: the earlier
output byte for byte (or the new one, whole), its mode, owner, ACL and links, no stray file beside
it, and the exit status and message. Cases meant for a second user run as the unprivileged user
nobody (the test runs as root, as CI does); faults come from strace's injection, a shim that takes
O_TMPFILE away, a FUSE file system and a loop-mounted ext2 image. A case whose facility this
machine lacks is skipped with its reason.
The task files of the studies are copies made once, by the part "studies", in the folder that
DOZORIRA_FAULT_STUDIES names, which the other parts only read; without it each part makes its own.
Usage: output_faults.py DOZORIRA_BATCH TEST_DATA studies|cases_FORMAT|killed|fallback|injected
       [NO_TMPFILE_SHIM]"""
import errno
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
shim = os.path.abspath(sys.argv[4]) if len(sys.argv) > 4 else None
FORMATS = ["dat", "tsv", "sav", "dta", "csv", "xlsx"]
ENV = dict(os.environ, SOURCE_DATE_EPOCH="1700000000", LANG="C")
AS_ROOT = os.geteuid() == 0
NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
NOBODY_ID, NOGROUP_ID, DAEMON_ID = 65534, 65534, 1
work = tempfile.mkdtemp()
os.chmod(work, 0o755)
failures = []


def skip(reason):
    print(f"skipped: {reason}")




STUDIES = os.environ.get("DOZORIRA_FAULT_STUDIES") or f"{work}/studies"
MADE = f"{STUDIES}/made"  # there once every study is whole


def study(name, count, source="pp02.vty"):
    """count copies of a task file, each a file of its own, as a task file may be given once."""
    folder = f"{STUDIES}/{name}"
    names = [f"{folder}/{name}{i:04}.vty" for i in range(count)]
    if not os.path.exists(MADE):
        os.makedirs(folder)
        content = open(f"{data}/{source}", "rb").read()
        for path in names:
            with open(path, "wb") as f:
                f.write(content)
    return names


if part == "studies":
    shutil.rmtree(STUDIES, ignore_errors=True)


SMALL = study("a", 3)
OTHER = study("b", 3, "pp01.vty")
LARGE = study("large", 1000)
MANY = study("many", 800, "pp01.vty")
open(MADE, "w").close()
BROKEN = SMALL + [f"{data}/broken.vty"]
TYPO = SMALL + [f"{STUDIES}/a/a0009.vty"]


def run(args, as_nobody=False, limit=None, stdout=subprocess.PIPE, prefix=(), env=None):
    def limited():
        if limit:
            signal.signal(signal.SIGXFSZ, signal.SIG_DFL)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    command = list(prefix) + (NOBODY if as_nobody else []) + [batch] + args
    try:
        return subprocess.run(command, env=env or ENV, stdout=stdout, stderr=subprocess.PIPE,
                              preexec_fn=limited, cwd=work, timeout=20)
    except subprocess.TimeoutExpired:
        failures.append(f"{' '.join(args[:4])}: still running after 20 seconds")
        return subprocess.CompletedProcess(args, -1, b"", b"")


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


def acl_of(path):
    try:
        return os.getxattr(path, "system.posix_acl_access", follow_symlinks=False)
    except OSError:
        return None


def snapshot(path):
    s = os.stat(path)
    return dict(bytes=open(path, "rb").read(), mode=stat.S_IMODE(s.st_mode), uid=s.st_uid,
                gid=s.st_gid, links=s.st_nlink, acl=acl_of(path))


def leftovers(folder, kept=()):
    return sorted(set(os.listdir(folder)) - set(kept))


# Each case prepares the folder (its output "out" holds an earlier study, mode 0644) and returns
# how to run and what must hold after: the status, a part of the one-line message, the earlier
# output "kept" or "replaced" (then with the same mode, owner, group, links and ACL unless "after"
# says otherwise), and the names beside it that keep the earlier study. The cases of a second
# user ("nobody") end in what root would not get: a refusal, an owner or an inode that only
# nobody's run gives, so that each shows it ran as nobody.
def case_failing_file(folder, fmt):
    return dict(files=BROKEN, status=1, message="(Overflow)", earlier="kept")


def case_missing_task_file(folder, fmt):
    return dict(files=TYPO, status=1, message="No such file or directory", earlier="kept")


def case_private_mode(folder, fmt):
    os.chmod(f"{folder}/out", 0o600)
    return dict(status=0, earlier="replaced")


def case_other_owner_as_root(folder, fmt):
    os.chown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    os.chmod(f"{folder}/out", 0o640)
    return dict(status=0, earlier="replaced")


def case_colleagues_file(folder, fmt):
    # nobody may write daemon's file, not give it back to daemon: it becomes nobody's, group kept.
    os.chown(f"{folder}/out", DAEMON_ID, NOGROUP_ID)
    os.chmod(f"{folder}/out", 0o660)
    return dict(status=0, earlier="replaced", nobody=True, after=dict(uid=NOBODY_ID),
                message="the output belonged to daemon; the new study is yours")


def case_colleagues_file_of_another_group(folder, fmt):
    os.chown(f"{folder}/out", DAEMON_ID, DAEMON_ID)
    os.chmod(f"{folder}/out", 0o646)
    return dict(status=0, earlier="replaced", nobody=True,
                after=dict(uid=NOBODY_ID, gid=NOGROUP_ID),
                message="belonged to daemon and its group; the new study is yours and your group's")


def case_hard_link(folder, fmt):
    os.link(f"{folder}/out", f"{folder}/other-name")
    return dict(status=0, earlier="replaced", earlier_names=["other-name"], after=dict(links=1),
                message="another name (a hard link), which keeps the earlier study")


def case_hard_link_in_place(folder, fmt):
    os.link(f"{folder}/out", f"{folder}/other-name")
    return dict(status=0, earlier="replaced", args=["--in-place"], new_names=["other-name"])


def case_extended_attributes(folder, fmt):
    os.setxattr(f"{folder}/out", "user.study", b"pilot")
    return dict(status=0, earlier="replaced", attribute=b"pilot")


def case_access_acl(folder, fmt):
    subprocess.run(["setfacl", "-m", "u:daemon:r", f"{folder}/out"], check=True)
    return dict(status=0, earlier="replaced")


def case_folders_default_acl(folder, fmt):
    # The folder would give a new file to nobody; the output, 0640 without an ACL, stays so.
    subprocess.run(["setfacl", "-d", "-m", "u:nobody:rw", folder], check=True)
    os.chmod(f"{folder}/out", 0o640)
    return dict(status=0, earlier="replaced")


def case_symbolic_link(folder, fmt):
    os.rename(f"{folder}/out", f"{folder}/real")
    os.symlink("real", f"{folder}/out")
    return dict(status=0, earlier="replaced", through="real")


def case_dangling_symbolic_link(folder, fmt):
    os.remove(f"{folder}/out")
    os.symlink("real", f"{folder}/out")
    return dict(status=1, message="which does not exist; give that file's name itself",
                earlier=None)


def case_link_loop(folder, fmt):
    os.remove(f"{folder}/out")
    os.symlink("loop", f"{folder}/out")
    os.symlink("out", f"{folder}/loop")
    return dict(status=1, message="Too many levels of symbolic links", earlier=None)


def case_file_size_limit(folder, fmt):
    return dict(files=LARGE[:60], status=1, message="File too large", earlier="kept", limit=600)


def case_task_file_as_output(folder, fmt):
    # A task file of its own: the parts running beside this one link the shared ones too.
    task = shutil.copy(SMALL[0], f"{folder}.vty")
    os.remove(f"{folder}/out")
    os.link(task, f"{folder}/out")
    return dict(status=1, message="the output file is this task file", earlier="kept",
                files=[task] + SMALL[1:])


def case_write_protected(folder, fmt):
    os.chmod(f"{folder}/out", 0o444)
    os.chown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    return dict(status=1, message="Permission denied", earlier="kept", nobody=True)


def case_colleagues_group_file(folder, fmt):
    os.chown(f"{folder}/out", 0, NOGROUP_ID)
    os.chmod(f"{folder}/out", 0o660)
    return dict(status=0, earlier="replaced", nobody=True, after=dict(uid=NOBODY_ID),
                message="the output belonged to root")


def case_folder_not_writable(folder, fmt):
    os.chown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    os.chmod(folder, 0o755)
    return dict(status=1, earlier="kept", nobody=True,
                message="may not be written (Permission denied); give --in-place")


def case_folder_not_writable_in_place(folder, fmt):
    os.chown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    os.chmod(folder, 0o755)
    return dict(status=0, earlier="replaced", nobody=True, args=["--in-place"], same_inode=True)


# In a folder where everyone may put files, names that someone else put there are refused, as
# the kernel's protected_fifos, protected_regular and protected_symlinks refuse them.
def case_planted_file(folder, fmt):
    os.chmod(folder, 0o1777)
    os.chown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    return dict(status=1, earlier="kept", message="the output is a file of nobody in a folder "
                "where others may put files (sticky)")


def case_planted_pipe(folder, fmt):
    os.chmod(folder, 0o1777)
    os.remove(f"{folder}/out")
    os.mkfifo(f"{folder}/out")
    os.chown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    return dict(status=1, earlier=None, message="the output is a pipe (FIFO) of nobody")


def case_planted_symbolic_link(folder, fmt):
    os.chmod(folder, 0o1777)
    os.makedirs(f"{work}/root-only-{fmt}", mode=0o700)
    os.remove(f"{folder}/out")
    os.symlink(f"{work}/root-only-{fmt}/study", f"{folder}/out")
    os.lchown(f"{folder}/out", NOBODY_ID, NOGROUP_ID)
    return dict(status=1, earlier=None, message="the output is a symbolic link of nobody",
                nothing_at=f"{work}/root-only-{fmt}/study")


CASES = [case_failing_file, case_missing_task_file, case_private_mode, case_other_owner_as_root,
         case_colleagues_file, case_colleagues_file_of_another_group, case_hard_link,
         case_hard_link_in_place, case_extended_attributes, case_access_acl,
         case_folders_default_acl, case_symbolic_link, case_dangling_symbolic_link,
         case_link_loop, case_file_size_limit, case_task_file_as_output, case_write_protected,
         case_colleagues_group_file, case_folder_not_writable, case_folder_not_writable_in_place,
         case_planted_file, case_planted_pipe, case_planted_symbolic_link]


def check_case(case, fmt, new):
    name = f"{case.__name__[5:]} {fmt}"
    folder = folder_for(case.__name__[5:], fmt)
    with open(f"{folder}/out", "wb") as f:
        f.write(reference(fmt, OTHER, "other"))
    os.chmod(f"{folder}/out", 0o644)
    try:
        c = case(folder, fmt)
    except PermissionError:
        return skip(f"{name}: giving files to other users needs root")
    except (FileNotFoundError, subprocess.CalledProcessError) as e:
        return skip(f"{name}: {e}")
    if c.get("nobody") and not AS_ROOT:
        return skip(f"{name}: running as nobody needs root")
    out = f"{folder}/{c.get('through', 'out')}"
    before = snapshot(out) if os.path.isfile(out) and not os.path.islink(out) or \
        c.get("through") else None
    inode = os.stat(out).st_ino if before else None
    done = run(c.get("args", []) + ["--format", fmt, "-o", f"{folder}/out"] +
               c.get("files", SMALL), as_nobody=c.get("nobody", False), limit=c.get("limit"))
    expect(f"{name}: status", done.returncode, c["status"])
    message = done.stderr.decode(errors="replace")
    expect(f"{name}: message", (c.get("message", "") in message, message.count("\n") <= 1),
           (True, True))
    if c["status"] == 0 and "message" not in c:
        expect(f"{name}: silent", message, "")
    if before and c["earlier"] == "kept":
        expect(f"{name}: earlier output", snapshot(out), before)
    if before and c["earlier"] == "replaced":
        wanted = dict(before, bytes=new, **c.get("after", {}))
        expect(f"{name}: new output", snapshot(out), wanted)
    if c.get("same_inode"):
        expect(f"{name}: written in place", os.stat(out).st_ino, inode)
    if "attribute" in c:
        expect(f"{name}: attribute", os.getxattr(out, "user.study"), c["attribute"])
    for other in c.get("earlier_names", []):
        expect(f"{name}: {other}", open(f"{folder}/{other}", "rb").read(), before["bytes"])
    for other in c.get("new_names", []):
        expect(f"{name}: {other}", open(f"{folder}/{other}", "rb").read(), new)
    if "nothing_at" in c:
        expect(f"{name}: nothing made through the link", os.path.lexists(c["nothing_at"]), False)
    expect(f"{name}: files beside",
           leftovers(folder, {"out", "loop", "real", "other-name"}), [])
    if os.path.islink(f"{folder}/out") and "through" in c:
        expect(f"{name}: link kept", os.readlink(f"{folder}/out"), c["through"])


def standard_output(fmt, new):
    """-o - and every name of standard output write into it: a file's bytes, no file named "-",
    and a log that standard output appends to gets the study appended, however it is spelled."""
    expect(f"-o - {fmt}", run(["--format", fmt, "-o", "-"] + SMALL).stdout, new)
    expect(f"-o - {fmt}: no file", os.path.exists(f"{work}/-"), False)
    folder = folder_for("stdout", fmt)
    for spelling in ["/dev/stdout", "/dev//stdout", "/dev/./stdout", "/proc/self/fd//1",
                     "/proc/thread-self/fd/1"]:
        with open(f"{folder}/log", "wb") as f:
            f.write(b"log\n")
        with open(f"{folder}/log", "ab") as f:
            inode = os.fstat(f.fileno()).st_ino
            run(["--format", fmt, "-o", spelling] + SMALL, stdout=f)
        expect(f"{spelling} {fmt}", (open(f"{folder}/log", "rb").read(),
                                     os.stat(f"{folder}/log").st_ino), (b"log\n" + new, inode))
    done = run(["--format", fmt, "-o", f"{folder}/missing/out"] + SMALL)
    expect(f"missing folder {fmt}", (done.returncode, b"the output folder" in done.stderr),
           (1, True))


def together(fmt):
    """Two runs of different studies at once leave one of them, whole."""
    folder = folder_for("together", fmt)
    both = [subprocess.Popen([batch, "--format", fmt, "-o", f"{folder}/out"] + files, env=ENV)
            for files in (LARGE, MANY)]
    expect(f"together {fmt}: status", [p.wait() for p in both], [0, 0])
    expect(f"together {fmt}: one whole study", open(f"{folder}/out", "rb").read() in
           (reference(fmt, LARGE, "large"), reference(fmt, MANY, "many")), True)


def cases(fmt):
    new = reference(fmt, SMALL, "small")
    for case in CASES:
        check_case(case, fmt, new)
    standard_output(fmt, new)
    together(fmt)


def endless_and_environment():
    """A header line that never ends is refused as a data line is; a TMPDIR that cannot be written
    is named as the cause."""
    done = run(["-o", f"{work}/zero.dat", "/dev/zero"])
    expect("endless header: status", done.returncode, 1)
    expect("endless header: message", b"header line 1: the line is longer than 16 MiB" in
           done.stderr, True)
    env = dict(ENV, TMPDIR=f"{work}/no-such-folder")
    done = run(["-o", "-", "--format", "xlsx"] + SMALL, env=env)
    expect("unwritable TMPDIR: message", (done.returncode, b'in TMPDIR "' in done.stderr),
           (1, True))
    with open("/dev/full", "wb") as full:
        # A report lost on a full disk is an error.
        expect("--check > /dev/full", run(["--check"] + SMALL, stdout=full).returncode, 1)


def wait_until(condition, seconds=10):
    end = time.monotonic() + seconds
    while not condition() and time.monotonic() < end:
        time.sleep(0.002)
    return condition()


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
        wait_until(lambda: os.listdir(folder) == ["out"], 0.5)
        expect(f"killed {fmt}: files beside", os.listdir(folder), ["out"])
        expect(f"killed {fmt}: output", open(f"{folder}/out", "rb").read() in
               (earlier, reference(fmt, LARGE, "large")), True)


def killed_as_a_group():
    """kill -9 of the run's whole process group (timeout, a scheduler, systemctl stop) between the
    link and the rename: the child that renames has left the group and finishes its work."""
    if not shutil.which("strace"):
        return skip("group kill: needs strace")
    folder = folder_for("group-kill", "dat")
    with open(f"{folder}/out", "wb") as f:
        f.write(b"earlier")
    # strace holds the rename back for a second, and is killed with the group.
    p = subprocess.Popen(["strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=renameat",
                          "-e", "inject=renameat:delay_enter=1000000", batch, "-o",
                          f"{folder}/out"] + SMALL, env=ENV, start_new_session=True)
    if not wait_until(lambda: len(os.listdir(folder)) > 1, 5):
        failures.append("group kill: the run never linked its file")
    os.killpg(p.pid, signal.SIGKILL)
    p.wait()
    wait_until(lambda: os.listdir(folder) == ["out"], 3)
    expect("group kill: files beside", os.listdir(folder), ["out"])
    expect("group kill: output", open(f"{folder}/out", "rb").read(),
           reference("dat", SMALL, "small"))


def blocked_run(folder, args=(), env=None, preexec=None):
    """A run whose last task file is a pipe nobody writes yet: its new file exists until the pipe is
    fed. Returns the process and a function that feeds the pipe."""
    pipe = f"{folder}.pipe-{random.getrandbits(32)}.vty"
    os.mkfifo(pipe)
    p = subprocess.Popen([batch] + list(args) + ["-o", f"{folder}/out"] + SMALL + [pipe],
                         env=env or ENV, stderr=subprocess.PIPE, preexec_fn=preexec)

    def feed():
        with open(pipe, "wb") as f:
            f.write(open(SMALL[0], "rb").read())
    return p, feed


def fallback():
    """Where the file system makes no unnamed files, the named one is private, goes with every
    signal that can be caught, leaves ignored signals ignored, and a kill -9's is removed by the
    next run, never a live run's."""
    if not shim or not AS_ROOT:
        return skip("fallback: needs the O_TMPFILE shim and root")
    env = dict(ENV, LD_PRELOAD=shim)
    for fmt in FORMATS:
        folder = folder_for("fallback", fmt)
        with open(f"{folder}/out", "wb") as f:
            f.write(b"earlier")
        os.chmod(f"{folder}/out", 0o640)
        done = run(["--format", fmt, "-o", f"{folder}/out"] + SMALL, env=env)
        expect(f"fallback {fmt}", (done.returncode, snapshot(f"{folder}/out")["bytes"],
                                   os.listdir(folder)),
               (0, reference(fmt, SMALL, "small"), ["out"]))

    folder = folder_for("fallback-signals", "dat")
    for sig in [signal.SIGXCPU, signal.SIGALRM, signal.SIGUSR1, signal.SIGPIPE, signal.SIGTERM,
                signal.SIGINT, signal.SIGKILL]:
        with open(f"{folder}/out", "wb") as f:
            f.write(b"earlier")
        p, feed = blocked_run(folder, env=env)
        wait_until(lambda: len(os.listdir(folder)) == 2)
        temporary = [n for n in os.listdir(folder) if n != "out"]
        expect(f"fallback {sig.name}: a private named file",
               [stat.S_IMODE(os.stat(f"{folder}/{n}").st_mode) for n in temporary], [0o600])
        p.send_signal(sig)
        expect(f"fallback {sig.name}: ended by it", p.wait(), -sig)
        kept = ["out"] + (temporary if sig == signal.SIGKILL else [])
        expect(f"fallback {sig.name}: files beside", sorted(os.listdir(folder)), sorted(kept))
        expect(f"fallback {sig.name}: output", open(f"{folder}/out", "rb").read(), b"earlier")

    # The file a kill -9 left is removed by the next run into the folder; a live run's is not.
    live, feed = blocked_run(folder, env=env)
    wait_until(lambda: len(set(os.listdir(folder)) - {"out"} - set(temporary)) == 1)
    expect("next run: the killed run's file removed", set(temporary) & set(os.listdir(folder)),
           set())
    livefile = set(os.listdir(folder)) - {"out"}
    done = run(["-o", f"{folder}/out"] + SMALL, env=env)
    expect("next run: status", done.returncode, 0)
    expect("next run: the live run's file kept", set(os.listdir(folder)) - {"out"}, livefile)
    feed()
    expect("live run: status", live.wait(), 0)
    expect("live run: files beside", os.listdir(folder), ["out"])

    # nohup: an ignored SIGHUP stays ignored, and the handlers are restored afterwards.
    def ignore_hangup():
        signal.signal(signal.SIGHUP, signal.SIG_IGN)
    p, feed = blocked_run(folder, env=env, preexec=ignore_hangup)
    wait_until(lambda: len(os.listdir(folder)) == 2)
    p.send_signal(signal.SIGHUP)
    time.sleep(0.05)
    feed()
    expect("nohup: status", p.wait(), 0)
    expect("nohup: files beside", os.listdir(folder), ["out"])
    fuse()


def fuse():
    """A FUSE file system (bindfs) is a real one without O_TMPFILE."""
    if not shutil.which("bindfs") or not os.path.exists("/dev/fuse"):
        return skip("FUSE: no bindfs or /dev/fuse")
    source, mounted = folder_for("fuse-source", "all"), f"{work}/fuse"
    os.makedirs(mounted)
    if subprocess.run(["bindfs", source, mounted], stderr=subprocess.PIPE).returncode != 0:
        return skip("FUSE: bindfs cannot mount here")
    try:
        for fmt in FORMATS:
            with open(f"{mounted}/out", "wb") as f:
                f.write(b"earlier")
            done = run(["--format", fmt, "-o", f"{mounted}/out"] + SMALL)
            expect(f"FUSE {fmt}", (done.returncode, open(f"{mounted}/out", "rb").read(),
                                   os.listdir(mounted)), (0, reference(fmt, SMALL, "small"),
                                                          ["out"]))
    finally:
        subprocess.run(["fusermount3", "-u", mounted])


def strace_run(injection, args, prefix=()):
    return run(args, prefix=["strace", "-f", "-qq", "-o", "/dev/null", "-e", injection] +
               list(prefix))


def injected():
    """Faults exactly where they hurt: after the rename, in the renaming child, at the rename."""
    if not shutil.which("strace") or not AS_ROOT:
        return skip("injected: needs strace and root")
    new = reference("dat", SMALL, "small")
    cases = [
        # injection, extra arguments, status, message, output afterwards
        ("inject=fsync:error=EIO:when=2", [], 3,
         "holds the new study, but its folder could not be flushed to disk", "new"),
        ("inject=vfork:error=EAGAIN", [], 0, "", "new"),
        ("inject=renameat:error=EBUSY", [], 1, "it is a mount point, a file mounted in that "
         "place; give --in-place", "earlier"),
        ("inject=renameat:signal=SIGKILL", [], 1, "cannot replace the output file", "earlier"),
        ("inject=write:error=EIO:when=2", ["--in-place"], 3,
         "written in place and may now hold part of the new study", None),
    ]
    for injection, extra, status, message, after in cases:
        folder = folder_for("injected", injection.replace("=", "-").replace(":", "-"))
        with open(f"{folder}/out", "wb") as f:
            f.write(b"earlier")
        done = strace_run(injection, extra + ["-o", f"{folder}/out"] + SMALL)
        expect(f"{injection}: status", done.returncode, status)
        expect(f"{injection}: message", (message in done.stderr.decode(),
                                         done.stderr.count(b"\n") <= 1), (True, True))
        if after:
            expect(f"{injection}: output", open(f"{folder}/out", "rb").read(),
                   new if after == "new" else b"earlier")
        expect(f"{injection}: files beside", os.listdir(folder), ["out"])

    # A parent that ignores SIGCHLD (trap '' CHLD) does not turn a replaced output into a failure.
    folder = folder_for("sigchld", "dat")
    with open(f"{folder}/out", "wb") as f:
        f.write(b"earlier")
    done = run(["-o", f"{folder}/out"] + SMALL,
               prefix=["bash", "-c", 'trap "" CHLD; exec "$0" "$@"'])
    expect("SIGCHLD ignored", (done.returncode, open(f"{folder}/out", "rb").read()), (0, new))
    # A run written in place while another run renames its study over the output says so.
    folder = folder_for("in-place-overtaken", "dat")
    with open(f"{folder}/out", "wb") as f:
        f.write(b"earlier")
    slow, feed = blocked_run(folder, ["--in-place"])
    time.sleep(0.1)
    expect("overtaken: the other run", run(["-o", f"{folder}/out"] + OTHER).returncode, 0)
    feed()
    expect("overtaken: status", slow.wait(), 3)
    expect("overtaken: message", b"no longer leads to that file" in slow.stderr.read(), True)
    expect("overtaken: output", open(f"{folder}/out", "rb").read(), reference("dat", OTHER, "other"))
    swapped_folder()
    mount_point()
    without_proc()
    no_room_to_reserve()


def swapped_folder():
    """A folder swapped for a symbolic link mid-run cannot send the output elsewhere."""
    folder = folder_for("swapped", "dat")
    elsewhere = f"{work}/someone-elses"
    os.makedirs(elsewhere, mode=0o700)
    p = subprocess.Popen(["strace", "-f", "-qq", "-o", "/dev/null", "-e",
                          "inject=fsync:delay_enter=1500000:when=1", batch, "-o",
                          f"{folder}/out"] + SMALL, env=ENV, stderr=subprocess.PIPE)
    time.sleep(0.7)
    os.rename(folder, f"{folder}.moved")
    os.symlink(elsewhere, folder)
    p.wait()
    expect("swapped folder: output in the folder it was", (
        os.listdir(elsewhere), os.listdir(f"{folder}.moved")), ([], ["out"]))


def mount_point():
    """A file bind-mounted in the output's place is refused without --in-place, before anything is
    read, and written into with it."""
    folder = folder_for("mount", "dat")
    with open(f"{folder}/out", "wb") as f:
        f.write(b"earlier")
    with open(f"{work}/mounted-file", "wb") as f:
        f.write(b"mounted")
    if subprocess.run(["mount", "--bind", f"{work}/mounted-file", f"{folder}/out"]).returncode:
        return skip("mount point: cannot bind-mount here")
    try:
        done = run(["-o", f"{folder}/out"] + TYPO)
        expect("mount point: refused first", (done.returncode, b"mount point" in done.stderr,
                                              b"--in-place" in done.stderr), (1, True, True))
        done = run(["--in-place", "-o", f"{folder}/out"] + SMALL)
        expect("mount point --in-place", (done.returncode, open(f"{folder}/out", "rb").read()),
               (0, reference("dat", SMALL, "small")))
    finally:
        subprocess.run(["umount", f"{folder}/out"])


def without_proc():
    """Without /proc the run finds its file another way, for the xlsx library too."""
    folder = folder_for("no-proc", "xlsx")
    for fmt in ["dat", "xlsx"]:
        done = run(["--format", fmt, "-o", f"{folder}/out"] + SMALL, prefix=[
            "unshare", "-m", "sh", "-c", 'mount -t tmpfs none /proc && exec "$0" "$@"'])
        if done.returncode != 0 and b"mount" in done.stderr:
            return skip("no /proc: cannot mount in a new namespace here")
        expect(f"no /proc {fmt}", (done.returncode, open(f"{folder}/out", "rb").read(),
                                   os.listdir(folder)), (0, reference(fmt, SMALL, "small"),
                                                         ["out"]))


def no_room_to_reserve():
    """On ext2, which cannot reserve space, with room for one copy of the study: a hard-linked
    output is replaced under its name, and --in-place refuses before it touches the output."""
    image, mounted = f"{work}/ext2.img", f"{work}/ext2"
    os.makedirs(mounted)
    with open(image, "wb") as f:
        f.truncate(2 << 20)
    made = subprocess.run(["mkfs.ext2", "-q", "-F", "-m", "0", image], stderr=subprocess.PIPE)
    if made.returncode or subprocess.run(["mount", "-o", "loop", image, mounted],
                                         stderr=subprocess.PIPE).returncode:
        return skip("ext2: no loop device or mkfs.ext2 here")
    try:
        with open(f"{mounted}/out", "wb") as f:
            f.write(b"earlier")
        os.link(f"{mounted}/out", f"{mounted}/other-name")
        with open(f"{mounted}/spacer", "wb") as f:
            f.write(b"x" * (len(reference("dat", LARGE, "large")) * 3 // 2))
        filler = os.open(f"{mounted}/filler", os.O_WRONLY | os.O_CREAT)
        try:
            while os.write(filler, b"x" * 4096):
                pass
        except OSError as e:
            assert e.errno == errno.ENOSPC
        os.close(filler)
        os.remove(f"{mounted}/spacer")
        done = run(["--in-place", "-o", f"{mounted}/out"] + LARGE)
        expect("ext2 --in-place", (done.returncode, b"cannot reserve space" in done.stderr,
                                   open(f"{mounted}/out", "rb").read()), (1, True, b"earlier"))
        done = run(["-o", f"{mounted}/out"] + LARGE)
        expect("ext2 hard link", (done.returncode, open(f"{mounted}/out", "rb").read(),
                                  open(f"{mounted}/other-name", "rb").read()),
               (0, reference("dat", LARGE, "large"), b"earlier"))
    finally:
        subprocess.run(["umount", mounted])


if part.startswith("cases_"):
    cases(part[len("cases_"):])
    if part == "cases_dat":
        endless_and_environment()
elif part == "killed":
    for fmt in FORMATS:
        killed(fmt)
    killed_as_a_group()
elif part == "fallback":
    fallback()
elif part == "injected":
    injected()

subprocess.run(["chmod", "-R", "u+w", work])
shutil.rmtree(work, ignore_errors=True)
print("\n".join(failures))
sys.exit(1 if failures else 0)

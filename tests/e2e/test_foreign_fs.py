"""File systems that another user mounted, and runs that wait in the kernel
(Linux, as root): a FUSE file system of user nobody that vouches for its own
links or never answers, and a stop signal while the run waits for a file
system. The FUSE file system is tests/e2e/hostile_fs.c, built here; every
mount is aborted and unmounted afterwards, also when the tool hangs."""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pytest

from conftest import BIN, Result, base_env, listed_names, make_files

pytestmark = [
    pytest.mark.posix_only,
    pytest.mark.skipif(sys.platform != "linux" or os.geteuid() != 0, reason="needs root on Linux"),
]

HERE = os.path.dirname(os.path.abspath(__file__))
CONNECTIONS = "/sys/fs/fuse/connections"
HELPER_USER = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


@pytest.fixture(scope="module")
def hostile_fs():
    """The built FUSE program, in a directory user nobody may read."""
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "fuse3"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    if flags.returncode or not os.path.exists("/dev/fuse") or not shutil.which("fusermount3"):
        pytest.skip("needs libfuse3-dev, fuse3 and /dev/fuse")
    base = tempfile.mkdtemp()
    os.chmod(base, 0o755)
    program = os.path.join(base, "hostile_fs")
    subprocess.run(["cc", "-O1", "-o", program, os.path.join(HERE, "hostile_fs.c")]
                   + flags.stdout.decode().split(), check=True)
    yield program
    shutil.rmtree(base)


class Mounts:
    """FUSE mounts of the hostile file system, each torn down at the end:
    its connection aborted (a request it never answers fails), its daemon
    killed, the mount lazily unmounted."""

    def __init__(self, program):
        self.program = program
        self.mounted = []  # (point, daemon, connection)

    def mount(self, point, mode, user="nobody", target="/"):
        command = [self.program, "-f", "-s", point]
        if user != "root":
            command = HELPER_USER + command + ["-o", "allow_other"]
        env = {"PATH": os.environ["PATH"], "HOSTILE_MODE": mode, "HOSTILE_TARGET": target}
        daemon = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while (connection := self._connection(point)) is None:
            assert daemon.poll() is None and time.monotonic() < end, "no mount at " + point
            time.sleep(0.02)
        self.mounted.append((point, daemon, connection))
        return daemon

    @staticmethod
    def _connection(point):
        """The FUSE connection of the mount at `point`, from the mount table
        (a stat of the mount would ask the file system)."""
        with open("/proc/self/mountinfo") as table:
            for line in table:
                fields = line.split()
                if fields[4] == point and " - fuse" in line:
                    return fields[2].split(":")[1]
        return None

    def abort_all(self):
        for _, _, connection in self.mounted:
            try:
                with open(os.path.join(CONNECTIONS, connection, "abort"), "w") as abort:
                    abort.write("1")
            except OSError:
                pass

    def release_all(self):
        self.abort_all()
        for point, daemon, _ in self.mounted:
            if daemon.poll() is None:
                os.kill(daemon.pid, signal.SIGCONT)
                daemon.kill()
            daemon.wait(timeout=10)
            subprocess.run(["umount", "-l", point], stderr=subprocess.DEVNULL)
        self.mounted = []


@pytest.fixture
def mounts(hostile_fs):
    """Lets users mount FUSE file systems that others may enter (mode 0666 on
    /dev/fuse, user_allow_other), as machines with such tools do; restored
    afterwards."""
    mode = os.stat("/dev/fuse").st_mode & 0o7777
    conf = "/etc/fuse.conf"
    saved = open(conf).read() if os.path.exists(conf) else None
    made_connections = not os.path.ismount(CONNECTIONS)
    if made_connections:
        subprocess.run(["mount", "-t", "fusectl", "fusectl", CONNECTIONS], check=True)
    os.chmod("/dev/fuse", 0o666)
    with open(conf, "a") as f:
        f.write("\nuser_allow_other\n")
    fuse_mounts = Mounts(hostile_fs)
    try:
        yield fuse_mounts
    finally:
        fuse_mounts.release_all()
        os.chmod("/dev/fuse", mode)
        if saved is None:
            os.remove(conf)
        else:
            with open(conf, "w") as f:
                f.write(saved)
        if made_connections:
            subprocess.run(["umount", CONNECTIONS])


@pytest.fixture
def shared_dir():
    """A directory that user nobody may write (1777), in a tree only root
    writes, and a victim directory beside it."""
    base = tempfile.mkdtemp()
    os.chmod(base, 0o755)
    cleaned, victim = os.path.join(base, "cleaned"), os.path.join(base, "victim")
    os.mkdir(cleaned)
    os.chmod(cleaned, 0o1777)
    make_files(victim, {"v1.log": 1, "v2.log": 2, "v3.log": 3})
    yield cleaned, victim
    shutil.rmtree(base, ignore_errors=True)


def as_nobody(*command):
    subprocess.run(HELPER_USER + list(command), check=True)


def run_bounded(args, mounts, timeout=20):
    """Runs the tool; a run that hangs fails the test once the mounts are
    aborted, so it can be ended."""
    proc = subprocess.Popen([BIN] + args, env=base_env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        mounts.abort_all()
        proc.kill()
        proc.communicate()
        pytest.fail("the run hung on the FUSE file system")
    assert err == b""
    return Result(proc.returncode, out)


@pytest.mark.parametrize("mount_point, make, mode, value, deleted", [
    # It reports a link as root's, to the victim directory, and a file.
    ("archive", "mkdir", "link", "archive/lnk/*.log", []),
    ("archive", "mkdir", "link", "archive/*.log", []),
    # It never answers: mounted on a directory and on a file of the listing.
    ("mnt.log", "mkdir", "hang", "*.log", ["a.log"]),
    ("file.log", "touch", "hang", "*.log", ["a.log"]),
])
def test_foreign_file_system_is_trusted_for_nothing(shared_dir, mounts, mount_point, make, mode,
                                                     value, deleted):
    cleaned, victim = shared_dir
    make_files(cleaned, {"a.log": 1})
    point = os.path.join(cleaned, mount_point)
    as_nobody(make, point)
    mounts.mount(point, mode, target=victim)
    result = run_bounded(["-f", os.path.join(cleaned, value), "-D", "-b"], mounts)
    assert result.returncode == 0
    assert listed_names(result) == deleted
    assert sorted(os.listdir(victim)) == ["v1.log", "v2.log", "v3.log"]


def test_stop_signal_ends_a_run_that_waits_for_a_file_system(mounts):
    """The file system is root's own (trusted), but its daemon is stopped:
    the listing waits in the kernel, and SIGTERM must end the run there."""
    base = tempfile.mkdtemp()
    point = os.path.join(base, "mnt")
    os.mkdir(point)
    try:
        daemon = mounts.mount(point, "link", user="root")
        assert "a.log" in os.listdir(point)  # the connection is up
        os.kill(daemon.pid, signal.SIGSTOP)
        proc = subprocess.Popen([BIN, "-f", point, "-D", "-b"], env=base_env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        end = time.monotonic() + 10
        while not open("/proc/%d/stat" % proc.pid).read().split(") ")[1].startswith(("S", "D")):
            assert time.monotonic() < end and proc.poll() is None
            time.sleep(0.05)
        time.sleep(0.3)  # inside the wait for the file system
        proc.send_signal(signal.SIGTERM)
        try:
            status = proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            mounts.abort_all()
            os.kill(daemon.pid, signal.SIGCONT)
            proc.wait()
            pytest.fail("SIGTERM did not end the waiting run")
        assert status == -signal.SIGTERM
    finally:
        mounts.release_all()
        shutil.rmtree(base, ignore_errors=True)

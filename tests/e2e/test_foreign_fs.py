"""FUSE file systems (Linux, as root): one of user nobody that vouches for its
own links or never answers, and root's own whose daemon is stopped while the
run waits for it. The file system is hostile_fs.c, built here; every mount is
aborted and unmounted afterwards, also when the tool hangs on it."""

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

NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]


def connection(point):
    """The FUSE connection mounted at `point`, from the mount table: a stat of
    the mount would ask the file system."""
    for fields in (line.split() for line in open("/proc/self/mountinfo")):
        if fields[4] == point and "fuse" in fields[fields.index("-") + 1]:
            return fields[2].split(":")[1]


@pytest.fixture
def mount():
    """mount(point, mode, user) starts hostile_fs at `point`; mount.base is a
    directory all may read. Users may mount FUSE file systems that others
    enter (/dev/fuse 0666, user_allow_other) until the test ends; then every
    connection is aborted, its daemon killed, the mount detached and the
    settings restored."""
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "fuse3"], capture_output=True)
    if flags.returncode or not os.path.exists("/dev/fuse") or not shutil.which("fusermount3"):
        pytest.skip("needs libfuse3-dev, fuse3 and /dev/fuse")
    connections = "/sys/fs/fuse/connections"
    control = not os.path.ismount(connections)
    if control and subprocess.run(["mount", "-t", "fusectl", "fusectl", connections]).returncode:
        pytest.skip("no FUSE control file system here")
    base = tempfile.mkdtemp()
    os.chmod(base, 0o755)
    program = os.path.join(base, "hostile_fs")
    subprocess.run(["cc", "-o", program, os.path.join(os.path.dirname(__file__), "hostile_fs.c")]
                   + flags.stdout.decode().split(), check=True)
    conf = open("/etc/fuse.conf").read() if os.path.exists("/etc/fuse.conf") else None
    device_mode = os.stat("/dev/fuse").st_mode & 0o7777
    os.chmod("/dev/fuse", 0o666)
    open("/etc/fuse.conf", "a").write("\nuser_allow_other\n")
    mounted = []

    def start(point, mode, user="nobody", target="/"):
        command = [program, "-f", "-s", point] + (["-o", "allow_other"] if user != "root" else [])
        daemon = subprocess.Popen((NOBODY if user != "root" else []) + command,
                                  env={"HOSTILE_MODE": mode, "HOSTILE_TARGET": target})
        end = time.monotonic() + 10
        while connection(point) is None:
            if daemon.poll() is not None:
                pytest.skip("FUSE file systems can't be mounted here")
            assert time.monotonic() < end, "no mount at " + point
            time.sleep(0.02)
        mounted.append((point, daemon, connection(point)))
        return daemon

    def abort():
        for _, _, number in mounted:
            open(os.path.join(connections, number, "abort"), "w").write("1")

    start.abort, start.base = abort, base
    try:
        yield start
    finally:
        abort()
        for point, daemon, _ in mounted:
            os.kill(daemon.pid, signal.SIGCONT)
            daemon.kill()
            daemon.wait()
            subprocess.run(["umount", "-l", point])
        os.chmod("/dev/fuse", device_mode)
        if conf is None:
            os.remove("/etc/fuse.conf")
        else:
            open("/etc/fuse.conf", "w").write(conf)
        if control:
            subprocess.run(["umount", connections])
        shutil.rmtree(base, ignore_errors=True)


@pytest.mark.parametrize("mount_point, make, mode, value, deleted", [
    # It reports a link as root's, leading to the victim directory.
    ("archive", "mkdir", "link", "archive/lnk/*.log", []),
    ("archive", "mkdir", "link", "archive/*.log", []),
    # It never answers: mounted on a directory and on a file of the listing.
    ("mnt.log", "mkdir", "hang", "*.log", ["a.log"]),
    ("file.log", "touch", "hang", "*.log", ["a.log"]),
])
def test_foreign_file_system_is_trusted_for_nothing(mount, mount_point, make, mode, value,
                                                     deleted):
    cleaned, victim = os.path.join(mount.base, "cleaned"), os.path.join(mount.base, "victim")
    make_files(cleaned, {"a.log": 1})
    os.chmod(cleaned, 0o1777)
    make_files(victim, {"v1.log": 1, "v2.log": 2})
    subprocess.run(NOBODY + [make, os.path.join(cleaned, mount_point)], check=True)
    mount(os.path.join(cleaned, mount_point), mode, target=victim)
    proc = subprocess.Popen([BIN, "-f", os.path.join(cleaned, value), "-D", "-b"], env=base_env(),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    try:
        out = proc.communicate(timeout=20)[0]
    except subprocess.TimeoutExpired:
        mount.abort()  # else not even SIGKILL ends it
        proc.kill()
        pytest.fail("the run hung on the file system")
    assert listed_names(Result(proc.returncode, out)) == deleted
    assert proc.returncode == 0 and sorted(os.listdir(victim)) == ["v1.log", "v2.log"]


def test_stop_signal_ends_a_run_that_waits_for_a_file_system(mount, tmp_path):
    point = str(tmp_path)
    daemon = mount(point, "link", user="root")
    assert "a.log" in os.listdir(point)  # its daemon answers, then stops
    os.kill(daemon.pid, signal.SIGSTOP)
    proc = subprocess.Popen([BIN, "-f", point, "-D", "-b"], stdout=subprocess.DEVNULL)
    end = time.monotonic() + 10  # into the wait for the file system
    while open("/proc/%d/wchan" % proc.pid).read() != "request_wait_answer" and \
            time.monotonic() < end:
        time.sleep(0.05)
    proc.send_signal(signal.SIGTERM)
    try:
        assert proc.wait(timeout=5) == -signal.SIGTERM
    finally:
        mount.abort()
        proc.kill()

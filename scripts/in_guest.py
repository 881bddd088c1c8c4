#!/usr/bin/env python3
"""Runs a command of this machine inside a small virtual machine that has an ALSA
sequencer: the distribution's kernel with the virtual MIDI drivers (snd-seq-dummy gives
"Midi Through", snd-virmidi four "VirMIDI" clients), booted under QEMU without hardware
acceleration. The guest sees this machine's root read-only and the build folder
read-write at the same paths, runs the command as root in the same working folder and
environment, and hands its exit code back.

Usage: in_guest.py --build DIR [--cache DIR] [--timeout SECONDS] [--memory MB] -- COMMAND...

The kernel package is downloaded (not installed) on first use and what the guest needs of
it is kept in the cache folder (default DIR/guest). Exit codes: the command's own; 77 when
the guest cannot be made on this machine (the reason is printed); 124 when the time limit
ended the guest; 125 when the guest ended without running the command."""

import argparse
import fcntl
import glob
import lzma
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

SKIPPED, TIMED_OUT, GUEST_FAILED = 77, 124, 125
KERNEL_META_PACKAGE = "linux-image-amd64"
# Loaded in this order with their dependencies: the 9p file system over virtio, the
# sequencer with its "Midi Through" client, the virtual raw MIDI card, a high-resolution
# sequencer timer.
MODULES = ["virtio_pci", "9pnet_virtio", "9p", "snd-seq-dummy", "snd-virmidi", "snd-hrtimer"]
# Variables that name services of this machine's session, which the guest does not have.
HOST_ONLY_VARIABLES = {"DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR",
                       "DBUS_SESSION_BUS_ADDRESS", "JACK_DEFAULT_SERVER", "PULSE_SERVER",
                       "PWD", "OLDPWD", "SHLVL", "_"}

# Folders the guest has of its own (empty, writable); what this machine has there is hidden.
GUEST_OWN_FOLDERS = ["/dev/shm", "/tmp", "/run", "/var/tmp"]
# This repository: the tests' scripts and data are read from it.
SOURCE = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))

# The guest's first process (busybox sh). /config.sh, added per run, sets BUILD and RUN, and
# SOURCE when the guest's own folders would hide the repository.
INIT = r"""#!/bin/busybox sh
/bin/busybox mkdir -p /proc /dev /sys /host
/bin/busybox mount -t proc proc /proc
/bin/busybox --install -s /bin
export PATH=/bin
fail() { echo "guest: $*"; poweroff -f; }
mount -t devtmpfs devtmpfs /dev
while read module; do
  insmod "/modules/$module" || fail "cannot load $module"
done < /modules.order
. /config.sh
ip link set lo up
options=trans=virtio,version=9p2000.L,msize=512000
mount -t 9p -o ro,$options,cache=loose hostroot /host || fail "cannot mount the host's root"
mount -t proc proc /host/proc
mount -t sysfs sysfs /host/sys
mount -t devtmpfs devtmpfs /host/dev
mkdir -p /host/dev/pts /host/dev/shm
mount -t devpts devpts /host/dev/pts
for folder in $OWN_FOLDERS; do
  [ -d "/host$folder" ] && mount -t tmpfs -o mode=1777 tmpfs "/host$folder"
done
# Last, so that a clone or a build folder inside /tmp is not hidden by the guest's own.
if [ -n "$SOURCE" ]; then
  mkdir -p "/host$SOURCE"
  mount -t 9p -o ro,$options,cache=loose source "/host$SOURCE" || fail "cannot mount $SOURCE"
fi
mkdir -p "/host$BUILD"
mount -t 9p -o $options,cache=mmap build "/host$BUILD" || fail "cannot mount $BUILD"
[ -c /dev/snd/seq ] || fail "no ALSA sequencer (/dev/snd/seq)"
# Through a pipe: the command's output is not a terminal here either.
{ chroot /host /bin/sh "$RUN/command.sh" < /dev/null; echo $? > "/host$RUN/status"; } 2>&1 | cat
sync
poweroff -f
"""


class Unavailable(Exception):
    """The guest cannot be made on this machine."""


def run_quietly(command, **options):
    """Runs a helper; its output is shown only when it fails."""
    result = subprocess.run(command, capture_output=True, text=True, **options)
    if result.returncode != 0:
        raise Unavailable(f"{shlex.join(command)} failed:\n{result.stdout}{result.stderr}")
    return result.stdout


def kernel_package():
    """The kernel package the distribution's kernel meta package depends on."""
    for line in run_quietly(["apt-cache", "depends", KERNEL_META_PACKAGE]).splitlines():
        fields = line.split()
        if len(fields) == 2 and fields[0] == "Depends:":
            return fields[1]
    raise Unavailable(f"apt-cache names no kernel package for {KERNEL_META_PACKAGE}")


def extract_vmlinux(vmlinuz, target):
    """The ELF kernel inside the compressed boot image: booted directly (PVH), it spares
    the guest the decompression, which takes seconds without hardware acceleration."""
    with open(vmlinuz, "rb") as f:
        image = f.read()
    start = image.find(b"\xfd7zXZ\x00")
    if start < 0:
        raise Unavailable(f"{vmlinuz} holds no xz-compressed kernel")
    # The image goes on after the stream; the decompressor stops at its end.
    elf = lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(image[start:])
    if not elf.startswith(b"\x7fELF"):
        raise Unavailable(f"{vmlinuz} does not unpack to an ELF kernel")
    with open(target, "wb") as f:
        f.write(elf)


def fetch_kernel(cache):
    """The cached kernel folder (vmlinux, modules/, modules.order), made on first use."""
    os.makedirs(cache, exist_ok=True)
    with open(os.path.join(cache, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)  # one download for runs that start together
        ready = sorted(glob.glob(os.path.join(cache, "kernel-*", "modules.order")))
        if ready:
            return os.path.dirname(ready[-1])
        package = kernel_package()
        work = tempfile.mkdtemp(prefix="kernel-download-", dir=cache)
        try:
            print(f"in_guest: downloading {package} (once, into {cache})", file=sys.stderr)
            run_quietly(["apt-get", "download", package], cwd=work)
            debs = glob.glob(os.path.join(work, "*.deb"))
            if len(debs) != 1:
                raise Unavailable(f"apt-get download left {debs} in {work}")
            root = os.path.join(work, "root")
            run_quietly(["dpkg", "-x", debs[0], root])
            images = glob.glob(os.path.join(root, "boot", "vmlinuz-*"))
            if len(images) != 1:
                raise Unavailable(f"the package holds the boot images {images}")
            version = os.path.basename(images[0])[len("vmlinuz-"):]
            made = os.path.join(work, "kernel-" + version)
            os.makedirs(os.path.join(made, "modules"))
            extract_vmlinux(images[0], os.path.join(made, "vmlinux"))
            run_quietly(["depmod", "-b", root, version])
            order = []
            for module in MODULES:
                shown = run_quietly(["modprobe", "-d", root, "-S", version, "--show-depends", module])
                for line in shown.splitlines():
                    fields = line.split()
                    if fields[:1] == ["insmod"] and os.path.basename(fields[1]) not in order:
                        shutil.copy(fields[1], os.path.join(made, "modules"))
                        order.append(os.path.basename(fields[1]))
            with open(os.path.join(made, "modules.order"), "w") as f:
                f.write("".join(name + "\n" for name in order))
            final = os.path.join(cache, "kernel-" + version)
            os.rename(made, final)
            return final
        finally:
            shutil.rmtree(work, ignore_errors=True)


def cpio(entries):
    """A newc archive of (name, mode, data) entries; data is the link target of a symbolic
    link, None for a folder or a device (the device number then rides in the mode's
    entry as (mode, major, minor))."""
    out = bytearray()
    for inode, (name, mode, data) in enumerate(entries + [("TRAILER!!!", 0, b"")], start=1):
        major = minor = 0
        if isinstance(mode, tuple):
            mode, major, minor = mode
        body = data or b""
        fields = [inode, mode, 0, 0, 1, 0, len(body), 0, 0, major, minor, len(name) + 1, 0]
        out += b"070701" + b"".join(b"%08X" % value for value in fields)
        out += name.encode() + b"\0"
        out += b"\0" * (-len(out) % 4)
        out += body
        out += b"\0" * (-len(out) % 4)
    return bytes(out)


def initramfs(kernel, build, run):
    with open(shutil.which("busybox") or "/bin/busybox", "rb") as f:
        busybox = f.read()
    if not busybox.startswith(b"\x7fELF") or b"ld-linux" in busybox[:4096]:
        raise Unavailable("busybox-static is needed: /bin/busybox is not the static one")
    with open(os.path.join(kernel, "modules.order")) as f:
        modules = f.read().split()
    config = (f"BUILD={shlex.quote(build)}\nRUN={shlex.quote(run)}\n"
              f"OWN_FOLDERS={shlex.quote(' '.join(GUEST_OWN_FOLDERS))}\n")
    if source_hidden():
        config += f"SOURCE={shlex.quote(SOURCE)}\n"
    entries = [("bin", 0o40755, None), ("dev", 0o40755, None),
               ("dev/console", (0o20600, 5, 1), None),
               ("bin/busybox", 0o100755, busybox), ("init", 0o100755, INIT.encode()),
               ("config.sh", 0o100644, config.encode()), ("modules", 0o40755, None),
               ("modules.order", 0o100644, "".join(m + "\n" for m in modules).encode())]
    for module in modules:
        with open(os.path.join(kernel, "modules", module), "rb") as f:
            entries.append(("modules/" + module, 0o100644, f.read()))
    return cpio(entries)


def command_script(command):
    """The command as the guest runs it: this environment, this working folder."""
    lines = ["#!/bin/sh"]
    for name, value in sorted(os.environ.items()):
        if name not in HOST_ONLY_VARIABLES and name.isidentifier():
            lines.append(f"export {name}={shlex.quote(value)}")
    lines.append(f"cd {shlex.quote(os.getcwd())} || exit 125")
    lines.append(f"exec {shlex.join(command)}")
    return "\n".join(lines) + "\n"


def source_hidden():
    return any(SOURCE == folder or SOURCE.startswith(folder + "/") for folder in GUEST_OWN_FOLDERS)


def virtfs(path, tag, readonly):
    escaped = path.replace(",", ",,")
    return (f"local,path={escaped},mount_tag={tag},security_model=none,multidevs=remap"
            + (",readonly=on" if readonly else ""))


def end_with_parent():
    """The guest ends when this script does, also when a test runner kills it."""
    import ctypes
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def relay_console(console):
    """The guest's console, passed on as it comes (without the terminal's carriage returns)."""
    for chunk in iter(lambda: console.read1(4096), b""):
        sys.stdout.buffer.write(chunk.replace(b"\r", b""))
        sys.stdout.flush()


def run_guest(kernel, build, command, timeout, memory):
    runs = os.path.join(build, "guest", "runs")
    os.makedirs(runs, exist_ok=True)
    run = tempfile.mkdtemp(prefix="run-", dir=runs)
    try:
        with open(os.path.join(run, "command.sh"), "w") as f:
            f.write(command_script(command))
        with open(os.path.join(run, "initramfs"), "wb") as f:
            f.write(initramfs(kernel, build, run))
        qemu = ["qemu-system-x86_64", "-accel", "tcg,thread=multi", "-cpu", "max", "-smp", "2",
                "-m", str(memory), "-kernel", os.path.join(kernel, "vmlinux"),
                "-initrd", os.path.join(run, "initramfs"),
                "-append", "console=ttyS0 quiet loglevel=3 panic=-1",
                "-serial", "stdio", "-display", "none", "-nodefaults", "-no-reboot",
                "-virtfs", virtfs("/", "hostroot", True), "-virtfs", virtfs(build, "build", False)]
        if source_hidden():
            qemu += ["-virtfs", virtfs(SOURCE, "source", True)]
        started = time.monotonic()
        process = subprocess.Popen(qemu, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, preexec_fn=end_with_parent)
        relay = threading.Thread(target=relay_console, args=(process.stdout,))
        relay.start()
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            print(f"in_guest: the guest was stopped after {timeout} s", file=sys.stderr)
            return TIMED_OUT
        finally:
            if process.poll() is None:
                process.kill()
                process.wait()
            relay.join()
        print(f"in_guest: the guest ran for {time.monotonic() - started:.1f} s", file=sys.stderr)
        try:
            with open(os.path.join(run, "status")) as f:
                return int(f.read())
        except (OSError, ValueError):
            print(f"in_guest: the guest ended without running the command (QEMU exit code "
                  f"{process.returncode})", file=sys.stderr)
            return GUEST_FAILED
    finally:
        shutil.rmtree(run, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="folder shared read-write with the guest")
    parser.add_argument("--cache", help="folder of the kernel cache (default BUILD/guest)")
    parser.add_argument("--timeout", type=float, default=600, help="seconds before the guest is stopped")
    parser.add_argument("--memory", type=int, default=1024, help="guest memory in MB")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()
    # Ended by a test runner: the run's files go as well (and the guest with this process).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(TIMED_OUT))
    build = os.path.realpath(args.build)
    cache = os.path.realpath(args.cache or os.path.join(build, "guest"))
    try:
        if shutil.which("qemu-system-x86_64") is None:
            raise Unavailable("qemu-system-x86_64 is not installed (scripts/install_deps.sh test)")
        kernel = fetch_kernel(cache)
        return run_guest(kernel, build, args.command, args.timeout, args.memory)
    except Unavailable as reason:
        print(f"in_guest: SKIPPED, no guest on this machine: {reason}", file=sys.stderr)
        return SKIPPED


if __name__ == "__main__":
    sys.exit(main())

"""BoardDxe under gdb on the real core: the patched OVMF image in QEMU with
its gdb stub (127.0.0.1 only), and a gdb command file that loads
BoardDxe.debug where OVMF loaded BoardDxe and stops at its entry point.

Debian's OVMF prints nothing on I/O port 0x402, so the load address is found
in memory: a first boot runs to the boot manager, QEMU saves the guest's RAM,
and the loaded copy of BoardDxe is the page whose PE headers equal the
image's and whose ImageBase field the DXE core rewrote to that page's address.
The boot is deterministic, so the second boot, under gdb, loads BoardDxe at
the same address.

  ovmf_debug.py interactive CODE.fd BoardDxe.efi BoardDxe.debug GDBFILE [PORT]
      writes GDBFILE, then QEMU waits on this terminal for gdb -x GDBFILE.
  ovmf_debug.py check CODE.fd BoardDxe.efi BoardDxe.debug WORKDIR
      the same with gdb -batch: it must stop at BoardDxe's entry point and
      show the source line (the ovmf test)."""
import json
import mmap
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

VARS_TEMPLATE = "/usr/share/OVMF/OVMF_VARS_4M.fd"
MEMORY = 512 << 20
PAGE = 0x1000
# How long the first boot may take to show its console (the boot manager).
LOCATE_SECONDS = 60


def die(message):
    sys.exit("ovmf_debug: " + message)


class PeImage:
    """The facts of a PE32+ file that place it in memory."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] != b"MZ":
            die("%s is not a PE image (no MZ header)" % path)
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0" or struct.unpack_from("<H", data, pe + 24)[0] != 0x20B:
            die("%s is not a PE32+ image" % path)
        optional = pe + 24
        self.entry_rva = struct.unpack_from("<I", data, optional + 16)[0]
        self.image_base_at = optional + 24
        self.image_base = struct.unpack_from("<Q", data, self.image_base_at)[0]
        # The entry point's first eight bytes, from the section holding it.
        sections = optional + struct.unpack_from("<H", data, pe + 20)[0]
        self.entry_bytes = None
        for i in range(struct.unpack_from("<H", data, pe + 6)[0]):
            size, rva, _, raw = struct.unpack_from("<IIII", data, sections + 40 * i + 8)
            if rva <= self.entry_rva < rva + size:
                at = raw + self.entry_rva - rva
                self.entry_bytes = struct.unpack_from("<Q", data, at)[0]
        if self.entry_bytes is None:
            die("%s: no section holds the entry point %#x" % (path, self.entry_rva))
        # Everything before ImageBase: the DOS header and stub, the COFF
        # header, the first fields of the optional header.
        self.signature = data[:self.image_base_at]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def qemu_command(code, workdir):
    vars_copy = os.path.join(workdir, "vars.fd")
    shutil.copyfile(VARS_TEMPLATE, vars_copy)
    return ["qemu-system-x86_64", "-machine", "q35,accel=tcg", "-m", str(MEMORY >> 20), "-nographic", "-net", "none",
            "-no-reboot", "-drive", "if=pflash,format=raw,unit=0,readonly=on,file=" + code,
            "-drive", "if=pflash,format=raw,unit=1,file=" + vars_copy]


def qmp(sock_path, commands):
    """Commands on QEMU's QMP socket, each answered before the next."""
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(60)
        s.connect(sock_path)
        replies = s.makefile("r")
        replies.readline()  # the greeting
        for command in [{"execute": "qmp_capabilities"}] + commands:
            s.sendall(json.dumps(command).encode() + b"\n")
            while True:
                reply = json.loads(replies.readline())
                if "error" in reply:
                    die("QEMU refused %s: %s" % (command["execute"], reply["error"].get("desc")))
                if "return" in reply:
                    break


def locate(code, image, workdir):
    """BoardDxe's load address in a boot of CODE, to the boot manager."""
    sock_path = os.path.join(workdir, "monitor.sock")
    serial = os.path.join(workdir, "locate-serial.txt")
    ram = os.path.join(workdir, "ram.bin")
    for stale in (sock_path, serial, ram):
        if os.path.exists(stale):
            os.unlink(stale)
    qemu = subprocess.Popen(qemu_command(code, workdir) + ["-qmp", "unix:%s,server,wait=off" % sock_path,
                                                           "-serial", "file:" + serial],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        deadline = time.monotonic() + LOCATE_SECONDS
        # The console speaks once the boot manager runs: every driver whose
        # dependencies were met is loaded by then.
        while not (os.path.exists(serial) and os.path.getsize(serial) > 0):
            if qemu.poll() is not None:
                die("QEMU ended during the first boot: %s" % qemu.stderr.read().decode())
            if time.monotonic() > deadline:
                die("the first boot showed no console within %d s (%s)" % (LOCATE_SECONDS, serial))
            time.sleep(0.2)
        qmp(sock_path, [{"execute": "stop"},
                        {"execute": "pmemsave", "arguments": {"val": 0, "size": MEMORY, "filename": ram}}])
    finally:
        qemu.kill()
        qemu.wait()
    with open(ram, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as memory:
        found = []
        at = memory.find(image.signature)
        while at >= 0:
            base = struct.unpack_from("<Q", memory, at + image.image_base_at)[0]
            if at % PAGE == 0 and base == at:
                found.append(at)
            at = memory.find(image.signature, at + 1)
    os.unlink(ram)
    if len(found) != 1:
        die("found %d loaded copies of BoardDxe in the guest's memory (expected one): %s" %
            (len(found), ", ".join(hex(a) for a in found) or "none; did BoardDxe load?"))
    return found[0]


def write_gdb_file(path, symbols, image, load, port):
    entry = load + image.entry_rva
    text = """# BoardDxe on the real core, written by tests/ovmf/ovmf_debug.py.
# OVMF loads BoardDxe at {load:#x}; its symbol file is linked at {base:#x}.
set pagination off
set confirm off
target remote 127.0.0.1:{port}
add-symbol-file {symbols} -o {offset:#x}
# BoardDxeEntry, at {entry:#x}: a hardware breakpoint, since the image is
# not in memory yet. Other code runs in those pages before BoardDxe is
# loaded there, so the breakpoint stops only on BoardDxe's own entry bytes.
hbreak *{entry:#x} if *(unsigned long long *){entry:#x} == {bytes:#x}
continue
""".format(load=load, base=image.image_base, port=port, symbols=os.path.abspath(symbols),
           offset=load - image.image_base, entry=entry, bytes=image.entry_bytes)
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def interactive(code, efi, symbols, gdb_file, port=None):
    image = PeImage(efi)
    port = int(port) if port else 1234
    with tempfile.TemporaryDirectory(prefix="ovmf-debug-") as workdir:
        print("ovmf_debug: finding where OVMF loads BoardDxe (one boot, about 20 s)...", flush=True)
        load = locate(code, image, workdir)
        write_gdb_file(gdb_file, symbols, image, load, port)
        print("ovmf_debug: BoardDxe loads at %#x. QEMU waits for gdb on 127.0.0.1:%d; in another terminal, "
              "in the source folder, type: gdb -x %s" % (load, port, gdb_file), flush=True)
        print("ovmf_debug: quit QEMU with Ctrl-A X", flush=True)
        command = qemu_command(code, workdir) + ["-gdb", "tcp:127.0.0.1:%d" % port, "-S", "-serial", "mon:stdio"]
        sys.exit(subprocess.call(command))


def check(code, efi, symbols, workdir):
    image = PeImage(efi)
    if shutil.which("gdb") is None:
        die("gdb is missing; install it with: sudo apt-get install gdb (or run scripts/install-deps.sh)")
    os.makedirs(workdir, exist_ok=True)
    started = time.monotonic()
    load = locate(code, image, workdir)
    port = free_port()
    gdb_file = os.path.join(workdir, "ovmf-debug.gdb")
    write_gdb_file(gdb_file, symbols, image, load, port)
    qemu = subprocess.Popen(qemu_command(code, workdir) +
                            ["-gdb", "tcp:127.0.0.1:%d" % port, "-S", "-serial", "file:" + os.path.join(workdir, "serial.txt")],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        time.sleep(0.5)
        gdb = subprocess.run(["gdb", "-batch", "-nx", "-x", gdb_file, "-ex", "frame", "-ex", "info registers rip", "-ex", "x/2i $pc",
                              "-ex", "p/x SystemTable->Hdr.Signature",
                              "-ex", "kill"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
    finally:
        qemu.kill()
        qemu.wait()
    transcript = gdb.stdout
    print(transcript)
    entry = load + image.entry_rva
    # Stopped at the entry, on the real core, with the source line shown.
    if not re.search(r"^Breakpoint 1, BoardDxeEntry \(.*\) at \S*dxe/entry\.cpp:(\d+)\n\1\t\S", transcript, re.MULTILINE):
        die("gdb did not stop in BoardDxeEntry showing a line of dxe/entry.cpp")
    if not re.search(r"^rip +%#x " % entry, transcript, re.MULTILINE):
        die("the core did not stop at BoardDxe's entry point %#x" % entry)
    # Its argument is the core's system table ("IBI SYST").
    if not re.search(r"^\$\d+ = 0x5453595320494249$", transcript, re.MULTILINE):
        die("SystemTable at BoardDxe's entry is not the system table")
    print("ovmf_debug: BoardDxe loaded at %#x, stopped at its entry in %.1f s" % (load, time.monotonic() - started))


if __name__ == "__main__":
    if len(sys.argv) >= 6 and sys.argv[1] == "interactive":
        interactive(*sys.argv[2:8])
    elif len(sys.argv) == 6 and sys.argv[1] == "check":
        check(*sys.argv[2:6])
    else:
        die("usage: ovmf_debug.py interactive CODE.fd BoardDxe.efi BoardDxe.debug GDBFILE [PORT]\n"
            "       ovmf_debug.py check CODE.fd BoardDxe.efi BoardDxe.debug WORKDIR")

"""BoardPei and BoardDxe under gdb on the real core: the patched OVMF image
in QEMU with its gdb stub (127.0.0.1 only), and a gdb command file that loads
each module's symbol file where OVMF runs it and stops at its entry point.

Debian's OVMF prints nothing on I/O port 0x402, so the addresses are found in
memory: a first boot runs to the boot manager, QEMU saves the guest's RAM,
and each module's running copy is the one whose headers equal the image's and
whose ImageBase names that copy's own address. The boot is
deterministic, so the second boot, under gdb, runs them at the same places.

  ovmf_debug.py interactive CODE.fd FIRMWARE_DIR GDBFILE [PORT]
      writes GDBFILE, then QEMU waits on this terminal for gdb -x GDBFILE.
  ovmf_debug.py check CODE.fd FIRMWARE_DIR WORKDIR
      the same with gdb -batch: it must stop at BoardPei's entry point, then
      BoardDxe's, each showing its source line (the ovmf test)."""
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


def entry_bytes(path, data, sections, count, entry_rva, file_offset):
    """The entry point's first eight bytes, from the section holding it."""
    for i in range(count):
        size, rva, _, raw = struct.unpack_from("<IIII", data, sections + 40 * i + 8)
        if rva <= entry_rva < rva + size:
            return struct.unpack_from("<Q", data, file_offset(raw + entry_rva - rva))[0]
    die("%s: no section holds the entry point %#x" % (path, entry_rva))


class PeImage:
    """BoardDxe's PE32+ file: what places it in memory. Its loaded copy is a
    page whose headers equal the file's, with the ImageBase the DXE core
    wrote: the page's own address."""
    name = "BoardDxe"
    entry_symbol = "BoardDxeEntry"
    source = "dxe/entry.cpp"

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
        sections = optional + struct.unpack_from("<H", data, pe + 20)[0]
        self.entry_bytes = entry_bytes(path, data, sections, struct.unpack_from("<H", data, pe + 6)[0],
                                       self.entry_rva, lambda at: at)
        # Everything before ImageBase: the DOS header and stub, the COFF
        # header, the first fields of the optional header.
        self.signature = data[:self.image_base_at]

    def loaded_at(self, memory, at):
        """The image base of a copy whose headers start at `at`, or None."""
        base = struct.unpack_from("<Q", memory, at + self.image_base_at)[0]
        return base if at % PAGE == 0 and base == at else None

    def symbol_command(self, symbols, base):
        return "add-symbol-file %s -o %#x" % (symbols, base - self.image_base)


class TeImage:
    """BoardPei's TE file. The TE header lies StrippedSize - 40 bytes above
    the image base, and ImageBase holds the base the copy was rebased for
    (a copy in the PEI volume, rebased by the build, and the one the PEI
    core loaded into memory, relocated by it)."""
    name = "BoardPei"
    entry_symbol = "BoardPeiEntry"
    source = "pei/entry.cpp"
    header = 40

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] != b"VZ" or struct.unpack_from("<H", data, 2)[0] != 0x14C:
            die("%s is not an IA-32 TE image" % path)
        count = data[4]
        self.stripped = struct.unpack_from("<H", data, 6)[0]
        self.entry_rva = struct.unpack_from("<I", data, 8)[0]
        self.image_base = struct.unpack_from("<Q", data, 16)[0]
        self.entry_bytes = entry_bytes(path, data, self.header, count, self.entry_rva,
                                       lambda at: at - self.stripped + self.header)
        # ImageBase (bytes 16-23) differs between the copies; the rest of
        # the header and the section table do not.
        self.signature = data[:16]
        self.rest = data[24:self.header + 40 * count]
        self.text_rva = struct.unpack_from("<I", data, self.header + 12)[0]

    def loaded_at(self, memory, at):
        base = struct.unpack_from("<Q", memory, at + 16)[0]
        if memory[at + 24:at + 24 + len(self.rest)] != self.rest or base != at + self.header - self.stripped:
            return None
        return base

    def symbol_command(self, symbols, base):
        # gdb would add an offset to the IA-32 file's addresses in 64 bits,
        # past 4 GiB; the code's address given outright stays below.
        return "add-symbol-file %s -s .text %#x" % (symbols, base + self.text_rva)


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


def locate(code, images, workdir):
    """Where each of `images` lies in a boot of CODE, to the boot manager."""
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
    bases = []
    with open(ram, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as memory:
        for image in images:
            found = []
            at = memory.find(image.signature)
            while at >= 0:
                base = image.loaded_at(memory, at)
                if base is not None:
                    found.append(base)
                at = memory.find(image.signature, at + 1)
            if not found:
                die("%s is nowhere in the guest's memory; did it load?" % image.name)
            if len(found) > 2:
                die("found %d copies of %s in the guest's memory: %s" %
                    (len(found), image.name, ", ".join(hex(a) for a in found)))
            # BoardDxe has one copy; of BoardPei's two, the one in the PEI
            # volume (low) and the one the PEI core loaded into memory
            # found after it (high), the loaded one runs.
            bases.append(max(found))
    os.unlink(ram)
    return bases


def write_gdb_file(path, images, symbols, bases, port):
    lines = ["# BoardPei and BoardDxe on the real core, written by tests/ovmf/ovmf_debug.py.",
             "set pagination off", "set confirm off", "target remote 127.0.0.1:%d" % port]
    for image, file, base in zip(images, symbols, bases):
        lines += ["# OVMF runs %s at %#x; its symbol file is linked at %#x." % (image.name, base, image.image_base),
                  image.symbol_command(os.path.abspath(file), base)]
    lines += ["# The entry points: hardware breakpoints, since the images are not in",
              "# memory yet. Other code runs at those addresses first, so each stops",
              "# only on its module's own entry bytes."]
    for image, base in zip(images, bases):
        entry = base + image.entry_rva
        lines.append("hbreak *%#x if *(unsigned long long *)%#x == %#x" % (entry, entry, image.entry_bytes))
    lines.append("continue")
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("\n".join(lines) + "\n")
    os.replace(tmp, path)


def modules(firmware):
    images = [TeImage(os.path.join(firmware, "BoardPei.te")), PeImage(os.path.join(firmware, "BoardDxe.efi"))]
    symbols = [os.path.join(firmware, "BoardPei.debug"), os.path.join(firmware, "BoardDxe.debug")]
    for file in symbols:
        if not os.path.isfile(file):
            die("%s does not exist (build it first)" % file)
    return images, symbols


def interactive(code, firmware, gdb_file, port=None):
    images, symbols = modules(firmware)
    port = int(port) if port else 1234
    with tempfile.TemporaryDirectory(prefix="ovmf-debug-") as workdir:
        print("ovmf_debug: finding where OVMF runs BoardPei and BoardDxe (one boot, about 20 s)...", flush=True)
        bases = locate(code, images, workdir)
        write_gdb_file(gdb_file, images, symbols, bases, port)
        print("ovmf_debug: BoardPei runs at %#x, BoardDxe at %#x. QEMU waits for gdb on 127.0.0.1:%d; in another "
              "terminal, in the source folder, type: gdb -x %s" % (bases[0], bases[1], port, gdb_file), flush=True)
        print("ovmf_debug: quit QEMU with Ctrl-A X", flush=True)
        command = qemu_command(code, workdir) + ["-gdb", "tcp:127.0.0.1:%d" % port, "-S", "-serial", "mon:stdio"]
        sys.exit(subprocess.call(command))


def check(code, firmware, workdir):
    images, symbols = modules(firmware)
    if shutil.which("gdb") is None:
        die("gdb is missing; install it with: sudo apt-get install gdb (or run scripts/install-deps.sh)")
    os.makedirs(workdir, exist_ok=True)
    started = time.monotonic()
    bases = locate(code, images, workdir)
    port = free_port()
    gdb_file = os.path.join(workdir, "ovmf-debug.gdb")
    write_gdb_file(gdb_file, images, symbols, bases, port)
    qemu = subprocess.Popen(qemu_command(code, workdir) + ["-gdb", "tcp:127.0.0.1:%d" % port, "-S",
                                                           "-serial", "file:" + os.path.join(workdir, "serial.txt")],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        time.sleep(0.5)
        after = ["info registers rip", "continue", "frame", "info registers rip", "x/2i $pc",
                 "p/x SystemTable->Hdr.Signature", "kill"]
        try:
            gdb = subprocess.run(["gdb", "-batch", "-nx", "-x", gdb_file] + [a for c in after for a in ("-ex", c)],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
        except subprocess.TimeoutExpired as timeout:
            partial = timeout.stdout or ""
            die("gdb did not reach both entry points within 60 s (%s); it said:\n%s" %
                (gdb_file, partial.decode() if isinstance(partial, bytes) else partial))
    finally:
        qemu.kill()
        qemu.wait()
    transcript = gdb.stdout
    print(transcript)
    # Each stopped at its entry, on the real core, with the source line shown.
    at = 0
    for number, image, base in zip((1, 2), images, bases):
        stop = re.compile(r"^Breakpoint %d, %s \(.*\) at \S*%s:(\d+)\n\1\t\S" %
                          (number, image.entry_symbol, re.escape(image.source)), re.MULTILINE).search(transcript, at)
        if not stop:
            die("gdb did not stop in %s showing a line of %s" % (image.entry_symbol, image.source))
        rip = re.compile(r"^rip +(0x[0-9a-f]+) ", re.MULTILINE).search(transcript, stop.end())
        if not rip or int(rip.group(1), 16) != base + image.entry_rva:
            die("the core did not stop at %s's entry point %#x" % (image.name, base + image.entry_rva))
        at = rip.end()
    # BoardDxe's argument is the core's system table ("IBI SYST").
    if not re.compile(r"^\$\d+ = 0x5453595320494249$", re.MULTILINE).search(transcript, at):
        die("SystemTable at BoardDxe's entry is not the system table")
    print("ovmf_debug: BoardPei ran at %#x, BoardDxe at %#x; stopped at both entries in %.1f s" %
          (bases[0], bases[1], time.monotonic() - started))


if __name__ == "__main__":
    if len(sys.argv) in (5, 6) and sys.argv[1] == "interactive":
        interactive(*sys.argv[2:6])
    elif len(sys.argv) == 5 and sys.argv[1] == "check":
        check(*sys.argv[2:5])
    else:
        die("usage: ovmf_debug.py interactive CODE.fd FIRMWARE_DIR GDBFILE [PORT]\n"
            "       ovmf_debug.py check CODE.fd FIRMWARE_DIR WORKDIR")

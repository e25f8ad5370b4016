#!/usr/bin/env python3
"""Writes the volume harness's hand-made seeds (tests/fuzz/corpus/volume).

Each seed is the harness's input: the target volume's name (16 bytes), its
address (8 bytes, odd means "given"), the file to insert (2-byte length, then
the file; none means the harness's own), then the image. With FILE.ffs (fvpack
ffs pei's output) the seeds also insert the TE image. The seeds cover a flat
volume, a non-FFS volume before an FFS one, and a volume inside a
volume-image section inside an LZMA section inside a file of another volume.
With OVMF's images installed, slices of their volumes (the first 4 KiB, its
length field cut to the slice and the header checksum made right) are seeds
too.
    make_volume_seeds.py OUTPUT-DIRECTORY [FILE.ffs]
"""
import lzma
import struct
import sys
import uuid

FFS2 = uuid.UUID("8C8CE578-8A3D-4F1C-9935-896185C32DD3")
NVRAM = uuid.UUID("FFF12B8D-7696-4C8B-A985-2747075B4F50")
LZMA_SECTION = uuid.UUID("EE4E5898-3914-4259-9D6E-DC7BD79403CF")
INNER = uuid.UUID("1B0F5B31-88E6-4D2A-9C8E-0A4B2C6D8E10")
OUTER = uuid.UUID("2C1A6C42-99F7-4E3B-8D9F-1B5C3D7E9F21")


def checksum16(data):
    total = sum(struct.unpack("<%dH" % (len(data) // 2), data)) & 0xFFFF
    return (0x10000 - total) & 0xFFFF


def volume(name, length, files=b"", fs=FFS2):
    header = bytearray(72)
    header[16:32] = fs.bytes_le
    struct.pack_into("<Q4sIHHHBB", header, 32, length, b"_FVH", 0x0004FEFF & ~0x1F0000 | 12 << 16 | 0x800, 72, 0,
                     72 if name else 0, 0, 2)
    struct.pack_into("<II", header, 56, length // 0x1000 or 1, 0x1000)
    struct.pack_into("<HH", header, 50, checksum16(bytes(header[:72])), 0)
    struct.pack_into("<H", header, 52, 72 if name else 0)
    struct.pack_into("<H", header, 50, 0)
    struct.pack_into("<H", header, 50, checksum16(bytes(header[:72])))
    body = bytes(header)
    if name:
        body += name.bytes_le + struct.pack("<I", 20)
    body += b"\xff" * (-len(body) % 8) + files
    return body + b"\xff" * (length - len(body))


def ffs_file(name, kind, data):
    size = 24 + len(data)
    header = bytearray(name.bytes_le + bytes([0, 0, kind, 0]) + struct.pack("<I", size)[:3] + b"\x00")
    header[16] = (0x100 - sum(header[:23])) & 0xFF
    header[17] = 0xAA
    header[23] = 0xF8
    return bytes(header) + data + b"\xff" * (-size % 8)


def section(kind, body):
    data = struct.pack("<I", 4 + len(body))[:3] + bytes([kind]) + body
    return data + b"\x00" * (-len(data) % 4)


def lzma_section(body):
    raw = lzma.compress(body, format=lzma.FORMAT_RAW,
                        filters=[{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 16, "lc": 3, "lp": 0, "pb": 2}])
    stream = bytes([0x5D]) + struct.pack("<IQ", 1 << 16, len(body)) + raw
    return section(0x02, LZMA_SECTION.bytes_le + struct.pack("<HH", 24, 1) + stream)


def seed(target, address, image, file=b""):
    return target.bytes_le + struct.pack("<QH", address, len(file)) + file + image


def main():
    out = sys.argv[1]
    inner = volume(INNER, 0x1000)
    nested = volume(OUTER, 0x2000, ffs_file(uuid.UUID(int=7), 0x0B, lzma_section(section(0x17, inner))))
    seeds = {
        "flat": seed(INNER, 0, inner),
        "flat_at_address": seed(INNER, 0xFFF00001, inner),
        "after_nvram": seed(INNER, 0, volume(None, 0x1000, fs=NVRAM) + inner),
        "nested_lzma": seed(INNER, 0xFFE00001, nested),
        "nested_outer": seed(OUTER, 0, nested),
    }
    for name, path in (("ovmf_code_slice", "/usr/share/OVMF/OVMF_CODE_4M.fd"),
                       ("ovmf_vars_slice", "/usr/share/OVMF/OVMF_VARS_4M.fd")):
        try:
            with open(path, "rb") as f:
                head = bytearray(f.read(0x1000))
        except OSError:
            continue
        struct.pack_into("<Q", head, 32, len(head))
        header_length = struct.unpack_from("<H", head, 48)[0]
        struct.pack_into("<H", head, 50, 0)
        struct.pack_into("<H", head, 50, checksum16(bytes(head[:header_length])))
        seeds[name] = seed(INNER, 0, bytes(head) + inner)
    if len(sys.argv) > 2:
        with open(sys.argv[2], "rb") as f:
            te_file = f.read()
        seeds["te_flat"] = seed(INNER, 0xFFF00001, inner, te_file)
        seeds["te_nested"] = seed(INNER, 0xFFE00001, nested, te_file)
    for name, data in seeds.items():
        with open(f"{out}/{name}", "wb") as f:
            f.write(data)


main()

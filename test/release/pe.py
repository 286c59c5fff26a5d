"""The parts of a PE image the release checks read: the COFF header, the
optional header's subsystem, and the resource tree."""

import struct

RT_VERSION, RT_MANIFEST = 16, 24
IMAGE_SUBSYSTEM_WINDOWS_CUI = 3


class PE:
    """An image's machine, subsystem and COFF symbol table position and
    count, read from its bytes; raises ValueError on what is no PE image."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, nsections, _, self.symbol_pointer, self.symbol_count,
         optsize, _) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        magic = self.u16(opt)
        if magic not in (0x10B, 0x20B):
            raise ValueError("unknown optional header magic %#x" % magic)
        dirs = opt + (96 if magic == 0x10B else 112)
        self.subsystem = self.u16(opt + 68)
        self.sections = []
        for i in range(nsections):
            _, vsize, va, rawsize, rawptr = struct.unpack_from(
                "<8sIIII", data, opt + optsize + 40 * i)
            self.sections.append((va, max(vsize, rawsize), rawptr, rawsize))
        ndirs = self.u32(dirs - 4)
        self.resource_rva = self.u32(dirs + 16) if ndirs > 2 else 0

    def u16(self, off):
        return struct.unpack_from("<H", self.data, off)[0]

    def u32(self, off):
        return struct.unpack_from("<I", self.data, off)[0]

    def offset(self, rva):
        for va, size, rawptr, rawsize in self.sections:
            if va <= rva < va + size and rva - va < rawsize:
                return rawptr + rva - va
        raise ValueError("RVA %#x lies in no section's file data" % rva)

    def resources(self):
        """{type: {name: {language: bytes}}}; ids as ints, names as texts."""
        if not self.resource_rva:
            return {}
        base = self.offset(self.resource_rva)

        def directory(off, depth):
            if depth > 2:
                raise ValueError("resource tree deeper than three levels")
            named, ids = struct.unpack_from("<HH", self.data, base + off + 12)
            out = {}
            for i in range(named + ids):
                name, target = struct.unpack_from("<II", self.data,
                                                  base + off + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    key = self.data[at + 2:at + 2 + 2 * self.u16(at)].decode(
                        "utf-16-le")
                else:
                    key = name
                if target & 0x80000000:
                    out[key] = directory(target & 0x7FFFFFFF, depth + 1)
                elif depth < 2:
                    raise ValueError("resource data above the language level")
                else:
                    rva, size = struct.unpack_from("<II", self.data,
                                                   base + target)
                    start = self.offset(rva)
                    out[key] = self.data[start:start + size]
            return out

        return directory(0, 0)

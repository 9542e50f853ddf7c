"""Just enough of the PE format to check what an executable imports and
which resources it carries."""
import struct


class PE:
    def __init__(self, path):
        with open(path, 'rb') as f:
            self.data = f.read()
        d = self.data
        pe = struct.unpack_from('<I', d, 0x3C)[0]
        assert d[pe:pe + 4] == b'PE\0\0', 'not a PE file'
        self.machine, nsect = struct.unpack_from('<HH', d, pe + 4)
        opt_size = struct.unpack_from('<H', d, pe + 20)[0]
        opt = pe + 24
        self.magic = struct.unpack_from('<H', d, opt)[0]  # 0x20B: PE32+
        self.subsystem = struct.unpack_from('<H', d, opt + 68)[0]
        ndirs = struct.unpack_from('<I', d, opt + 108)[0]
        self.dirs = [struct.unpack_from('<II', d, opt + 112 + 8 * i) for i in range(ndirs)]
        self.sections = []
        s = opt + opt_size
        for i in range(nsect):
            name = d[s:s + 8].rstrip(b'\0').decode()
            vsize, va, rsize, raw = struct.unpack_from('<IIII', d, s + 8)
            self.sections.append((name, va, max(vsize, rsize), raw))
            s += 40

    def offset(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError('rva %x outside sections' % rva)

    def cstr(self, rva):
        o = self.offset(rva)
        return self.data[o:self.data.index(b'\0', o)].decode()

    def imports(self):
        """{dll name (lower case): [function names]}"""
        rva, size = self.dirs[1]
        result = {}
        o = self.offset(rva)
        while True:
            ilt, _, _, name, iat = struct.unpack_from('<IIIII', self.data, o)
            if name == 0:
                break
            funcs = []
            t = self.offset(ilt or iat)
            while True:
                entry = struct.unpack_from('<Q', self.data, t)[0]
                if entry == 0:
                    break
                if not entry >> 63:
                    funcs.append(self.cstr((entry & 0x7FFFFFFF) + 2))
                t += 8
            result[self.cstr(name).lower()] = funcs
            o += 20
        return result

    def resources(self):
        """{(type, name): bytes} for the first language of each entry;
        ids are ints, names strings."""
        rva, _ = self.dirs[2]
        base = self.offset(rva)
        d = self.data

        def entries(off):
            named, ids = struct.unpack_from('<HH', d, base + off + 12)
            for i in range(named + ids):
                key, val = struct.unpack_from('<II', d, base + off + 16 + 8 * i)
                if key & 0x80000000:
                    p = base + (key & 0x7FFFFFFF)
                    n = struct.unpack_from('<H', d, p)[0]
                    key = d[p + 2:p + 2 + 2 * n].decode('utf-16-le')
                yield key, val

        out = {}
        for type_id, v1 in entries(0):
            for name_id, v2 in entries(v1 & 0x7FFFFFFF):
                for _, v3 in entries(v2 & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from('<II', d, base + v3)
                    o = self.offset(data_rva)
                    out[(type_id, name_id)] = d[o:o + size]
                    break
        return out

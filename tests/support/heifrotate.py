#!/usr/bin/python3
"""Gives the primary image of a HEIF file an 'irot' property, as phones write their portraits.

usage: heifrotate.py FILE ANGLE   (ANGLE in quarter turns anticlockwise, 1 to 3)

heif-enc writes no rotation, so the tests add one: the property goes at the end of 'ipco',
its association into 'ipma', and every offset of 'iloc' into the data after 'meta' moves by
the bytes added.
"""
import struct
import sys


def boxes(data, start, end):
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[at + 8:at + 16])[0]
            header = 16
        elif size == 0:
            size = end - at
        yield at, size, kind.decode("latin-1"), header
        at += size


def child(data, start, end, name):
    for at, size, kind, header in boxes(data, start, end):
        if kind == name:
            return at, size, header
    raise SystemExit("no %s box" % name)


def read_uint(data, at, size):
    return int.from_bytes(data[at:at + size], "big") if size else 0


def main():
    path, angle = sys.argv[1], int(sys.argv[2])
    data = bytearray(open(path, "rb").read())
    meta_at, meta_size, meta_header = child(data, 0, len(data), "meta")
    inner = meta_at + meta_header + 4  # a full box
    meta_end = meta_at + meta_size
    data_start = meta_end  # where the data the offsets point at begins, before the change
    pitm_at, _, pitm_header = child(data, inner, meta_end, "pitm")
    pitm_version = data[pitm_at + pitm_header]
    primary = read_uint(data, pitm_at + pitm_header + 4, 2 if pitm_version == 0 else 4)
    iprp_at, iprp_size, iprp_header = child(data, inner, meta_end, "iprp")
    ipco_at, ipco_size, ipco_header = child(data, iprp_at + iprp_header, iprp_at + iprp_size, "ipco")
    properties = sum(1 for _ in boxes(data, ipco_at + ipco_header, ipco_at + ipco_size))
    ipma_at, ipma_size, ipma_header = child(data, iprp_at + iprp_header, iprp_at + iprp_size, "ipma")

    # The association of the new property with the primary image, marked essential.
    version = data[ipma_at + ipma_header]
    flags = read_uint(data, ipma_at + ipma_header + 1, 3)
    index = properties + 1
    association = struct.pack(">H", 0x8000 | index) if flags & 1 else bytes([0x80 | index])
    at = ipma_at + ipma_header + 4
    count = read_uint(data, at, 4)
    at += 4
    insert_at = None
    for _ in range(count):
        item_size = 2 if version < 1 else 4
        item = read_uint(data, at, item_size)
        at += item_size
        n = data[at]
        if item == primary:
            data[at] = n + 1
            insert_at = at + 1 + n * len(association)
        at += 1 + n * len(association)
    if insert_at is None:
        raise SystemExit("the primary image has no properties")
    data[insert_at:insert_at] = association
    irot = struct.pack(">I4sB", 9, b"irot", angle)
    ipco_end = ipco_at + ipco_size
    if ipco_at > ipma_at:
        ipco_end += len(association)
    data[ipco_end:ipco_end] = irot
    added = len(association) + len(irot)

    def grow(box_at, by):
        size = struct.unpack(">I", data[box_at:box_at + 4])[0]
        data[box_at:box_at + 4] = struct.pack(">I", size + by)

    grow(ipma_at if ipma_at < ipco_at else ipma_at + len(irot), len(association))
    grow(ipco_at if ipco_at < ipma_at else ipco_at + len(association), len(irot))
    grow(iprp_at, added)
    grow(meta_at, added)

    # Offsets into the file beyond 'meta' move with it.
    meta_end += added
    iloc_at, iloc_size, iloc_header = child(data, inner, meta_end, "iloc")
    at = iloc_at + iloc_header
    version = data[at]
    at += 4
    offset_size, length_size = data[at] >> 4, data[at] & 15
    base_size, index_size = data[at + 1] >> 4, (data[at + 1] & 15 if version in (1, 2) else 0)
    at += 2
    items = read_uint(data, at, 2 if version < 2 else 4)
    at += 2 if version < 2 else 4
    for _ in range(items):
        at += 2 if version < 2 else 4
        method = 0
        if version in (1, 2):
            method = read_uint(data, at, 2) & 15
            at += 2
        at += 2  # data reference index
        base = read_uint(data, at, base_size)
        base_at = at
        at += base_size
        extents = read_uint(data, at, 2)
        at += 2
        if method == 0 and base_size and base >= data_start:
            data[base_at:base_at + base_size] = (base + added).to_bytes(base_size, "big")
        for _ in range(extents):
            at += index_size
            offset = read_uint(data, at, offset_size)
            if method == 0 and offset_size and not base and offset >= data_start:
                data[at:at + offset_size] = (offset + added).to_bytes(offset_size, "big")
            at += offset_size + length_size
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()

"""A small cabinet writer for the end-to-end tests: one cabinet, any number of folders,
each stored or MSZIP, files given in file-table order. Standard library only."""
import struct
import zlib

STORED, MSZIP = 0, 1
BLOCK = 32768  # uncompressed bytes per data block, the format's limit


def dos_date(year, month, day):
    return ((year - 1980) << 9) | (month << 5) | day


def dos_time(hour, minute, second):
    return (hour << 11) | (minute << 5) | (second // 2)


def checksum(data, seed=0):
    """The cabinet data-block checksum: 32-bit little-endian words XOR-ed, then the tail
    bytes, the first of them highest."""
    value = seed
    whole = len(data) // 4 * 4
    for (word,) in struct.iter_unpack("<I", data[:whole]):
        value ^= word
    tail = 0
    for byte in data[whole:]:
        tail = (tail << 8) | byte
    return value ^ tail


def _blocks(payload, method):
    for start in range(0, max(len(payload), 1), BLOCK):
        plain = payload[start:start + BLOCK]
        if method == MSZIP:
            # Each block a whole deflate stream of its own, behind the "CK" signature.
            deflate = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed = b"CK" + deflate.compress(plain) + deflate.flush()
        else:
            packed = plain
        sizes = struct.pack("<HH", len(packed), len(plain))
        yield struct.pack("<I", checksum(sizes, checksum(packed))) + sizes + packed


def write_cabinet(path, folders, set_id=0x1234):
    """folders: list of (method, [(name in the cabinet, bytes, (date, time), attribs)])."""
    names = [name.encode("cp1252") + b"\0" for _, files in folders for name, *_ in files]
    header_size, folder_size = 36, 8
    files_offset = header_size + folder_size * len(folders)
    data_offset = files_offset + sum(16 + len(n) for n in names)

    folder_records, file_records, data = b"", b"", b""
    name_iter = iter(names)
    for index, (method, files) in enumerate(folders):
        offset_in_folder = 0
        payload = b""
        for _, content, (date, time), attribs in files:
            file_records += struct.pack("<IIHHHH", len(content), offset_in_folder, index, date, time,
                                        attribs) + next(name_iter)
            offset_in_folder += len(content)
            payload += content
        blocks = list(_blocks(payload, method))
        folder_records += struct.pack("<IHH", data_offset + len(data), len(blocks), method)
        data += b"".join(blocks)

    total = data_offset + len(data)
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, total, 0, files_offset, 0, 3, 1, len(folders),
                         len(names), 0, set_id, 0)
    with open(path, "wb") as out:
        out.write(header + folder_records + file_records + data)

"""A reader of "PVR.epg", written from the layout alone: per event the firmware's 80-byte
event structure, u64 logo ID, u32 local start, s16 offset, u32 local end, s16 offset, then
three items (u32 tag, u32 length, bytes) with tags 1 name, 2 description, 3 extended text;
at the end u32 event structure size and u32 record count. Little-endian, no header."""
import struct


class FormatError(Exception):
    pass


def read(data):
    """(records, structure size) of a whole file; raises FormatError on any deviation."""
    if len(data) < 8:
        raise FormatError("shorter than the trailer")
    structure_size, count = struct.unpack_from("<II", data, len(data) - 8)
    end = len(data) - 8
    at = 0
    records = []
    for i in range(count):
        if at + 100 > end:
            raise FormatError(f"record {i} cut")
        event = data[at:at + 80]
        logo, start, start_offset, stop, stop_offset = struct.unpack_from("<QIhIh", data, at + 80)
        at += 100
        items = []
        for tag in (1, 2, 3):
            if at + 8 > end:
                raise FormatError(f"record {i} item {tag} cut")
            got, length = struct.unpack_from("<II", data, at)
            if got != tag:
                raise FormatError(f"record {i}: tag {got} where {tag} belongs")
            at += 8
            if at + length > end:
                raise FormatError(f"record {i} item {tag} runs past the end")
            items.append(data[at:at + length])
            at += length
        records.append({"event": event, "logoid": logo, "start": start, "start_offset": start_offset,
                        "end": stop, "end_offset": stop_offset, "name": items[0], "description": items[1],
                        "text": items[2]})
    if at != end:
        raise FormatError(f"{end - at} bytes between the last record and the trailer")
    return records, structure_size


def logo_id(position, network, tsid, service):
    """The channel's logo ID: the low 32 bits sign-extended over position and network."""
    low = tsid << 16 | service
    high = position << 48 | network << 32
    if low & 0x80000000:
        return 0xFFFFFFFF00000000 | low
    return high | low

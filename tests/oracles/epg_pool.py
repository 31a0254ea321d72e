"""The firmware's EPG as it lies in memory, written byte for byte from the layout alone (it
shares no code with the decoder): an image to be placed at a 32-bit base address, holding the
head of the pool of all events, one head per service, the 80-byte event structures and their
text blocks.

Event structure (little-endian):
   0 u32 status: bits 0-1 data status, 2-4 running status, 12-19 duration minutes,
                 20-27 duration hours
   4 u16 event ID        8 u32 start (UTC packed date)    12 u32 end (UTC packed date)
  16 u8  name length    17 u8  parental rating             18 u16 network ID
  20 u16 TSID           22 u16 service ID                  24 u8  satellite index
  27 3 bytes language   40 u32 next in the pool            44 u32 next of the same service
  48 u32 text block: name, then the description and a zero byte
  52 u32 extended text  58 u16 extended-text length        64 u32 CRID reference
  68 u8  content        69 u8  source flag                 70 u16 unknown14
  72 u16 ICE channel    74 6 bytes unknown15
A list head is a u32 holding the first event's address; the last event links back to its head
(the end-of-list mark).

Packed date: MJD << 16 | hour << 8 | minute.
"""
import dataclasses
import datetime
import json
import struct
import zoneinfo

MJD_EPOCH = datetime.date(1858, 11, 17)
EVENT_SIZE = 80
POOL_NEXT = 40
SERVICE_NEXT = 44


def packed(moment):
    return (moment.date() - MJD_EPOCH).days << 16 | moment.hour << 8 | moment.minute


def unpacked(value):
    day = MJD_EPOCH + datetime.timedelta(days=value >> 16)
    return datetime.datetime(day.year, day.month, day.day, (value >> 8) & 0xFF, value & 0xFF)


@dataclasses.dataclass
class PoolEvent:
    start: datetime.datetime          # UTC, naive
    duration: int                     # minutes
    name: bytes = b""
    description: bytes = b""
    text: bytes = b""
    eventid: int = 1
    networkid: int = 1
    tsid: int = 1
    serviceid: int = 1
    satindex: int = 0
    parental: int = 0
    lang: bytes = b"eng"
    citid: int = 0
    content: int = 0
    sourceflag: int = 0
    unknown14: int = 0
    icechannel: int = 0
    unknown15: bytes = bytes(6)
    datastatus: int = 0
    runningstatus: int = 0

    @property
    def end(self):
        return self.start + datetime.timedelta(minutes=self.duration)

    @property
    def service(self):
        return (self.networkid, self.tsid, self.serviceid)

    def local(self, zone):
        """(local start, local end, offset of the start in minutes) in a time zone."""
        tz = zoneinfo.ZoneInfo(zone)
        utc = datetime.timezone.utc
        start = self.start.replace(tzinfo=utc).astimezone(tz)
        end = self.end.replace(tzinfo=utc).astimezone(tz)
        offset = int(start.utcoffset().total_seconds() // 60)
        return start.replace(tzinfo=None), end.replace(tzinfo=None), offset


@dataclasses.dataclass
class Pool:
    image: bytearray
    base: int
    head: int                         # address of the pool's head
    service_heads: dict               # (network, tsid, service) -> address of its head
    addresses: list                   # address of each event, in the order given

    def at(self, address):
        return address - self.base

    def put32(self, address, value):
        struct.pack_into("<I", self.image, self.at(address), value & 0xFFFFFFFF)

    def manifest(self):
        return {"base": self.base, "size": len(self.image), "head": self.head, "addresses": self.addresses,
                "services": [[n, t, s, a] for (n, t, s), a in sorted(self.service_heads.items())]}


def event_bytes(e, next_pool, next_service, text_block, ext_text):
    b = bytearray(b"\xCC" * EVENT_SIZE)        # bytes no reader may use stay marked
    hours, minutes = divmod(e.duration, 60)
    status = (e.datastatus & 3) | (e.runningstatus & 7) << 2 | (minutes & 0xFF) << 12 | (hours & 0xFF) << 20
    struct.pack_into("<IH", b, 0, status, e.eventid)
    struct.pack_into("<II", b, 8, packed(e.start), packed(e.end))
    b[16] = len(e.name) & 0xFF
    b[17] = e.parental
    struct.pack_into("<HHH", b, 18, e.networkid, e.tsid, e.serviceid)
    b[24] = e.satindex
    b[27:30] = e.lang[:3].ljust(3, b"\0")
    struct.pack_into("<IIII", b, 40, next_pool, next_service, text_block, ext_text)
    struct.pack_into("<H", b, 58, len(e.text) & 0xFFFF)
    struct.pack_into("<I", b, 64, e.citid & 0xFFFFFFFF)
    b[68] = e.content
    b[69] = e.sourceflag
    struct.pack_into("<HH", b, 70, e.unknown14, e.icechannel)
    b[74:80] = e.unknown15
    return b


def build_pool(events, base=0x10000000, pool_order=None, service_order="newest-first", spare=0):
    """The image of a pool holding events. pool_order: indexes of events in pool-list order
    (default: as given). Each service's list runs newest first (or oldest first). spare: free
    bytes at the end of the image."""
    order = list(range(len(events))) if pool_order is None else list(pool_order)
    services = []
    for e in events:
        if e.service not in services:
            services.append(e.service)
    heads_size = 4 * (1 + len(services))
    events_at = (heads_size + 15) // 16 * 16
    texts_at = events_at + EVENT_SIZE * len(events)
    addresses = [base + events_at + EVENT_SIZE * i for i in range(len(events))]
    head = base
    service_heads = {s: base + 4 * (1 + i) for i, s in enumerate(services)}

    texts = bytearray()
    blocks = []
    for e in events:
        block = base + texts_at + len(texts)
        texts += e.name + e.description + b"\0"
        ext = base + texts_at + len(texts) if e.text else 0
        texts += e.text
        blocks.append((block, ext))

    next_pool = {}
    for a, b in zip(order, order[1:] + [None]):
        next_pool[a] = head if b is None else addresses[b]
    next_service = {}
    for s in services:
        members = [i for i in range(len(events)) if events[i].service == s]
        members.sort(key=lambda i: events[i].start, reverse=service_order == "newest-first")
        for a, b in zip(members, members[1:] + [None]):
            next_service[a] = service_heads[s] if b is None else addresses[b]

    image = bytearray(texts_at) + texts + bytes(spare)
    pool = Pool(image, base, head, service_heads, addresses)
    pool.put32(head, addresses[order[0]] if order else head)
    for s in services:
        members = sorted((i for i in range(len(events)) if events[i].service == s),
                         key=lambda i: events[i].start, reverse=service_order == "newest-first")
        pool.put32(service_heads[s], addresses[members[0]])
    for i, e in enumerate(events):
        rec = event_bytes(e, next_pool.get(i, 0), next_service[i], *blocks[i])
        image[events_at + EVENT_SIZE * i: events_at + EVENT_SIZE * (i + 1)] = rec
    return pool


def expected_event(e, zone):
    """What a reader should make of event e in a time zone: local times from zoneinfo."""
    start, end, offset = e.local(zone)
    return {"eventid": e.eventid, "start_utc": packed(e.start), "end_utc": packed(e.end), "start": packed(start), "end": packed(end), "timezone": offset,
            "duration": e.duration, "name": e.name.hex(), "description": e.description.hex(), "text": e.text.hex(),
            "networkid": e.networkid, "tsid": e.tsid, "serviceid": e.serviceid, "satindex": e.satindex,
            "parental": e.parental, "lang": e.lang.decode("latin-1"), "citid": e.citid, "content": e.content,
            "sourceflag": e.sourceflag, "unknown14": e.unknown14, "icechannel": e.icechannel,
            "unknown15": e.unknown15.hex(), "datastatus": e.datastatus, "runningstatus": e.runningstatus}


def write(pool, image_path):
    """Writes the image; returns the manifest as JSON text."""
    with open(image_path, "wb") as f:
        f.write(pool.image)
    return json.dumps(pool.manifest())

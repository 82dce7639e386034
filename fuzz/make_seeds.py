#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

The seeds are the valid samples and the malformed cases that the unit tests use, written from this
script's own encoders of the wire formats (not from the product's code, so that one mistake cannot
hide on both sides). The files are kept in the repository; run this again only to change the seeds:

    fuzz/make_seeds.py            # rewrites seed-*, keeps every other file (crash inputs stay)

Every file of a corpus folder is replayed by CTest, so crash inputs added by hand (crash-*, named
after what they found) stay in the folders for good.

Several targets take choices from the first bytes of an input (see each target's source): the seeds
here start with those bytes too.
"""
import json
import pathlib
import struct
import sys

ROOT = pathlib.Path(__file__).resolve().parent / "corpus"


def write(target, name, data):
    folder = ROOT / target
    folder.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    (folder / ("seed-" + name)).write_bytes(data)


def clear_seeds(target):
    folder = ROOT / target
    if folder.is_dir():
        for path in folder.glob("seed-*"):
            path.unlink()


# ---------------------------------------------------------------------------------------- text parsers


def json_value_seeds():
    samples = {
        "object": '{"result": 200, "msg": "ok"}',
        "alarm": '{"event": "vcaalarm", "alarm": "1", "time": "2024-05-01 10:20:30", "items": '
        '[{"id": 3, "type": 1, "mask": 5}]}',
        "nested": '{"a": [1, [2, [3, {"b": null}]]], "c": {"d": {"e": true}}}',
        "escapes": '"\\u00fc\\ud83d\\ude00 \\n \\t \\" \\\\ \\/"',
        "numbers": "[0, -0, 1e308, -1e-308, 2147483648, -2147483649, 1.5, 9007199254740993, 1E+2]",
        "deep-64": "[" * 64 + "]" * 64,
        "deep-65": "[" * 65 + "]" * 65,
        "empty": "",
        "trailing-comma": '{"a": 1,}',
        "comment": '{"a": 1 /* no */}',
        "garbage-after": '{"a": 1} x',
        "unterminated": '{"a": "b',
        "bad-escape": '"\\x"',
        "lone-surrogate": '"\\ud800"',
        "invalid-utf8": b'"\xff\xfe\xc3"',
        "u2028": '"\u2028\u2029"',
        "nan": "NaN",
        "big-exponent": "1e99999",
    }
    for name, text in samples.items():
        write("json_value", name, text)


def digest_challenge_seeds():
    samples = {
        "rfc2617": 'Digest realm="testrealm@host.com", qop="auth,auth-int", '
        'nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", opaque="5ccc069c403ebaf9f0171e9517f40e41"',
        "unquoted-any-case": "digest Realm=cam, NONCE=abc123, algorithm=MD5, stale=FALSE",
        "md5-sess": 'Digest realm="cam", nonce="n", algorithm=MD5-sess, qop="auth"',
        "escapes": 'Digest realm="a, \\"b\\" \\\\ c", nonce="n"',
        "blanks-empty-items": 'Digest  realm = "r" ,, nonce="n" ,',
        "empty-value": 'Digest realm="", nonce="n"',
        "repeated": 'Digest nonce="1", nonce="2"',
        "no-nonce": 'Digest realm="r"',
        "scheme-only": "Digest",
        "after-basic": 'Basic realm="b", Digest realm="d", nonce="n"',
        "before-basic": 'Digest realm="d", nonce="n", Basic realm="b"',
        "token68": 'Negotiate YII+/a==, Basic realm="x", Bearer',
        "basic-only": 'Basic realm="b"',
        "empty": "",
        "blanks": "  \t ",
        "unterminated": 'Digest realm="r, nonce="n',
        "escape-at-end": 'Digest realm="r\\',
        "value-missing": "Digest realm=, nonce=n",
        "no-comma": "Digest realm=r nonce=n",
        "stray-quote": 'Digest"realm=r',
        "stray-equals": "Digest =x",
        "nul": b"Digest realm=r\x00x",
        "binary": b'\x01\xff\x80="',
        "qop-without-auth": 'Digest realm="r", nonce="n", qop="auth-int"',
        "unknown-algorithm": 'Digest realm="r", nonce="n", algorithm=SHA-256',
    }
    for name, text in samples.items():
        write("digest_challenge", name, text)


def flag_text_seeds():
    # Byte 0: the assertion handler's answer; byte 1: the enum (0 capabilities, 1 event type flags,
    # 2 object type flags); then the text.
    samples = [
        (0, "capabilities", "deviceDependent|noAutoBestShots"),
        (0, "capabilities-layout", " DEVICEDEPENDENT | 0x200 |  | 128 "),
        (0, "capabilities-none", "noCapabilities"),
        (0, "capabilities-unknown", "deviceDependent|flying"),
        (0, "capabilities-undefined-bits", "0x400|-1|0x80000000|2147483647"),
        (1, "event-flags", "stateDependent|regionDependent|hidden"),
        (1, "event-flags-empty", ""),
        (1, "event-flags-number", "0x0|0X3|08|-0|+1"),
        (2, "object-flags", "hiddenDerivedType|0x1"),
        (2, "object-flags-separators", "||| |"),
    ]
    for choice, name, text in samples:
        write("flag_text", name, bytes([1, choice]) + text.encode())


def peer_text_seeds():
    # Byte 0: the assertion handler's answer; byte 1: a multiple of 4 repeats the rest past the quoting
    # limit, any other value takes it once; then the bytes.
    samples = [
        (1, "json", '{"AlarmInfo":{"AlarmType":"MotionAlarmOn"}}'.encode()),
        (1, "control-bytes", b"line 1\nline 2\r\n\t\x00\x01\x1f\x7f end"),
        (1, "utf8", "caf\u00e9 \u20ac \U0001d11e".encode()),
        (1, "invalid-utf8", b"\xff\xfe\x80\x80\xc3"),
        (0, "repeated-utf8", "\u20ac".encode()),
        (0, "repeated-lines", b"a\n"),
        (0, "repeated-continuation", b"\x80"),
        (1, "backslashes", b"a\\nb\\x01\\u2028\\"),
        (1, "forged-cut-mark", b"ok... (9 bytes in all)"),
        (1, "hidden-characters", "\u0085\u061c\u200e\u2028\u2029\u202e\u2066\u2069\ufeff".encode()),
        (1, "byte-order-mark", b"\xef\xbb\xbfa"),
        (1, "invalid-forms", b"\xc0\x8a\xe0\x80\xa8\xed\xa0\x80\xf4\x90\x80\x80\xe2\x80"),
        (0, "repeated-separator", "\u2028".encode()),
        (0, "repeated-escape-and-dots", b"\x01... ("),
        (0, "repeated-dots", b"."),
        (1, "cut-mark-across-the-cut", b"a" * 1022 + b"... (" + b"z" * 8),
    ]
    for choice, name, data in samples:
        write("peer_text", name, bytes([1, choice]) + data)


def launcher_version_seeds():
    # Byte 0: the assertion handler's answer; then the text of a "launcher.version" file.
    samples = [
        ("equal", "5.1.4.38659\r\n"),
        ("short", "5.2"),
        ("negative", "-1.0.0.0"),
        ("garbage", "garbage"),
        ("overflow", "2147483648.9.99999999999999999999.-2147483649"),
        ("limits", "2147483647.-2147483648.0.0"),
        ("white-space-and-signs", " \t5.+1.\n4. -1"),
        ("stray-separators", "5..4.1 .2"),
    ]
    for name, text in samples:
        write("launcher_version", name, bytes([1]) + text.encode())


def camera_settings_seeds():
    samples = {
        "one-entry": "var system_lpr_support='1';",
        "line-breaks": "var system_model='IPCam 5000';\r\nvar system_lpr_support='0';\n",
        "lpr-settings": "".join("var %s='1';\n" % key for key in (
            "lpr_enable", "lpr_post_enable", "lpr_post_type", "lpr_direction_enable", "lpr_region_enable",
            "lpr_roiid_enable", "lpr_platecolor_enable", "lpr_vehicletype_enable", "lpr_vehiclecolor_enable")),
        "blanks": "  var  a = ' x y '  ;",
        "var-inside-names": "var system_variant='2';var varnish='3';variable='4';var='5';",
        "quotes-inside": "var a='it's';var b='';var c='x=y';var d=7",
        "cut-inside-quotes": "var a='x;y';var b='1';",
        "no-assignment": "hello;;world;var a='1';",
        "empty": "",
        "html": "<html><body><h1>500 Internal Server Error</h1></body></html>",
        "html-assignments": "<meta charset=utf-8>;<p style=x>",
        "utf8": b"var name='Kamera \xc3\xbcber';",
        "nul-in-piece": b"var a='1'\x00junk;var b='2';",
        "nul-before-assignment": b"var a\x00='1';",
        "invalid-utf8": b"var a='\xff\xfe';var \xc3=\x80",
    }
    for name, text in samples.items():
        write("camera_settings", name, text)


# ------------------------------------------------------------------------- video-analytics frames

VCA_MAGIC = bytes([0x20, 0x20, 0x06, 0x02])


def crc16_arc(data):
    """CRC-16/ARC bit by bit: reflected polynomial 0xA001, initial value 0, no final XOR."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def vca_frame(command, payload, version=2, magic=VCA_MAGIC, size=None, crc=None):
    if isinstance(payload, str):
        payload = payload.encode()
    return (magic + struct.pack(">HHII", command, crc16_arc(payload) if crc is None else crc,
                                len(payload) if size is None else size, version) + payload)


def vca_chunk(kind, length, data):
    if isinstance(data, str):
        data = data.encode()
    return struct.pack("<Bi", kind, length) + data


def json_chunk(text):
    return vca_chunk(0, len(text.encode()), text)


def image_chunk(data, kind=1):
    return vca_chunk(kind, len(data), data)


FAKE_JPEG = bytes([0xFF, 0xD8, 0xFF, 0xE0]) + b"JFIF" + bytes(range(40)) + bytes([0xFF, 0xD9])

ALARM_OBJECT = json.dumps({"event": "vcaalarm", "alarm": 1, "time": "2024-05-01 10:20:30", "ruleid": 2,
                           "rulename": "Line crossing", "objectid": 17}, separators=(",", ":"))
FACE_OBJECT = json.dumps({"event": "face", "alarm": "1", "face_data": [{"id": 1, "score": 87, "x": 10, "y": 20}]},
                         separators=(",", ":"))


def vca_frame_seeds():
    # Byte 0: bit 0 the assertion answer, bit 1 make headers sound; bytes 1-2: the read size (LE).
    def stream(name, data, read_size=0xFFFF, mode=0):
        write("vca_frame", name, bytes([mode]) + struct.pack("<H", read_size) + data)

    obj = '{"event":1,"alarm":1}'
    alarm = vca_frame(0x0102, json_chunk(obj))
    face = vca_frame(0x0201, json_chunk(FACE_OBJECT) + image_chunk(FAKE_JPEG))
    stream("register-reply", vca_frame(1, '{"result":401,"realm":"cam","nonce":"abc","qop":"auth"}'))
    stream("register-ok", vca_frame(1, '{"result":"200"}'))
    stream("vcacount-version-1", vca_frame(0x0101, obj, version=1))
    stream("regionalcount-version-3", vca_frame(0x0103, obj, version=3))
    stream("basicalarm-version-0", vca_frame(0x0301, obj, version=0))
    stream("radar", vca_frame(0x0310, '{"event":"radar","alarm":1,"distance":"12.5"}'))
    stream("alarm-chunked", vca_frame(0x0102, json_chunk(ALARM_OBJECT)))
    stream("face-with-image", face)
    stream("two-frames", vca_frame(0x0301, obj) + alarm)
    stream("frames-in-small-reads", vca_frame(0x0301, obj) + alarm + face, read_size=7)
    stream("frames-byte-by-byte", alarm + vca_frame(1, '{"result":200}'), read_size=1)
    stream("invalid-json", vca_frame(0x0101, '{"a":'))
    stream("array-for-object-command", vca_frame(0x0301, "[1]"))
    stream("undefined-command", vca_frame(300, "anything"))
    stream("bad-magic", vca_frame(0x0101, obj, magic=bytes([0x20, 0x20, 0x06, 0x12])))
    stream("size-at-limit", vca_frame(0x0101, b"", size=8 * 1024 * 1024))
    stream("size-past-limit", vca_frame(0x0101, b"", size=8 * 1024 * 1024 + 1))
    stream("size-near-4gib", vca_frame(0x0101, b"", size=0xFFFFFFFF))
    stream("bad-crc", vca_frame(0x0101, "{}", crc=0x1234))
    stream("fifteen-bytes", alarm[:15])
    stream("header-only", alarm[:16])
    stream("sound-headers-mode", vca_frame(0x0102, json_chunk(obj) + image_chunk(b"x"), crc=0) + b"\x00" * 20, mode=2)
    stream("face-fifty-elements", vca_frame(0x0201, json_chunk(json.dumps(
        {"event": "face", "alarm": 1, "face_data": [{"id": i, "score": 50 + i} for i in range(50)]},
        separators=(",", ":")))))


def vca_chunked_payload_seeds():
    obj = '{"event":1,"alarm":1}'
    first = json_chunk(obj)
    samples = {
        "empty": b"",
        "exactly-5-bytes": vca_chunk(0, 0, ""),
        "one-object": first,
        "two-objects": first + json_chunk("{}"),
        "two-images": image_chunk(b"one") + first + image_chunk(b"two", 7),
        "trailing-chunk-header": first + vca_chunk(0, 0, ""),
        "overruns-by-1": first + vca_chunk(0, 3, "{}"),
        "overruns-by-5": first + vca_chunk(0, 7, "{}"),
        "overruns-by-6": first + vca_chunk(0, 8, "{}"),
        "overrun-after-image": image_chunk(b"JPEG") + vca_chunk(1, 100, "x"),
        "negative-length": first + vca_chunk(0, -6, "{}{}{}"),
        "most-negative-length": vca_chunk(0, -2**31, "{}"),
        "largest-length": first + vca_chunk(1, 2**31 - 1, "{}"),
        "invalid-json-chunk": first + json_chunk("[2]") + first,
        "unparsable-json-chunk": json_chunk("{"),
        "face-with-image": json_chunk(FACE_OBJECT) + image_chunk(FAKE_JPEG),
    }
    for name, payload in samples.items():
        write("vca_chunked_payload", name, bytes([0]) + payload)


# ----------------------------------------------------------------------------- licence-plate wire

LPR_LOGIN_REQUEST, LPR_LOGIN_REPLY, LPR_METADATA = 0x0001, 0x8001, 0x8801
LPR_METADATA_CHUNK, LPR_IMAGE_CHUNK = 0x11FF0000, 0x22FF0000


def lpr_packet(packet_type, payload, length=None, end=0xFFDD, start=0xCCFF):
    if isinstance(payload, str):
        payload = payload.encode()
    return (struct.pack("<HHI", start, packet_type, len(payload) + 2 if length is None else length) + payload
            + struct.pack("<H", end))


def lpr_chunk(chunk_type, body, size=None):
    return struct.pack("<II", chunk_type, len(body) if size is None else size) + body


def plate_record(number=b"AB123CD", timestamp_ms=1_700_000_000_123, vehicle_color=0, plate_color=0, speed=0,
                 image_count=0, direction=0, country=b"", vehicle_kind=0, confidence=0.75, plate_type=0,
                 frame=(1920, 1080), box=(900, 500, 1020, 540), number_length=None):
    fields1 = bytearray(b"\x5a" * 80)
    struct.pack_into("<q", fields1, 16, timestamp_ms)
    fields1[40] = vehicle_color
    fields1[41] = plate_color
    struct.pack_into("<H", fields1, 42, speed)
    fields1[44] = image_count
    fields1[45] = direction
    fields1[46:78] = (country + bytes(32))[:32]
    fields1[79] = len(number) if number_length is None else number_length
    fields2 = bytearray(b"\x5a" * 30)
    fields2[0] = vehicle_kind
    struct.pack_into("<f", fields2, 1, confidence)
    fields2[5] = plate_type
    struct.pack_into("<HHHHHH", fields2, 18, frame[0], frame[1], *box)
    return bytes(fields1) + number + bytes(fields2)


def metadata_payload_samples():
    rich = plate_record(vehicle_color=2, plate_color=8, speed=65, image_count=2, direction=1, country=b"DE",
                        vehicle_kind=3, plate_type=2)
    return {
        "record-two-images": lpr_chunk(LPR_METADATA_CHUNK, rich) + lpr_chunk(LPR_IMAGE_CHUNK, FAKE_JPEG)
        + lpr_chunk(LPR_IMAGE_CHUNK, FAKE_JPEG * 2),
        "three-images-sorted": lpr_chunk(LPR_METADATA_CHUNK, plate_record(image_count=3))
        + lpr_chunk(LPR_IMAGE_CHUNK, b"a" * 500) + lpr_chunk(LPR_IMAGE_CHUNK, b"b" * 800)
        + lpr_chunk(LPR_IMAGE_CHUNK, b"c" * 600),
        "image-before-metadata": lpr_chunk(LPR_IMAGE_CHUNK, FAKE_JPEG) + lpr_chunk(LPR_METADATA_CHUNK, plate_record()),
        "invalid-header-after-two": lpr_chunk(LPR_METADATA_CHUNK, plate_record())
        + lpr_chunk(LPR_METADATA_CHUNK, plate_record(number=b"XY987")) + lpr_chunk(0x33FF0000, b"zz"),
        "remainder-5": lpr_chunk(LPR_METADATA_CHUNK, plate_record()) + b"\x01\x02\x03\x04\x05",
        "chunk-past-end": lpr_chunk(LPR_METADATA_CHUNK, plate_record()) + lpr_chunk(LPR_IMAGE_CHUNK, b"abc", size=100),
        "metadata-238": lpr_chunk(LPR_METADATA_CHUNK, plate_record(number=b"N" * 128)),
        "metadata-239": lpr_chunk(LPR_METADATA_CHUNK, plate_record(number=b"N" * 128) + b"!"),
        "image-size-limit-header": lpr_chunk(LPR_METADATA_CHUNK, plate_record())
        + struct.pack("<II", LPR_IMAGE_CHUNK, 6220800) + b"x",
        "image-size-past-limit": struct.pack("<II", LPR_IMAGE_CHUNK, 6220801) + b"x",
        "zero-size-chunk": lpr_chunk(LPR_METADATA_CHUNK, b""),
        "short-record": lpr_chunk(LPR_METADATA_CHUNK, plate_record()[:50]),
        "empty-plate-number": lpr_chunk(LPR_METADATA_CHUNK, plate_record(number=b"")),
    }


def lpr_packet_seeds():
    # Byte 0: bit 0 the assertion answer, bit 1 make frames sound; then the camera's stream.
    ok = lpr_packet(LPR_LOGIN_REPLY, '{"result":200}')
    samples = {
        "login-then-metadata": ok + b"".join(lpr_packet(LPR_METADATA, payload)
                                             for payload in metadata_payload_samples().values()),
        "login-text-200": lpr_packet(LPR_LOGIN_REPLY, '{"result":"200"}'),
        "login-text-200-ok": lpr_packet(LPR_LOGIN_REPLY, '{"result":" 200 OK"}'),
        "login-401": lpr_packet(LPR_LOGIN_REPLY, '{"result":401}'),
        "login-empty-object": lpr_packet(LPR_LOGIN_REPLY, "{}"),
        "login-not-json": lpr_packet(LPR_LOGIN_REPLY, "<html>"),
        "login-array": lpr_packet(LPR_LOGIN_REPLY, "[200]"),
        "seven-bytes": ok[:7],
        "header-waits": lpr_packet(LPR_LOGIN_REPLY, b"x" * 98)[:50],
        "empty-payload": ok + lpr_packet(LPR_METADATA, b""),
        "length-1": lpr_packet(LPR_LOGIN_REPLY, b"", length=1),
        "length-past-limit": ok + struct.pack("<HHI", 0xCCFF, LPR_METADATA, 18662401),
        "length-at-limit": ok + struct.pack("<HHI", 0xCCFF, LPR_METADATA, 18662400),
        "bad-start": lpr_packet(LPR_LOGIN_REPLY, '{"result":200}', start=0xCCFE),
        "type-0801": ok + lpr_packet(0x0801, b""),
        "no-end-marker": ok + lpr_packet(LPR_METADATA, b"abc", end=0xFFDE),
        "metadata-where-login-expected": lpr_packet(LPR_METADATA, b""),
        "login-in-metadata-phase": ok + ok,
        "login-request-type": ok + lpr_packet(LPR_LOGIN_REQUEST, '{"id":"admin","password":"x"}'),
    }
    for name, data in samples.items():
        write("lpr_packet", name, bytes([0]) + data)
    write("lpr_packet", "sound-frames-mode", bytes([2]) + ok + lpr_packet(LPR_METADATA, lpr_chunk(
        LPR_METADATA_CHUNK, plate_record()), length=9999, end=0))


def lpr_chunks_seeds():
    for name, payload in metadata_payload_samples().items():
        write("lpr_chunks", name, bytes([0]) + payload)
    write("lpr_chunks", "empty-plate-number-answer-true", bytes([1]) + lpr_chunk(LPR_METADATA_CHUNK,
                                                                                  plate_record(number=b"")))


def lpr_plate_record_seeds():
    # Byte 0: the assertion answer; byte 1: images that arrived; then the chunk body.
    samples = {
        "typical": (2, plate_record(image_count=2)),
        "all-attributes": (1, plate_record(vehicle_color=10, plate_color=12, speed=65535, image_count=1, direction=7,
                                           country=b"C" * 32, vehicle_kind=5, plate_type=3)),
        "country-empty": (0, plate_record(country=b"\x00DE")),
        "box-left-edge": (0, plate_record(box=(0, 900, 120, 940))),
        "box-top-right": (0, plate_record(box=(1800, 60, 1900, 100))),
        "x2-before-x1": (0, plate_record(box=(1020, 500, 900, 540))),
        "y2-before-y1": (0, plate_record(box=(900, 540, 1020, 500))),
        "frame-zero": (0, plate_record(frame=(0, 0))),
        "box-outside": (0, plate_record(box=(1900, 1000, 2100, 1200))),
        "tiny-frame": (0, plate_record(frame=(1, 65535), box=(0, 0, 1, 65535))),
        "nan-confidence": (0, plate_record(confidence=float("nan"))),
        "time-overflow": (0, plate_record(timestamp_ms=2**63 - 1)),
        "time-negative": (0, plate_record(timestamp_ms=-(2**63))),
        "short-body": (0, plate_record()[:50]),
        "number-length-past-body": (0, plate_record(number_length=200)[:120]),
        "longer-body": (0, plate_record() + b"extra"),
        "empty-body": (0, b""),
    }
    for name, (images, body) in samples.items():
        write("lpr_plate_record", name, bytes([0, images]) + body)


# ------------------------------------------------------------------------------ RTP object lists


def rtp_record(event_id, item_count, data, size=None, start_code=1):
    if size is None:
        size = len(data) // 4 if 5 <= event_id <= 7 else len(data)
    return struct.pack(">HBBII", start_code, event_id, item_count, 0, size) + data


def object_list(width, height, objects):
    data = struct.pack(">HH", width, height)
    for number, object_type, box in objects:
        data += struct.pack(">IIII", number, 0, 0, object_type) + struct.pack(">HHHH", *box)
    # The list is counted in words: 4 + 24 n bytes is always a whole number of them.
    return data


def rtp_blob(*records, header=b"\x00\x01\x02\x03\x04\x05\x06\x07"):
    return header + b"".join(records)


# Objects of the many-objects seed. Not the record's most (255, over 6 KB): the fuzzer starts with
# inputs as long as its longest seed, and at that length every run parses hundreds of objects. The
# parser takes the same paths for 16 as for 255 (the whole 255 is a unit test), and the fuzzer may
# still grow inputs up to a full record (fuzz/options/rtp_blob.options). Their numbers run from one
# to four digits, so that the log lines write numbers of every length a full record gives.
MANY_OBJECTS = 16


def rtp_blob_seeds():
    person = rtp_record(5, 1, object_list(1920, 1080, [(42, 1, (960, 540, 1920, 1080))]))
    samples = {
        "one-person": [rtp_blob(person)],
        "same-object-twice": [rtp_blob(person), rtp_blob(person)],
        "person-vehicle-unknown": [rtp_blob(rtp_record(5, 3, object_list(1920, 1080, [
            (1, 1, (0, 0, 10, 10)), (2, 2, (100, 100, 200, 300)), (3, 3, (5, 5, 6, 6))])))],
        "boxes-at-edges": [rtp_blob(rtp_record(5, 3, object_list(1920, 1080, [
            (1, 1, (0, 0, 0, 0)), (2, 1, (20, 0, 10, 10)), (3, 2, (0, 0, 1921, 10))])))],
        "event-0-bytes": [rtp_blob(rtp_record(0, 0, b"abcd"), person)],
        "event-6-words": [rtp_blob(rtp_record(6, 0, b"x" * 16), person)],
        "start-code-2": [rtp_blob(rtp_record(5, 1, object_list(1, 1, []), start_code=2), person)],
        "event-id-9": [rtp_blob(rtp_record(9, 0, b"abcd"), person)],
        "record-past-end": [rtp_blob(person, rtp_record(0, 0, b"abcd", size=400))],
        "item-count-0": [rtp_blob(rtp_record(5, 0, object_list(1920, 1080, [])))],
        "item-count-past-data": [rtp_blob(rtp_record(5, 3, object_list(1920, 1080, [(1, 1, (0, 0, 5, 5))])))],
        "zero-resolution": [rtp_blob(rtp_record(5, 1, object_list(0, 1080, [(1, 1, (0, 0, 5, 5))])))],
        "header-only": [rtp_blob()],
        "short-blob": [b"\x00\x01\x02"],
        "zero-size-record": [rtp_blob(rtp_record(1, 0, b""), person)],
        "huge-word-count": [rtp_blob(rtp_record(7, 0, b"", size=0xFFFFFFFF))],
        "many-objects": [rtp_blob(rtp_record(5, MANY_OBJECTS, object_list(1920, 1080, [
            (97 * i, 1 + i % 2, (i, i, i + 100, i + 100)) for i in range(MANY_OBJECTS)])))],
    }
    for name, blobs in samples.items():
        data = bytes([0])
        for blob in blobs:
            data += struct.pack("<H", len(blob)) + blob
        write("rtp_blob", name, data)
    write("rtp_blob", "start-code-2-answer-true", bytes([1]) + struct.pack("<H", 200) + rtp_blob(
        rtp_record(5, 1, object_list(1, 1, []), start_code=2), person))


# ------------------------------------------------------------------------------------ H.264 video packets

def start_code(four=True):
    return b"\x00\x00\x00\x01" if four else b"\x00\x00\x01"


def emulation_prevention(rbsp):
    out = bytearray()
    zeros = 0
    for byte in rbsp:
        if zeros >= 2 and byte <= 3:
            out.append(3)
            zeros = 0
        out.append(byte)
        zeros = zeros + 1 if byte == 0 else 0
    return bytes(out)


def ff_coded(value):
    return b"\xff" * (value // 255) + bytes([value % 255])


def sei_unit(messages, four=True):
    rbsp = b"\x06" + b"".join(ff_coded(kind) + ff_coded(len(payload)) + payload for kind, payload in messages)
    return start_code(four) + emulation_prevention(rbsp + b"\x80")


def slice_unit(size, seed, nal_type=5):
    state = seed * 2654435761 % 2**32 or 1
    payload = bytearray()
    for _ in range(size):
        state ^= (state << 13) % 2**32
        state ^= state >> 17
        state ^= (state << 5) % 2**32
        payload.append(state >> 24)
    return start_code() + emulation_prevention(bytes([0x60 | nal_type]) + bytes(payload) + b"\x80")


def track_record(object_id, left, top, right, bottom, kind=0, type_flag=1, extra=b"\x01", extra_length=None):
    return (struct.pack(">II4H", object_id, 0, left, top, right, bottom) + struct.pack(">I", kind) + bytes(8)
            + struct.pack(">II", len(extra) if extra_length is None else extra_length, type_flag) + extra)


def track_payload(duration_ms, records, count=None, marker=0x20):
    return (bytes([marker]) + bytes(8) + struct.pack(">HH", len(records) if count is None else count, duration_ms)
            + b"".join(records))


def h264_sei_seeds():
    vehicle = track_record(7, 1000, 2000, 3000, 5000, extra=b"\x02")
    person = track_record(8, 100, 200, 300, 400, extra=b"\x01")
    write("h264_sei", "one-track", sei_unit([(5, track_payload(40, [vehicle]))]))
    write("h264_sei", "slice-then-sei", slice_unit(300, 1) + sei_unit([(5, track_payload(40, [vehicle, person]))]))
    write("h264_sei", "two-sei-units", sei_unit([(5, track_payload(40, [vehicle]))], four=False)
          + sei_unit([(5, track_payload(40, [person]))]))
    write("h264_sei", "several-messages", sei_unit([(1, b"\x00\x00\x01"), (300, bytes(400)), (5, b"\x20")]))
    write("h264_sei", "size-past-end", start_code() + b"\x06\x05\x40short\x80")
    write("h264_sei", "ff-type-only", start_code() + b"\x06\xff\xff\xff")
    write("h264_sei", "no-trailing-bits", start_code() + b"\x06\x05\x01\x20")
    write("h264_sei", "count-past-records", sei_unit([(5, track_payload(40, [vehicle], count=3))]))
    write("h264_sei", "extra-past-end", sei_unit([(5, track_payload(40, [track_record(9, 1, 2, 3, 4,
                                                                                          extra_length=1000)]))]))
    write("h264_sei", "sps", start_code() + emulation_prevention(b"\x67\x64\x00\x29\xac\x80"))
    write("h264_sei", "start-codes-only", start_code() * 4 + start_code(False) * 3)
    write("h264_sei", "no-start-code", bytes(range(256)))


# ------------------------------------------------------------------------------------------ Uniview


def uniview_object_seeds():
    # First byte: object type (low bits: 0 face, 1 person, 2 vehicle, 3 bike) and assertion answer (bit 7).
    samples = {
        "face": (0, {"FaceID": 3, "SmallPicAttachIndex": 1, "LargePicAttachIndex": 2,
                     "Position": "1000,2000;3000,5000",
                     "AttributeInfo": {"Gender": 1, "AgeRange": 3, "GlassFlag": 2, "GlassesStyle": 99,
                                       "HairColor": 18, "MaskFlag": 1, "HatFlag": 2, "HatColor": 4,
                                       "Temperature": 36.5}}),
        "person": (1, {"PersonID": "17", "Position": "0,0;10000,10000",
                       "AttributeInfo": {"Gender": 0, "AgeRange": "2", "SleevesLength": 1, "CoatColor": 3,
                                         "TrousersLength": 2, "TrousersColor": 0, "BodyToward": 3,
                                         "ShoesTubeLength": 1, "HairLength": 2, "BagFlag": 2}}),
        "vehicle": (2, {"ID": 0, "Position": "3000,5000;1000,2000",
                        "VehicleAttributeInfo": {"Color": 8, "SpeedType": 4, "VehicleBrand": "Volvo",
                                                 "AimStatus": 1, "DriverSunVisorStatus": 0, "Pendant": "1x",
                                                 "ImageDirection": 9}}),
        "bike": (3 | 0x80, {"ID": 5, "Position": "1,2,3;4,5",
                            "AttributeInfo": {"SpeedType": 2, "ImageDirection": 1, "NonVehicleType": 4}}),
        "no-id": (2, {"Position": "1,2;3,4;", "VehicleAttributeInfo": [1, 2]}),
        "bad-values": (1, {"PersonID": 1e12, "Position": 7,
                           "AttributeInfo": {"Gender": "unknown", "AgeRange": None, "BagFlag": [2]}}),
        "lapi-reply": (0, {"Response": {"ResponseCode": 1, "ResponseString": "Not Supported", "Data": {}}}),
    }
    for name, (choice, value) in samples.items():
        write("uniview_object", name, bytes([choice]) + json.dumps(value).encode("utf-8"))
    write("uniview_object", "not-json", bytes([0]) + b'{"FaceID": 1, "Position": "1,1;2')
    write("uniview_object", "array", bytes([1]) + b'[{"PersonID": 1}]')


# ---------------------------------------------------------------------------------------- zip packages


def zip_package(entries, compression=None):
    """A zip file of (name, data, unix type and mode) entries, written by Python's own zip code."""
    import io
    import stat
    import zipfile
    compression = zipfile.ZIP_DEFLATED if compression is None else compression
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as package:
        for name, data, mode in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 5, 1, 10, 20, 30))
            info.create_system = 3  # Unix: the high 16 bits of the external attributes are st_mode.
            info.external_attr = mode << 16
            if stat.S_ISDIR(mode):
                info.external_attr |= 0x10  # The MS-DOS folder bit too, as zip tools write it.
            info.compress_type = compression
            package.writestr(info, data)
    return buffer.getvalue()


def zip_extract_seeds():
    import zipfile
    FILE, DIR, LINK = 0o100000, 0o040000, 0o120000
    client = [
        ("bin/", b"", DIR | 0o755),
        ("bin/velorin", b"#!/bin/sh\necho client\n", FILE | 0o755),
        ("build_info.txt", b"version=5.1.4.100\nprotoVersion=1234\n", FILE | 0o644),
        ("lib/libclient.so.5", b"\x7fELF" + bytes(range(256)) * 8, FILE | 0o644),
        ("lib/libclient.so", b"libclient.so.5", LINK | 0o777),
        ("bin/lib", b"../lib", LINK | 0o777),
        ("readonly/", b"", DIR | 0o555),
        ("readonly/file", b"inside", FILE | 0o444),
    ]
    write("zip_extract", "client-tree", zip_package(client))
    write("zip_extract", "client-tree-stored", zip_package(client, zipfile.ZIP_STORED))
    write("zip_extract", "empty-package", zip_package([]))
    for name, entry in {
        "traversal": ("../evil", b"evil", FILE | 0o644),
        "traversal-deep": ("a/../../evil", b"evil", FILE | 0o644),
        "traversal-backslash": ("..\\evil", b"evil", FILE | 0o644),
        "absolute": ("/tmp/vorn-zip-fuzz-evil", b"evil", FILE | 0o644),
        "drive-letter": ("C:evil", b"evil", FILE | 0o644),
        "three-dots": (".../evil", b"evil", FILE | 0o644),
        "link-out": ("escape", b"../outside", LINK | 0o777),
        "link-absolute": ("escape", b"/etc", LINK | 0o777),
        "setuid": ("tool", b"tool", FILE | 0o4755),
    }.items():
        write("zip_extract", name, zip_package([client[1], entry]))
    write("zip_extract", "link-out-through-later-link", zip_package([
        ("a", b"self/../../outside", LINK | 0o777),
        ("self", b".", LINK | 0o777),
    ]))
    write("zip_extract", "file-through-link", zip_package([
        ("dir", b"../../outside", LINK | 0o777),
        ("dir/evil", b"evil", FILE | 0o644),
    ]))
    write("zip_extract", "file-below-file", zip_package([
        ("a", b"file", FILE | 0o644),
        ("a/b", b"below a file", FILE | 0o644),
    ]))
    good = zip_package(client)
    write("zip_extract", "truncated", good[: len(good) // 2])
    corrupt = bytearray(zip_package(client, zipfile.ZIP_STORED))
    corrupt[100] ^= 0xFF  # Inside the first stored file's data: its CRC no longer matches.
    write("zip_extract", "corrupt-data", bytes(corrupt))
    write("zip_extract", "not-a-zip", b"PK\x05\x06" + b"\x00" * 18 + b"garbage")


# ----------------------------------------------------------------------------- launcher pipe requests


def waypoint_request_seeds():
    # The first byte is the assertion answer; the rest is one message as a client writes it.
    def request(channel, body=None):
        text = channel + "\n"
        if body is not None:
            text += json.dumps(body, separators=(",", ":"), ensure_ascii=False)
        return text

    samples = {
        "quit": "quit\n",
        "ping": request("pingWaypoint", {"value1": "7", "value2": "-9"}),
        "run": request("run", {"version": "5.1.4.38659", "arguments": ["--proto", "5", "\u00fc \"q\""]}),
        "install-zip": request("installZip", {"version": "4.2.0.1", "zipFileName": "/tmp/c.zip"}),
        "start-zip": request("startZipInstallation", {"version": "5.0", "zipFileName": "c.zip"}),
        "check-zip": request("checkZipProgress", {"version": "5.1.2.3"}),
        "is-installed": request("isVersionInstalled", {"version": "3.0.0.0"}),
        "installed-versions": request("getInstalledVersions", {}),
        "kill-timer": request("addProcessKillTimer", {"pid": "4194304", "timeoutMs": 1000}),
        "kill-timer-fraction": request("addProcessKillTimer", {"pid": "1", "timeoutMs": 1.5}),
        "unknown-member": request("pingWaypoint", {"value1": "1", "value2": "2", "x": [1, {"y": "}"}]}),
        "carriage-return": "run\r\n{}",
        "no-line": "pingWaypoint",
        "not-json": "pingWaypoint\nhello",
        "cut-off": "pingWaypoint\n{\"value1\":\"7\"",
        "two-objects": "pingWaypoint\n{}{}",
        "reply-ok": "ok\n\n",
        "reply-ping": "ok\n{\"timeMs\":\"1\",\"value1\":\"7\",\"value2\":\"9\"}\n",
        "reply-progress": "unpackingZip\n{\"extracted\":\"1\",\"total\":\"2\"}\n",
        "reply-installed": "ok\n{\"installed\":true}\n",
        "reply-versions": "ok\n{\"versions\":[\"4.2.0.0\",\"5.1\"]}\n",
        "deep": "pingWaypoint\n" + "{\"a\":" * 200 + "1" + "}" * 200,
    }
    for name, text in samples.items():
        write("waypoint_request", name, b"\x00" + text.encode("utf-8"))
    write("waypoint_request", "ping-answer-true", b"\x01" + samples["ping"].encode("utf-8"))


def uniview_alarm_body_seeds():
    def alarm(name, stamp=1700000000):
        info = {"AlarmType": name}
        if stamp is not None:
            info["TimeStamp"] = stamp
        return json.dumps({"AlarmInfo": info})
    for answer in (0, 1):
        write("uniview_alarm_body", "motion-on-%d" % answer, bytes([answer]) + alarm("MotionAlarmOn").encode())
    write("uniview_alarm_body", "motion-off", b"\x00" + alarm("MotionAlarmOff").encode())
    write("uniview_alarm_body", "line-crossed", b"\x00" + alarm("LineDetectorCrossed").encode())
    write("uniview_alarm_body", "no-time-stamp", b"\x00" + alarm("MotionAlarmOn", None).encode())
    write("uniview_alarm_body", "time-stamp-beyond-32-bits", b"\x00" + alarm("MotionAlarmOn", 4102444800).encode())
    write("uniview_alarm_body", "time-stamp-huge", b"\x00" + alarm("MotionAlarmOn", 1e300).encode())
    write("uniview_alarm_body", "unknown", b"\x00" + alarm("motionalarmon").encode())
    write("uniview_alarm_body", "array", b"\x00[1,2]")
    write("uniview_alarm_body", "alarm-info-text", b'\x00{"AlarmInfo":"MotionAlarmOn"}')
    write("uniview_alarm_body", "truncated", b'\x00{"AlarmInfo":{')


def uniview_structure_body_seeds():
    picture = {"Index": 1, "Data": "/9j/4AAQSkZJRgABAQ=="}
    face = {"FaceID": 12, "SmallPicAttachIndex": 1, "Position": "1000,2000;3000,5000",
            "AttributeInfo": {"Gender": 1, "AgeRange": 3, "GlassFlag": 2, "Temperature": 36.6}}
    person = {"PersonID": 4, "SmallPicAttachIndex": 2, "Position": "0,0;10000,10000",
              "AttributeInfo": {"Gender": 0, "BagFlag": 2, "CoatColor": 18}}
    vehicle = {"ID": 7, "Position": "100,100;200,200", "VehicleAttributeInfo": {"Color": 4, "VehicleBrand": "X"}}
    bike = {"ID": 8, "Position": "1,2;3,4", "AttributeInfo": {"NonVehicleType": 4}}

    def push(objects, images=(picture,), stamp=1700000000, image_num=None):
        body = {"StructureInfo": {"ImageNum": len(images) if image_num is None else image_num,
                                  "ImageInfoList": list(images), "ObjInfo": objects}}
        if stamp is not None:
            body["TimeStamp"] = stamp
        return json.dumps(body)
    for answer in (0, 1):
        write("uniview_structure_body", "face-with-picture-%d" % answer,
              bytes([answer]) + push({"FaceNum": 1, "FaceInfoList": [face]}).encode())
    write("uniview_structure_body", "all-kinds", b"\x00" + push({
        "FaceInfoList": [face], "PersonInfoList": [person], "VehicleInfoList": [vehicle],
        "NonMotorVehicleInfoList": [bike]}, images=(picture, {"Index": 2, "URL": "http://camera/2.jpg"})).encode())
    write("uniview_structure_body", "bad-base64", b"\x00" + push({"FaceInfoList": [face]},
                                                                  images=({"Index": 1, "Data": "@@@"},)).encode())
    write("uniview_structure_body", "no-time-stamp", b"\x00" + push({"FaceInfoList": [face]}, stamp=None).encode())
    write("uniview_structure_body", "obj-info-text", b'\x01{"StructureInfo":{"ObjInfo":"x"}}')
    write("uniview_structure_body", "no-structure-info", b'\x00{"TimeStamp":5}')
    write("uniview_structure_body", "item-not-object", b'\x00{"StructureInfo":{"ObjInfo":{"FaceInfoList":[5]}}}')
    write("uniview_structure_body", "image-num-differs", b"\x00" + push({}, image_num=3).encode())
    write("uniview_structure_body", "truncated", b'\x00{"StructureInfo":')


def uniview_push_request_seeds():
    def request(method, target, body, extra=b""):
        return (method.encode() + b" " + target.encode() + b" HTTP/1.1\r\nHost: 10.0.0.5:40000\r\n"
                + b"Content-Type: application/json\r\nContent-Length: " + str(len(body)).encode() + b"\r\n"
                + extra + b"\r\n" + body)

    # The choices in front of the connection's bytes: the pool's bound (None: the server's) and the sizes
    # of the pieces the bytes come in (none: one piece).
    def connection(data, bound=None, pieces=()):
        choices = b"\x00" if bound is None else b"\x01" + struct.pack("<H", bound)
        return choices + bytes([len(pieces)]) + bytes(size - 1 for size in pieces) + data

    def write_request(name, data, **choices):
        write("uniview_push_request", name, connection(data, **choices))

    alarm = b'{"AlarmInfo":{"AlarmType":"MotionAlarmOn","TimeStamp":1700000000}}'
    alarm_request = request("POST", "/LAPI/V1.0/System/Event/Notification/Alarm", alarm)
    write_request("alarm", alarm_request)
    write_request("structure", request("POST", "/LAPI/V1.0/System/Event/Notification/Structure",
                                       b'{"StructureInfo":{"ObjInfo":{}}}'))
    write_request("control-bytes", request("POST", "/LAPI/V1.0/System/Event/Notification/Alarm",
                                           b'{"a":"x\x01\x1fy\t\r\n"}'))
    write_request("encoded-path", request("POST", "/LAPI/V1.0/System/Event/Notification/%41larm?x=1", alarm))
    write_request("other-case", request("POST", "/lapi/v1.0/system/event/notification/alarm", alarm))
    write_request("get", request("GET", "/LAPI/V1.0/System/Event/Notification/Alarm", b""))
    write_request("chunked", b"POST /LAPI/V1.0/System/Event/Notification/Alarm HTTP/1.1\r\n"
                  b"Host: x\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n")
    write_request("length-over-cap", b"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: 16777217\r\n\r\n")
    # The bytes in pieces of 1, 7 and 100 bytes in turn, as a slow camera's reads deliver them.
    write_request("split-chunks", alarm_request, pieces=(1, 7, 100))
    # Two pushes over a kept connection, the second right behind the first in one read.
    write_request("kept-connection", alarm_request + request("POST", "/LAPI/V1.0/System/Event/Notification/Structure",
                                                             b"{}"))
    # A pool with room for the header read and the alarm, and one that a picture's body would pass.
    write_request("small-bound", alarm_request, bound=2048)
    write_request("small-bound-passed", request("POST", "/LAPI/V1.0/System/Event/Notification/Structure",
                                                b"p" * 1500), bound=2048, pieces=(200,))


def uniview_subscription_reply_seeds():
    def reply(data=None, code=0, text="Succeed", created_id=3, extra=None):
        response = {"ResponseURL": "/LAPI/V1.0/System/Event/Subscription", "CreatedID": created_id,
                    "ResponseCode": code, "SubResponseCode": 0, "ResponseString": text,
                    "StatusCode": code, "StatusString": text}
        if created_id is None:
            del response["CreatedID"]
        if data is not None:
            response["Data"] = data
        if extra:
            response.update(extra)
        return json.dumps({"Response": response})

    def times(current, termination):
        return {"ID": 3, "CurrentTime": current, "TerminationTime": termination}
    write("uniview_subscription_reply", "granted-as-asked", reply(times(1700000000, 1700001800)))
    write("uniview_subscription_reply", "clock-an-hour-behind", reply(times(1699996400, 1699998200)))
    write("uniview_subscription_reply", "short-grant", reply(times(1700000000, 1700000020)))
    write("uniview_subscription_reply", "shortest-grant", reply(times(5, 6)))
    write("uniview_subscription_reply", "more-than-asked", reply(times(5, 3605)))
    write("uniview_subscription_reply", "no-time-left", reply(times(5, 5)))
    write("uniview_subscription_reply", "ends-before-it-starts", reply(times(5, 4)))
    write("uniview_subscription_reply", "across-2-31", reply(times(2147483000, 2147484200)))
    write("uniview_subscription_reply", "after-2100", reply(times(4102444800, 4102445400)))
    write("uniview_subscription_reply", "at-the-limit", reply(times(9007199254740892, 9007199254740992)))
    write("uniview_subscription_reply", "past-the-limit", reply(times(9007199254740892, 9007199254740994)))
    write("uniview_subscription_reply", "huge", reply(times(-1e300, 1e300)))
    write("uniview_subscription_reply", "fractions", reply(times(100.9, 130.2)))
    write("uniview_subscription_reply", "times-as-texts", reply(times("0", "30")))
    write("uniview_subscription_reply", "no-current-time", reply({"TerminationTime": 1800}))
    write("uniview_subscription_reply", "no-data", reply())
    write("uniview_subscription_reply", "data-array", reply([1, 2]))
    write("uniview_subscription_reply", "renew-no-created-id", reply(times(0, 1800), created_id=None))
    write("uniview_subscription_reply", "negative-created-id", reply(times(0, 1800), created_id=-1))
    write("uniview_subscription_reply", "huge-created-id", reply(times(0, 1800), created_id=1e30))
    write("uniview_subscription_reply", "device-error", reply(code=1, text="No free subscription slot"))
    write("uniview_subscription_reply", "code-as-text", reply(times(0, 30), extra={"ResponseCode": "1"}))
    write("uniview_subscription_reply", "no-response", "{}")
    write("uniview_subscription_reply", "response-text", '{"Response":"ok"}')
    write("uniview_subscription_reply", "array", "[1,2]")
    write("uniview_subscription_reply", "html", "<html>not json</html>")
    write("uniview_subscription_reply", "truncated", '{"Response":{"Data":{"CurrentTime":17')
    write("uniview_subscription_reply", "empty", "")


TARGETS = {
    "json_value": json_value_seeds,
    "digest_challenge": digest_challenge_seeds,
    "flag_text": flag_text_seeds,
    "peer_text": peer_text_seeds,
    "launcher_version": launcher_version_seeds,
    "camera_settings": camera_settings_seeds,
    "vca_frame": vca_frame_seeds,
    "vca_chunked_payload": vca_chunked_payload_seeds,
    "lpr_packet": lpr_packet_seeds,
    "lpr_chunks": lpr_chunks_seeds,
    "lpr_plate_record": lpr_plate_record_seeds,
    "rtp_blob": rtp_blob_seeds,
    "h264_sei": h264_sei_seeds,
    "uniview_object": uniview_object_seeds,
    "zip_extract": zip_extract_seeds,
    "waypoint_request": waypoint_request_seeds,
    "uniview_alarm_body": uniview_alarm_body_seeds,
    "uniview_structure_body": uniview_structure_body_seeds,
    "uniview_push_request": uniview_push_request_seeds,
    "uniview_subscription_reply": uniview_subscription_reply_seeds,
}


def main():
    wanted = sys.argv[1:] or list(TARGETS)
    for target in wanted:
        clear_seeds(target)
        TARGETS[target]()
        print("%s: %d files" % (target, len(list((ROOT / target).iterdir()))))


if __name__ == "__main__":
    main()

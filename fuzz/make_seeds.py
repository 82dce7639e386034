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
import os
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


TARGETS = {
    "json_value": json_value_seeds,
    "digest_challenge": digest_challenge_seeds,
    "flag_text": flag_text_seeds,
    "camera_settings": camera_settings_seeds,
}


def main():
    wanted = sys.argv[1:] or list(TARGETS)
    for target in wanted:
        clear_seeds(target)
        TARGETS[target]()
        print("%s: %d files" % (target, len(list((ROOT / target).iterdir()))))


if __name__ == "__main__":
    main()

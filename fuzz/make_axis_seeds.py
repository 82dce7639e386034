#!/usr/bin/env python3
"""Writes the seed corpora of the Axis fuzz targets into fuzz/corpus/axis_*/.

The seeds are the fake camera's fixtures (testing/fake_axis_camera/data) and the malformed cases of
quillwort's tests, written from this script's own templates. Like make_seeds.py it rewrites seed-* files
only and keeps every other file (crash inputs stay):

    fuzz/make_axis_seeds.py

Each target but axis_image_size starts with a choice byte (see its source): the seeds start with it too.
"""
import pathlib
import struct

from make_seeds import clear_seeds, write  # the same corpus folders and seed naming

HERE = pathlib.Path(__file__).resolve().parent
DATA = HERE.parent / "testing" / "fake_axis_camera" / "data"


def nested(depth, inner=""):
    return "<e>" * depth + inner + "</e>" * depth


def message(topic, items, operation="Changed"):
    data = "".join('<tt:SimpleItem Name="%s" Value="%s"/>' % item for item in items)
    return ('<wsnt:NotificationMessage><wsnt:Topic>%s</wsnt:Topic><wsnt:Message><tt:Message PropertyOperation="%s">'
            "<tt:Data>%s</tt:Data></tt:Message></wsnt:Message></wsnt:NotificationMessage>" % (topic, operation, data))


def packet_seeds():
    target = "axis_notification_packet"
    clear_seeds(target)
    for path in sorted(DATA.glob("*.xml")):
        if path.name != "catalogue_topic_set.xml":
            write(target, path.stem, b"\x00" + path.read_bytes())
    motion = "tns1:RuleEngine/MotionRegionDetector/Motion"
    write(target, "state-and-attributes", "\x01" + message(motion, [("State", "0"), ("ObjectId", "3")]))
    write(target, "duplicate-names", "\x00" + message("t", [("a", "1"), ("a", "2")]))
    write(target, "no-topic", "\x00<wsnt:NotificationMessage><tt:Message><tt:Data/></tt:Message></wsnt:NotificationMessage>")
    write(target, "no-data", "\x00<wsnt:NotificationMessage><wsnt:Topic>x</wsnt:Topic><tt:Message/></wsnt:NotificationMessage>")
    write(target, "unclosed", "\x00<tt:MetadataStream><tt:Event>")
    write(target, "deep-128", "\x00" + nested(128))
    write(target, "deep-129", "\x00" + nested(129))
    write(target, "comment-end-tags", "\x00<r><!-- </r></r> -->" + nested(130) + "</r>")
    write(target, "doctype", '\x00<!DOCTYPE r [ <!ENTITY x "</a>"> ]><r>' + message("t", [("a", "&amp;")]) + "</r>")
    write(target, "cdata-and-pi", "\x00<?xml version='1.0'?><r><![CDATA[</r>]]><?pi x?>" + message("t", []) + "</r>")
    write(target, "embedded-zero", b"\x00<r>\x00" + message("t", []).encode() + b"</r>")
    write(target, "empty", b"\x00")


def catalogue_reply(topic_set):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<SOAP-ENV:Envelope><SOAP-ENV:Body><aev:GetEventInstancesResponse>'
            "<wstop:TopicSet>%s</wstop:TopicSet></aev:GetEventInstancesResponse></SOAP-ENV:Body>"
            "</SOAP-ENV:Envelope>" % topic_set)


def catalogue_seeds():
    target = "axis_catalogue"
    clear_seeds(target)
    write(target, "fixture", "\x00" + catalogue_reply((DATA / "catalogue_topic_set.xml").read_text()))
    write(target, "state-flag-1", "\x00" + catalogue_reply(
        '<tns1:RuleEngine><Leaf><aev:MessageInstance><aev:DataInstance><aev:SimpleItemInstance Name="active" '
        'isPropertyState="1"/></aev:DataInstance></aev:MessageInstance></Leaf></tns1:RuleEngine>'))
    write(target, "empty-branches", "\x00" + catalogue_reply("<a><b><c/></b></a><d/>"))
    write(target, "soap-fault", '\x00<SOAP-ENV:Envelope><SOAP-ENV:Body><SOAP-ENV:Fault/></SOAP-ENV:Body></SOAP-ENV:Envelope>')
    write(target, "not-xml", "\x00<html><body>Unauthorized")
    write(target, "deep-128", "\x00<wstop:TopicSet>" + nested(127) + "</wstop:TopicSet>")
    write(target, "deep-129", "\x00<wstop:TopicSet>" + nested(128) + "</wstop:TopicSet>")


def plate_record_seeds():
    target = "axis_plate_record"
    clear_seeds(target)
    car = struct.pack("<H", 5)
    two = ("<events><event><CAR_ID>1</CAR_ID><LP_BMP>images/0.bmp</LP_BMP></event>"
           "<event><CAR_ID>5</CAR_ID><LP_BMP>images/1.bmp</LP_BMP></event></events>")
    write(target, "second-matches", b"\x00" + car + two.encode())
    write(target, "no-image", b"\x01" + car + b"<r><event><CAR_ID>5</CAR_ID></event></r>")
    write(target, "bom", b"\x00" + car + b"\xef\xbb\xbf<event><CAR_ID>5</CAR_ID><LP_BMP>b</LP_BMP></event>")
    write(target, "not-a-number", b"\x00" + car + b"<event><CAR_ID>five</CAR_ID><LP_BMP>b</LP_BMP></event>")
    write(target, "not-xml", b"\x00" + car + b"<r><event>")
    write(target, "deep-129", b"\x00" + car + nested(129).encode())


def image_size_seeds():
    target = "axis_image_size"
    clear_seeds(target)
    write(target, "crlf", "image width = 1920\r\nimage height = 1080\r\n")
    write(target, "width-only", "image width=640")
    write(target, "not-a-number", "image width = wide\nimage height = 480\n")
    write(target, "other-case", "Image Width = 1920\n")
    write(target, "two-equals", "image width = 1 = 2\n")
    write(target, "infinite-and-nan", "image width = inf\nimage height = nan\n")
    write(target, "empty", "")


if __name__ == "__main__":
    packet_seeds()
    catalogue_seeds()
    plate_record_seeds()
    image_size_seeds()

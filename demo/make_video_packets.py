#!/usr/bin/env python3
"""Writes the H.264 video packets of the demo's hornbeam section into a folder, one file per frame.

Each frame is an SEI unit with the camera's track records (as a Uniview camera puts them in its video
stream) followed by a slice of noise: a car (track 7) drives to the right in every frame, a person
(track 8) walks in from the second frame on. The encoders are those of the fuzz seed script, so the
demo and the seeds cannot drift apart.

    demo/make_video_packets.py FOLDER     # writes FOLDER/frame-1.h264 ... and prints their paths
"""
import pathlib
import sys

sys.dont_write_bytecode = True  # nothing of the import is left in the source tree
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "fuzz"))
from make_seeds import sei_unit, slice_unit, track_payload, track_record  # noqa: E402

FRAMES = 3
# The SEI payload type of the camera's track records, and the records' object kinds ("extra" byte).
TRACK_PAYLOAD_TYPE = 5
PERSON, VEHICLE = b"\x01", b"\x02"
FRAME_DURATION_MS = 40


def frame(index):
    step = 1000 * index
    records = [track_record(7, 1000 + step, 2000, 3000 + step, 5000, extra=VEHICLE)]
    if index > 0:
        records.append(track_record(8, 6000, 1000 + step, 7000, 4000 + step, extra=PERSON))
    return sei_unit([(TRACK_PAYLOAD_TYPE, track_payload(FRAME_DURATION_MS, records))]) + slice_unit(2000, index + 1)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = pathlib.Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    for index in range(FRAMES):
        path = folder / ("frame-%d.h264" % (index + 1))
        path.write_bytes(frame(index))
        print(path)


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""What a recorded clip holds, as ffprobe reads it, printed as JSON:

    clip_probe.py FILE

    {"readable": true, "errors": [], "container": "matroska,webm",
     "fragmented": false, "duration": 6.0, "video_frames": 180,
     "first_video_keyframe": true, "video_pts_repeated": 0,
     "streams": [{"index": 0, "type": "video", "codec": "h264", "packets": 180,
                  "width": 320, "height": 240}, ...]}

readable is false when ffprobe failed or complained while reading every
packet (errors holds what it said); the rest still tells what could be read
of a clip cut short. fragmented tells an MP4 made of movie
fragments (a top-level moof box) from one with a single index;
video_pts_repeated counts video packets stamped with the time of an earlier
one (a frame split in two, or timestamps lost). Exits 0 for a
readable file, 1 for one that is not, 2 when ffprobe cannot be run. Standard
library only; import probe() to use it from a test.
"""
import json
import struct
import subprocess
import sys

# Top-level MP4 boxes walked before giving up (a fragment per second of a
# long clip stays well below).
BOX_LIMIT = 100000


def ffprobe(*args):
    """(exit status, parsed JSON or {}, error lines)."""
    r = subprocess.run(['ffprobe', '-v', 'error', '-of', 'json', *args], capture_output=True,
                       text=True, errors='replace')
    try:
        answer = json.loads(r.stdout or '{}')
    except ValueError:
        answer = {}
    return r.returncode, answer, [line for line in r.stderr.splitlines() if line.strip()]


def top_level_boxes(path):
    """The types of an MP4 file's top-level boxes, in order."""
    types = []
    with open(path, 'rb') as f:
        while len(types) < BOX_LIMIT:
            header = f.read(8)
            if len(header) < 8:
                break
            size, kind = struct.unpack('>I4s', header)
            types.append(kind.decode('latin-1'))
            if size == 1:
                size = struct.unpack('>Q', f.read(8))[0] - 8
            elif size == 0:
                break
            if size < 8:
                break
            f.seek(size - 8, 1)
    return types


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def describe_stream(stream):
    kind = stream.get('codec_type')
    out = {'index': stream.get('index'), 'type': kind, 'codec': stream.get('codec_name'),
           'packets': int(stream.get('nb_read_packets', 0))}
    if kind == 'video':
        out.update(width=stream.get('width'), height=stream.get('height'))
    elif kind == 'audio':
        out.update(sample_rate=int(stream.get('sample_rate', 0)), channels=stream.get('channels'))
    return out


def probe(path):
    status, answer, errors = ffprobe('-count_packets', '-show_format', '-show_streams', path)
    streams = [describe_stream(s) for s in answer.get('streams', [])]
    container = answer.get('format', {}).get('format_name')
    video = [s for s in streams if s['type'] == 'video']
    first_key = None
    repeated = 0
    if video:
        _, packets, more = ffprobe('-select_streams', 'v:0', '-show_entries', 'packet=pts,flags',
                                   path)
        errors += more
        packets = packets.get('packets', [])
        first_key = bool(packets) and 'K' in packets[0].get('flags', '')
        stamps = [p['pts'] for p in packets if 'pts' in p]
        repeated = len(stamps) - len(set(stamps))
    fragmented = False
    if container and 'mp4' in container.split(','):
        fragmented = 'moof' in top_level_boxes(path)
    return {'readable': status == 0 and not errors and bool(streams), 'errors': errors,
            'container': container, 'fragmented': fragmented,
            'duration': number(answer.get('format', {}).get('duration')),
            'video_frames': video[0]['packets'] if video else 0,
            'first_video_keyframe': first_key, 'video_pts_repeated': repeated,
            'streams': streams}


def main():
    if len(sys.argv) != 2:
        print('usage: clip_probe.py FILE', file=sys.stderr)
        return 2
    try:
        result = probe(sys.argv[1])
    except OSError as error:
        print('clip_probe.py: cannot run ffprobe: %s' % error, file=sys.stderr)
        return 2
    print(json.dumps(result, indent=1))
    return 0 if result['readable'] else 1


if __name__ == '__main__':
    sys.exit(main())

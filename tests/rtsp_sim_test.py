#!/usr/bin/env python3
"""rtsp-sim as the recorder's tests rely on it, recorded by FFmpeg over TCP
and read back with clip_probe.py: every mount starts a client on a key frame
and sends 30 frames a second in the codecs it names, /freeze goes silent and
/drop is closed after 3 s, a wrong or missing password is refused, and a clip
cut short reads as unreadable. Run through with_camera_sim.py, which names
the server in ZORVANE_RTSP_SIM; skipped (77) with the reason where it or
FFmpeg cannot run.

    with_camera_sim.py CAMERA_SIM rtsp_sim_test.py
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from clip_probe import probe

SKIP = 77
SECONDS = 3
FPS = 30
# Frames a recording of SECONDS may be off by (the first frame, timing).
FRAME_SLACK = 3

failures = []


def check(ok, what, detail=''):
    print(('ok   ' if ok else 'FAIL ') + what)
    if not ok:
        if detail:
            print(detail)
        failures.append(what)


def skip(reason):
    print('SKIP: ' + reason)
    sys.exit(SKIP)


address = os.environ.get('ZORVANE_RTSP_SIM')
if not address:
    skip(os.environ.get('ZORVANE_RTSP_SIM_MISSING', 'ZORVANE_RTSP_SIM is not set: '
                        'run through with_camera_sim.py'))
for program in ('ffmpeg', 'ffprobe'):
    if not shutil.which(program):
        skip(program + ' is missing (Debian package ffmpeg)')


def url(path, credentials='admin:secret'):
    return 'rtsp://%s%s/%s' % (credentials + '@' if credentials else '', address, path)


def record(path, output, before=(), after=(), credentials='admin:secret'):
    """An ffmpeg recording of path into output, started; before and after:
    its options before and after the input."""
    return subprocess.Popen(
        ['ffmpeg', '-nostdin', '-loglevel', 'error', '-y', '-rtsp_transport', 'tcp', *before,
         '-i', url(path, credentials), '-c', 'copy', *after, output],
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


# mount, file, ffmpeg output options, codecs
STREAMS = [
    ('h264', 'h264.mp4', ['-t', str(SECONDS)], ['h264']),
    ('h264', 'h264-fragmented.mp4',
     ['-t', str(SECONDS), '-movflags', 'frag_keyframe+empty_moov'], ['h264']),
    ('h265', 'h265.mkv', ['-t', str(SECONDS)], ['hevc']),
    ('mjpeg', 'mjpeg.mkv', ['-t', str(SECONDS)], ['mjpeg']),
    ('h264-pcmu', 'h264-pcmu.mkv', ['-t', str(SECONDS)], ['h264', 'pcm_mulaw']),
    ('h264-aac', 'h264-aac.mkv', ['-t', str(SECONDS)], ['h264', 'aac']),
]
# mount, ffmpeg input options: each ends by itself after about 3 s
ENDINGS = [
    ('freeze', ['-timeout', '2000000']),
    ('drop', []),
]

work = tempfile.mkdtemp(prefix='zorvane-rtsp-')
try:
    # Every recording at once: the server's pipelines are per client.
    started = time.monotonic()
    running = []
    for path, name, options, codecs in STREAMS:
        out = os.path.join(work, name)
        running.append((path, out, codecs, record(path, out, after=options)))
    for path, options in ENDINGS:
        out = os.path.join(work, path + '.mkv')
        running.append((path, out, None, record(path, out, before=options)))
    refused = [(who, record('h264', os.path.join(work, 'refused%d.mkv' % n), after=['-t', '1'],
                            credentials=who)) for n, who in enumerate(('admin:wrong', ''))]

    for path, out, codecs, proc in running:
        try:
            _, errors = proc.communicate(timeout=60)
        except subprocess.TimeoutExpired:
            proc.kill()
            _, errors = proc.communicate()
            check(False, '/%s: ffmpeg ended within 60 s' % path)
            continue
        clip = probe(out) if os.path.exists(out) else {'readable': False, 'streams': []}
        got = [s['codec'] for s in clip['streams']]
        frames = clip.get('video_frames', 0)
        name = os.path.basename(out)
        if codecs:
            check(proc.returncode == 0 and clip['readable'] and got == codecs,
                  '/%s into %s: %s' % (path, name, ' + '.join(codecs)), errors + str(clip))
            check(clip.get('first_video_keyframe') is True,
                  '/%s into %s: starts on a key frame' % (path, name), str(clip))
            # FFmpeg's RTSP client leaves the first H.264 or H.265 packet
            # unstamped, and the muxer may give it its successor's time: one
            # repeat. A frame cut in two repeats a time every key frame.
            check(abs(frames - SECONDS * FPS) <= FRAME_SLACK and clip['video_pts_repeated'] <= 1,
                  '/%s into %s: %d frames a second, each a time of its own' % (path, name, FPS),
                  '%d frames in %d s, %d times repeated'
                  % (frames, SECONDS, clip['video_pts_repeated']))
            if 'fragmented' in name:
                check(clip['fragmented'], '/%s into %s: made of fragments' % (path, name))
        else:
            # 3 s of frames, then nothing: ffmpeg keeps what it had.
            check(clip['readable'] and abs(frames - 3 * FPS) <= FRAME_SLACK,
                  '/%s: ends on its own after 3 s of frames' % path,
                  'ffmpeg: %d %s; %d frames' % (proc.returncode, errors, frames))
    check(time.monotonic() - started < 30, 'every recording within 30 s')

    for who, proc in refused:
        _, errors = proc.communicate(timeout=30)
        check(proc.returncode != 0 and '401' in errors,
              'a %s is refused' % ('wrong password' if who else 'missing password'), errors)

    # A clip cut in half: what clip_probe.py says of a recording that stopped midway.
    whole = os.path.join(work, 'h265.mkv')
    cut = os.path.join(work, 'cut.mkv')
    with open(whole, 'rb') as f, open(cut, 'wb') as g:
        g.write(f.read()[:os.path.getsize(whole) // 2])
    clip = probe(cut)
    check(not clip['readable'] and clip['errors'] and 0 < clip['video_frames'] < SECONDS * FPS,
          'a clip cut short is unreadable, its frames still counted', str(clip))
finally:
    shutil.rmtree(work, ignore_errors=True)

print('%d failure(s)' % len(failures))
sys.exit(1 if failures else 0)

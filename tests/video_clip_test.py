#!/usr/bin/env python3
"""Video clips end to end: the command-line host loads the add-in, asks
camera-sim (ONVIF) for the stream's address, and records rtsp-sim's live
stream (RTSP Digest over TCP) into files that ffprobe then reads.

    video_clip_test.py [--wine WINE_RUN] HOST LIBRARY GROUP

GROUP: formats (containers and codecs), failures (what ends a clip and
what is said), working (a clip beside photos, a Media2-only camera, a host
killed or closed while recording), wine (the Windows add-in's clips). With --wine, HOST and LIBRARY are the
Windows programs, run through WINE_RUN. Exits 77 when rtsp-sim or ffprobe
cannot run here.
"""
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, HERE)
from camera_sim_process import CameraSim  # noqa: E402
from clip_probe import probe  # noqa: E402
from rtsp_sim_process import RtspSim  # noqa: E402

CAMERA_SIM = os.path.join(SOURCE, 'tools', 'camera-sim', 'camera_sim.py')
RTSP_SIM = os.path.join(SOURCE, 'tools', 'rtsp-sim', 'rtsp_sim.py')

args = sys.argv[1:]
wine = None
if args[:1] == ['--wine']:
    wine, args = args[1], args[2:]
host, library, group = args
failures = []


def check(ok, what, detail=''):
    print(('ok   ' if ok else 'FAIL ') + what, flush=True)
    if not ok:
        if detail:
            print(detail)
        failures.append(what)


def shown(path):
    """A file name as the host is given it (drive Z: under Wine)."""
    return 'Z:' + path.replace('/', '\\') if wine else path


class Camera:
    """camera-sim and rtsp-sim side by side, and the host driving the add-in."""

    def __init__(self, work, rtsp, *sim_args):
        self.work = work
        self.rtsp = rtsp
        self.sim = CameraSim(CAMERA_SIM, '--stream-uri', rtsp.url('/h264', ''), *sim_args)
        self.env = dict(os.environ, ZORVANE_DATA_DIR=shown(work + '/data'),
                        ZORVANE_USER_DATA_DIR=shown(work + '/user'))

    def stream(self, mount):
        self.sim.configure('{"stream_uri": "%s"}' % self.rtsp.url(mount, ''))

    def command(self, args):
        prefix = [wine, host] if wine else [host]
        return prefix + ['--lib', shown(library)] + args

    def host(self, *args, timeout=120):
        r = subprocess.run(self.command(list(args)), capture_output=True, timeout=timeout,
                           env=self.env)
        return r.returncode, r.stdout.decode('utf-8', 'replace') + r.stderr.decode('utf-8', 'replace')

    def record(self, seconds, path, *extra):
        return self.host('record', '--host', '127.0.0.1', '--port', self.sim.port, '--login',
                         'admin', '--password', 'secret', '--seconds', str(seconds), '-o',
                         shown(path), *extra)

    def settings(self, password='secret'):
        return ['call', 'УстановитьПараметр', 's:Host', 's:127.0.0.1', '--',
                'call', 'УстановитьПараметр', 's:Port', 'i:' + self.sim.port, '--',
                'call', 'УстановитьПараметр', 's:Login', 's:admin', '--',
                'call', 'УстановитьПараметр', 's:Password', 's:' + password, '--',
                'call', 'Подключить', 'out', '--']

    def close(self):
        self.sim.stop()


def plays(info, low, high, frames):
    return (info['readable'] and info['first_video_keyframe'] and low <= info['duration'] <= high
            and info['video_frames'] >= frames)


def codecs(info):
    return sorted(s['codec'] for s in info['streams'])


def formats(camera, work):
    # The done-when pair: six seconds of H.264 behind RTSP Digest, in both containers.
    for ext in ('mp4', 'mkv'):
        clip = os.path.join(work, 'весы.' + ext)
        code, out = camera.record(6, clip)
        info = probe(clip) if os.path.exists(clip) else {}
        check(code == 0 and info and plays(info, 5.0, 7.5, 120) and codecs(info) == ['h264'],
              '6 s of H.264 into .%s play: 5-7.5 s, 120 frames or more, a keyframe first' % ext,
              out + repr(info))
        if ext == 'mp4':
            check(info.get('fragmented'), 'the .mp4 is fragmented', repr(info))
    # Other formats, and the audio each container keeps or drops.
    table = [
        ('/h265', 'mkv', ['hevc']),
        ('/mjpeg', 'mkv', ['mjpeg']),
        ('/mjpeg', 'mp4', ['mjpeg']),
        ('/h264-pcmu', 'mkv', ['h264', 'pcm_mulaw']),
        ('/h264-pcmu', 'mp4', ['h264']),
        ('/h264-aac', 'mp4', ['aac', 'h264']),
        ('/h264', 'avi', ['h264']),  # not a container of ours: Matroska, said in the log
    ]
    for mount, ext, expected in table:
        camera.stream(mount)
        clip = os.path.join(work, 'clip-%s.%s' % (mount.strip('/'), ext))
        code, out = camera.host(*camera.settings(), 'set', 'LogEnabled', 'b:true', '--',
                                'call', 'СтартВидеоЗаписи', 'b:false', 's:' + shown(clip), '--',
                                'wait', '2', '--', 'call', 'СтопВидео')
        info = probe(clip) if os.path.exists(clip) else {}
        check(code == 0 and info and plays(info, 1.5, 3.5, 40) and codecs(info) == expected,
              '%s into .%s holds %s' % (mount, ext, expected), out + repr(info))
    log = ''.join(open(p, encoding='utf-8', errors='replace').read()
                  for p in glob.glob(work + '/**/*.log', recursive=True))
    check('G.711' in log or 'pcm_mulaw' in log, 'the audio an .mp4 cannot hold is named in the log')
    check('Matroska' in log, 'a clip of another extension is said to be Matroska in the log')


def failures_group(camera, work):
    # A wrong password fails at the start with the reason and leaves no file:
    # refused by the camera's ONVIF service, or (another password there) by its stream.
    clip = os.path.join(work, 'wrong.mp4')
    code, out = camera.host(*camera.settings('wrong'), 'call', 'СтартВидеоЗаписи', 'b:false',
                            's:' + shown(clip), '--', 'call', 'ПолучитьОшибку', 'out')
    check('result: b:false' in out and 'адрес видеопотока' in out and not glob.glob(clip + '*'),
          'a password the camera refuses fails at the start, says why and leaves no file', out)
    other = RtspSim(RTSP_SIM, auth=('--digest', 'admin:other'))
    try:
        camera.sim.configure('{"stream_uri": "%s"}' % other.url('/h264', ''))
        code, out = camera.record(1, clip)
        check(code != 0 and 'RTSP 401' in out and not glob.glob(clip + '*'),
              'a password the stream refuses fails at the start, says why and leaves no file', out)
    finally:
        other.stop()
    # An address the RTSP server does not serve.
    camera.stream('/nothing')
    code, out = camera.record(1, os.path.join(work, 'nothing.mkv'))
    check(code != 0 and 'RTSP 404' in out, 'a stream the camera does not have is named', out)

    # A camera that freezes, one whose picture stops while its sound goes on
    # (sound alone does not keep a clip going), one that drops the
    # connection: each ends the clip with the reason, within 20 s of the
    # last picture, and the file stays and plays.
    table = [
        ('/freeze', 'mkv', 'не присылает видео 10 с', 4.0, 'a frozen camera'),
        ('/mute', 'mp4', 'не присылает видео 10 с', 4.0, 'a camera that sends only sound'),
        ('/drop', 'mp4', 'закрыла соединение', 4.5, 'a dropped connection'),
    ]
    for mount, ext, reason, longest, what in table:
        camera.stream(mount)
        clip = os.path.join(work, mount.strip('/') + '.' + ext)
        started = time.monotonic()
        code, out = camera.record(30, clip)
        info = probe(clip) if os.path.exists(clip) else {}
        check(code != 0 and reason in out and info and plays(info, 2.0, longest, 60),
              what + ' ends the clip with the reason; the file plays', out + repr(info))
        check(time.monotonic() - started < 45, what + ' does not hold the stop')

    # The longest clip: finished at the limit, and said at the stop.
    camera.stream('/h264')
    clip = os.path.join(work, 'limit.mkv')
    code, out = camera.host(*camera.settings(), 'set', 'VideoMaxSeconds', 'i:2', '--',
                            'call', 'СтартВидеоЗаписи', 'b:false', 's:' + shown(clip), '--',
                            'wait', '4', '--', 'call', 'СтопВидео', '--',
                            'call', 'ПолучитьОшибку', 'out')
    info = probe(clip) if os.path.exists(clip) else {}
    check('наибольшей длины' in out and info and plays(info, 1.5, 2.5, 45),
          'the longest clip ends at its limit, said at the stop', out + repr(info))

    # A stream the camera names on another host gets no password.
    other = RtspSim(RTSP_SIM, host='127.0.0.2')
    try:
        camera.sim.configure('{"stream_uri": "%s"}' % other.url('/h264', ''))
        code, out = camera.record(1, os.path.join(work, 'other.mkv'))
        check(code != 0 and 'RTSP 401' in out,
              'a stream on another host is asked without the camera\'s password', out)
    finally:
        other.stop()


def working(camera, work):
    # A photo, and the device test, while a clip records; the clip is whole.
    clip = os.path.join(work, 'ворота.mkv')
    photo = os.path.join(work, 'ворота.jpg')
    code, out = camera.host(*camera.settings(),
                            'call', 'СтартВидеоЗаписи', 'b:true', 's:' + shown(clip), '--',
                            'wait', '1', '--', 'call', 'СделатьФотоснимок', 's:' + shown(photo), '--',
                            'call', 'ТестУстройства', 'out', 'out', '--', 'wait', '1', '--',
                            'call', 'СтопВидео')
    info = probe(clip) if os.path.exists(clip) else {}
    check(code == 0 and os.path.getsize(photo) > 0 if os.path.exists(photo) else False,
          'a photo taken while a clip records', out)
    check(info and plays(info, 1.5, 4.0, 40), 'the clip beside the photo plays', repr(info))

    # No name: VideoFileName, else a new one in the user's folder, told back;
    # the next clip without a name gets a new one, not the last one's.
    clip = ['call', 'СтартВидеоЗаписи', 'b:false', 's:', '--', 'get', 'ИмяФайлаВидео', '--',
            'wait', '1', '--', 'call', 'СтопВидео']
    code, out = camera.host(*camera.settings(), *clip, '--', *clip)
    made = glob.glob(work + '/user/**/clip-*.mp4', recursive=True)
    check(code == 0 and len(made) == 2 and all(os.path.basename(m) in out for m in made),
          'clips without a name get new ones in the user\'s folder, told in ИмяФайлаВидео', out)

    # The object let go while recording: the clip is finished first.
    clip = os.path.join(work, 'unload.mp4')
    code, out = camera.host(*camera.settings(), 'call', 'СтартВидеоЗаписи', 'b:false',
                            's:' + shown(clip), '--', 'wait', '2')
    info = probe(clip) if os.path.exists(clip) else {}
    check(code == 0 and info and plays(info, 1.5, 3.5, 40) and not glob.glob(clip + '.*'),
          'unloading the add-in while a clip records finishes the file', out + repr(info))

    # The host killed 5 s into a clip: what was written up to the last
    # second stays readable, in both containers, and also when the camera
    # announces sound it never sends (the picture is not held back for it).
    for mount, ext in (('/h264', 'mp4'), ('/no-sound', 'mkv')):
        camera.stream(mount)
        clip = os.path.join(work, 'killed.' + ext)
        proc = subprocess.Popen(camera.command(['record', '--host', '127.0.0.1', '--port',
                                                camera.sim.port, '--login', 'admin', '--password',
                                                'secret', '--seconds', '30', '-o', shown(clip)]),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                env=camera.env, start_new_session=True)
        time.sleep(5)
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        parts = glob.glob(clip + '*.part')
        info = probe(parts[0]) if parts else {}
        check(len(parts) == 1 and info and info['readable'] and info['video_frames'] >= 30,
              'a host killed while recording %s into .%s leaves a readable part' % (mount, ext),
              repr(parts) + repr(info))
    camera.stream('/h264')


def under_wine(camera, work):
    # The Windows DLL records through WinSock and writes through its own files.
    clip = os.path.join(work, 'весы.mp4')
    code, out = camera.record(6, clip)
    info = probe(clip) if os.path.exists(clip) else {}
    check(code == 0 and info and plays(info, 5.0, 7.5, 120) and info.get('fragmented'),
          '6 s of H.264 into a fragmented .mp4 under Wine', out + repr(info))
    camera.stream('/h264-pcmu')
    clip = os.path.join(work, 'ворота.mkv')
    code, out = camera.record(2, clip)
    info = probe(clip) if os.path.exists(clip) else {}
    check(code == 0 and info and codecs(info) == ['h264', 'pcm_mulaw'],
          'H.264 and G.711 into .mkv under Wine', out + repr(info))
    camera.stream('/nothing')
    code, out = camera.record(1, os.path.join(work, 'nothing.mkv'))
    check(code != 0 and 'RTSP 404' in out and not glob.glob(work + '/nothing*'),
          'a failed start under Wine says why and leaves no file', out)


def media2_only(rtsp, work):
    camera = Camera(work, rtsp, '--media2-only')
    try:
        clip = os.path.join(work, 'media2.mp4')
        code, out = camera.record(2, clip)
        info = probe(clip) if os.path.exists(clip) else {}
        check(code == 0 and info and plays(info, 1.5, 3.5, 40), 'a Media2-only camera records',
              out + repr(info))
    finally:
        camera.close()


def main():
    missing = RtspSim.missing(RTSP_SIM)
    if not missing and not shutil.which('ffprobe'):
        missing = 'ffprobe (Debian\'s ffmpeg) is not installed'
    if missing:
        print('SKIP: ' + missing)
        return 77
    work = tempfile.mkdtemp(prefix='zorvane-clips-')
    try:
        with RtspSim(RTSP_SIM) as rtsp:
            camera = Camera(work, rtsp)
            try:
                if group == 'formats':
                    formats(camera, work)
                elif group == 'failures':
                    failures_group(camera, work)
                elif group == 'wine':
                    under_wine(camera, work)
                elif group == 'working':
                    working(camera, work)
                    media2_only(rtsp, work)
                else:
                    print('unknown group ' + group)
                    return 2
            finally:
                camera.close()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print('%d failed' % len(failures) if failures else 'all passed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())

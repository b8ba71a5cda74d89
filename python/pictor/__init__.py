"""Pictor: one still picture coded into an MPEG-2 video elementary stream, through libpictor.

    import pictor
    from PIL import Image
    stream = pictor.encode(Image.open("menu.png"), target=900000, standard="pal", aspect="16:9")

A picture is a PIL image, a numpy array (HxWx3 uint8 RGB; HxW grey and HxWx4 RGBA are taken as
RGB), the bytes of a TIFF file or the path of one. Its size must be one the job takes (720, 704,
352, 176 or 96 wide; 576, 288, 144 or 80 high for PAL, 480, 240, 112 or 64 for NTSC).

The module's `encode` codes every call on a new Encoder, so its stream is the one a new process
gives: the extended analysis carries a value from one job of an encoder to its next. An Encoder
runs one job at a time (a second call meanwhile raises Busy); give each thread its own. The
library runs without holding the interpreter lock, so threads with their own Encoders code at
the same time.
"""

import ctypes
import operator
import os
import sys
import threading

from . import _library as _c

__all__ = ["encode", "Encoder", "Error", "Cancelled", "Busy", "version"]


class Error(Exception):
    """A job the library refused or failed: the message is the library's, `result` its result."""

    def __init__(self, message, result=_c.FAILED):
        super().__init__(message)
        self.result = result


class Cancelled(Error):
    """The job stopped because its `cancel` Event was set."""


class Busy(Error):
    """The Encoder is running another job."""


def version():
    """The release of the loaded library, e.g. "0.2.0"."""
    return _c.lib.PictorVersion().decode()


__version__ = version()

_STANDARDS = {"pal": _c.PAL, "ntsc": _c.NTSC}
_ASPECTS = {"4:3": _c.ASPECT_4_3, "16:9": _c.ASPECT_16_9}
_LEVELS = {"video": 0, "full-wide-clip": 1, "full": 2}
_POLL_SECONDS = 0.005


def _choice(name, value, table):
    if isinstance(value, str) and value.lower() in table:
        return table[value.lower()]
    raise ValueError(f"{name} must be one of {', '.join(table)}, not {value!r}")


def _int32(name, value):
    try:
        number = operator.index(value)
    except TypeError:
        number = None
    if isinstance(value, bool) or number is None or not -2**31 <= number < 2**31:
        raise ValueError(f"{name} must be a 32-bit integer, not {value!r}")
    return number


def _settings(target, standard, aspect, pan_scan, extended, progressive, levels):
    settings = _c.Settings()
    _c.lib.PictorDefaultSettings(ctypes.byref(settings))
    settings.targetBits = _int32("target", target)
    settings.standard = _choice("standard", standard, _STANDARDS)
    settings.aspect = _choice("aspect", aspect, _ASPECTS)
    if pan_scan is not None:
        settings.panScan = 1
        settings.panScanVector = _int32("pan_scan", pan_scan)
    settings.extendedAnalysis = 1 if extended else 0
    settings.progressiveStill = 1 if progressive else 0
    settings.levelMode = _choice("levels", levels, _LEVELS)
    return settings


def _rgb_array(array):
    """The array as C-ordered HxWx3 uint8 samples."""
    numpy = sys.modules["numpy"]
    if array.dtype != numpy.uint8:
        raise TypeError(f"a picture array holds uint8 samples, not {array.dtype}")
    if array.ndim == 2:
        array = numpy.repeat(array[:, :, None], 3, axis=2)
    elif array.ndim == 3 and array.shape[2] in (3, 4):
        array = array[:, :, :3]
    else:
        raise ValueError("a picture array is HxW (grey), HxWx3 (RGB) or HxWx4 (RGBA), "
                         f"not of shape {array.shape}")
    return numpy.ascontiguousarray(array)


def _source(picture):
    """("tiff", bytes, name cited in messages) or ("rgb", samples, width, height)."""
    if isinstance(picture, (str, os.PathLike)):
        with open(picture, "rb") as file:
            return "tiff", file.read(), os.fsencode(picture)
    if isinstance(picture, (bytes, bytearray, memoryview)):
        return "tiff", bytes(picture), None
    image = sys.modules.get("PIL.Image")
    if image is not None and isinstance(picture, image.Image):
        rgb = picture if picture.mode == "RGB" else picture.convert("RGB")
        return "rgb", rgb.tobytes(), rgb.width, rgb.height
    numpy = sys.modules.get("numpy")
    if numpy is not None and isinstance(picture, numpy.ndarray):
        array = _rgb_array(picture)
        return "rgb", array, array.shape[1], array.shape[0]
    raise TypeError("a picture is a PIL image, a numpy array, TIFF bytes or a TIFF file's path, "
                    f"not {type(picture).__name__}")


class _Watcher(threading.Thread):
    """Reports the job's progress and passes the cancel Event to its cancel word, every few ms."""

    def __init__(self, state, progress, cancel):
        super().__init__(name="pictor-progress", daemon=True)
        self.state, self.progress, self.cancel = state, progress, cancel
        self.done = threading.Event()
        self.seen = 0
        self.error = None

    def look(self):
        if self.cancel is not None and self.cancel.is_set():
            self.state.cancel = 1
        percent = self.state.progress
        if self.progress is not None and percent != self.seen and self.error is None:
            self.seen = percent
            try:
                self.progress(percent)
            except BaseException as error:  # raised again by encode; the job stops
                self.error = error
                self.state.cancel = 1

    def run(self):
        while not self.done.wait(_POLL_SECONDS):
            self.look()

    def finish(self):
        self.done.set()
        self.join()
        self.look()
        if self.error is not None:
            raise self.error


class Encoder:
    """One library encoder instance: its working memory and helper thread, kept between jobs.

    Use it as a context manager or call close(). One job at a time; one Encoder per thread.
    """

    def __init__(self):
        self._handle = None
        self._lock = threading.Lock()
        handle = _c.lib.PictorCreate()
        if not handle:
            raise MemoryError("pictor: no memory for an encoder")
        self._handle = handle
        self._buffer = ctypes.create_string_buffer(_c.STREAM_CAPACITY)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_handle", None):
            _c.lib.PictorDestroy(self._handle)

    def _acquire(self):
        if not self._lock.acquire(blocking=False):
            raise Busy("pictor: the encoder is running another job", _c.BUSY)
        if not self._handle:
            self._lock.release()
            raise ValueError("pictor: the encoder is closed")

    def close(self):
        """Frees the instance; raises Busy while a job runs on it."""
        if not self._lock.acquire(blocking=False):
            raise Busy("pictor: the encoder is running another job", _c.BUSY)
        try:
            if self._handle and _c.lib.PictorDestroy(self._handle) == _c.BUSY:
                raise Busy("pictor: the encoder is running another job", _c.BUSY)
            self._handle = None
        finally:
            self._lock.release()

    def reset_carried(self):
        """Makes the next job code as a new Encoder's first job would."""
        self._acquire()
        try:
            if _c.lib.PictorResetCarried(self._handle) == _c.BUSY:
                raise Busy("pictor: the encoder is running another job", _c.BUSY)
        finally:
            self._lock.release()

    def encode(self, picture, target=1200000, standard="pal", aspect="4:3", pan_scan=None,
               extended=False, progressive=False, levels="video", progress=None, cancel=None):
        """Codes `picture` and returns the stream; see the module's encode."""
        settings = _settings(target, standard, aspect, pan_scan, extended, progressive, levels)
        source = _source(picture)
        self._acquire()
        try:
            return self._run(settings, source, progress, cancel)
        finally:
            self._lock.release()

    def _run(self, settings, source, progress, cancel):
        stream = _c.Stream(buffer=ctypes.addressof(self._buffer), capacity=_c.STREAM_CAPACITY)
        state = _c.JobState()
        if cancel is not None and cancel.is_set():
            state.cancel = 1
        watcher = None
        if progress is not None or cancel is not None:
            watcher = _Watcher(state, progress, cancel)
            watcher.start()
        try:
            if source[0] == "tiff":
                settings.pictureName = source[2]
                result = _c.lib.PictorEncodeTiff(self._handle, settings, source[1],
                                                 len(source[1]), stream, state)
            else:
                samples, width, height = source[1:]
                pointer = samples.ctypes.data if hasattr(samples, "ctypes") else samples
                result = _c.lib.PictorEncodeRgb(self._handle, settings, pointer, width, height,
                                                3 * width, stream, state)
        finally:
            if watcher is not None:
                watcher.finish()
        text = state.errorText.decode("utf-8", "replace").strip()
        if result == _c.FINISHED:
            return ctypes.string_at(self._buffer, stream.size)
        if result == _c.CANCELLED:
            raise Cancelled(text or "pictor: the job was cancelled", result)
        if result == _c.BUSY:
            raise Busy(text or "pictor: the encoder is running another job", result)
        raise Error(text or f"pictor: the job failed with result {result}", result)


def encode(picture, target=1200000, standard="pal", aspect="4:3", pan_scan=None, extended=False,
           progressive=False, levels="video", progress=None, cancel=None, encoder=None):
    """Codes one picture into an MPEG-2 stream and returns its bytes.

    target: size in bits (the library clamps it to 160000..1800000; no lower bound with
    progressive). standard: "pal" or "ntsc". aspect: "4:3" or "16:9". pan_scan: None (off) or
    the pan-scan vector in 1/16 luma samples (16:9, 720 or 704 wide). extended: the distortion-
    threshold matrix search. progressive: a progressive still. levels: "video", "full-wide-clip"
    or "full". progress: called with the percent done (0, 10, 70, 80, 90, 100) from a watcher
    thread, the last time from the caller's; an exception it raises stops the job and is raised
    here. cancel: a threading.Event; set, the job stops and Cancelled is raised. encoder: an
    Encoder to code on; without one, a new Encoder codes this call alone.

    Raises Error (the library's message, `.result`), Cancelled, Busy; ValueError or TypeError
    for settings or a picture refused before the library is called.
    """
    options = dict(target=target, standard=standard, aspect=aspect, pan_scan=pan_scan,
                   extended=extended, progressive=progressive, levels=levels,
                   progress=progress, cancel=cancel)
    if encoder is not None:
        return encoder.encode(picture, **options)
    with Encoder() as own:
        return own.encode(picture, **options)

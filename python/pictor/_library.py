"""The C declarations of libpictor's instance API, and the search for the library."""

import ctypes
import ctypes.util
import os

SONAME = "libpictor.so.0"

# Results (pictor.h).
FINISHED, FAILED, CANCELLED, BUSY = 0, -1, 1, -2
NTSC, PAL = 1, 2
ASPECT_4_3, ASPECT_16_9 = 2, 3
# A stream never exceeds 1,800,000 bits.
STREAM_CAPACITY = 225000


class Settings(ctypes.Structure):
    _fields_ = [
        ("targetBits", ctypes.c_int32),
        ("standard", ctypes.c_int32),
        ("aspect", ctypes.c_int32),
        ("panScan", ctypes.c_int32),
        ("panScanVector", ctypes.c_int32),
        ("extendedAnalysis", ctypes.c_int32),
        ("progressiveStill", ctypes.c_int32),
        ("levelMode", ctypes.c_int32),
        ("jobName", ctypes.c_char_p),
        ("pictureName", ctypes.c_char_p),
    ]


WriteFunction = ctypes.CFUNCTYPE(
    ctypes.c_int, ctypes.c_void_p, ctypes.POINTER(ctypes.c_ubyte), ctypes.c_size_t)


class Stream(ctypes.Structure):
    _fields_ = [
        ("buffer", ctypes.c_void_p),
        ("capacity", ctypes.c_size_t),
        ("size", ctypes.c_size_t),
        ("write", WriteFunction),
        ("opaque", ctypes.c_void_p),
    ]


class JobState(ctypes.Structure):
    _fields_ = [
        ("progress", ctypes.c_int32),
        ("cancel", ctypes.c_int32),
        ("status", ctypes.c_int32),
        ("errorText", ctypes.c_char * 1024),
    ]


def _candidates():
    """Where the library may be, in order, each with the way it was found."""
    try:
        from . import _paths  # written by the install, beside this file
    except ImportError:
        _paths = None
    if _paths is not None:
        here = os.path.dirname(os.path.abspath(__file__))
        folder = os.path.normpath(os.path.join(here, _paths.LIBRARY_DIR))
        yield os.path.join(folder, _paths.LIBRARY_NAME), "installed"
    named = os.environ.get("PICTOR_LIBRARY")
    if named:
        yield named, "PICTOR_LIBRARY"
    found = ctypes.util.find_library("pictor")
    if found and found != SONAME:
        yield found, "system"
    yield SONAME, "system"


def _load():
    tried = []
    for path, origin in _candidates():
        if origin == "installed" and not os.path.exists(path):
            tried.append(f"{path}: not there")
            continue
        try:
            return ctypes.CDLL(path), path, origin
        except OSError as error:
            tried.append(str(error))
    raise ImportError("pictor: cannot load the Pictor library (set PICTOR_LIBRARY to the full "
                      "path of libpictor.so.0): " + "; ".join(tried))


lib, path, origin = _load()

_signatures = {
    "PictorCreate": (ctypes.c_void_p, []),
    "PictorDestroy": (ctypes.c_int, [ctypes.c_void_p]),
    "PictorResetCarried": (ctypes.c_int, [ctypes.c_void_p]),
    "PictorDefaultSettings": (None, [ctypes.POINTER(Settings)]),
    "PictorEncodeRgb": (ctypes.c_int, [
        ctypes.c_void_p, ctypes.POINTER(Settings), ctypes.c_void_p, ctypes.c_int32,
        ctypes.c_int32, ctypes.c_ssize_t, ctypes.POINTER(Stream), ctypes.POINTER(JobState)]),
    "PictorEncodeTiff": (ctypes.c_int, [
        ctypes.c_void_p, ctypes.POINTER(Settings), ctypes.c_char_p, ctypes.c_size_t,
        ctypes.POINTER(Stream), ctypes.POINTER(JobState)]),
    "PictorVersion": (ctypes.c_char_p, []),
}
for _name, (_result, _arguments) in _signatures.items():
    try:
        _function = getattr(lib, _name)
    except AttributeError:
        raise ImportError(f"pictor: {path} has no {_name}: a library older than this module") from None
    _function.restype = _result
    _function.argtypes = _arguments

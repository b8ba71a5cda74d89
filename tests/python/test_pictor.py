"""The pictor module on the built library: the job file's streams from every picture form, the
end-to-end table's settings, the library's messages, cancelling, progress and threads."""
import hashlib
import os
import sys
import tempfile
import threading
import unittest

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
EXAMPLES = os.path.join(SOURCE, "examples")
ASTRONAUT = os.path.join(EXAMPLES, "still", "astronaut.tif")
try:
    import numpy
    from PIL import Image
except ImportError as missing:
    print(f"skipped: {missing}")
    sys.exit(77)
import pictor


def job_file_stream():
    """The example job through PictorForDA, as `pictor run examples/astronaut.tp` codes it."""
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "astronaut.m2v")
        result = pictor._library.lib.PictorForDA(
            EXAMPLES.encode(), os.path.join(EXAMPLES, "astronaut.tp").encode(), out.encode(), 0)
        assert result == 0, result
        with open(out, "rb") as file:
            return file.read()


def table_rows():
    """The astronaut rows of the end-to-end table as encode's keywords, bits and MD5."""
    with open(os.path.join(SOURCE, "tests", "e2e", "streams.txt")) as table:
        for line in table:
            cells = line.split()
            if line.startswith("#") or len(cells) < 10 or cells[1] != "astronaut":
                continue
            frame = cells[2].split("-", 2)
            options = dict(standard=frame[0], aspect="16:9" if "16:9" in frame else "4:3",
                           target=int(cells[3]), extended=cells[4] == "1",
                           progressive=cells[5] == "1",
                           levels=["video", "full-wide-clip", "full"][int(cells[6])])
            if len(frame) == 3:
                options["pan_scan"] = int(frame[2][2:])
            yield cells[0], options, int(cells[7]), cells[8]


class Streams(unittest.TestCase):
    def test_the_table_through_the_module(self):
        for name, options, bits, md5 in table_rows():
            with self.subTest(name):
                stream = pictor.encode(ASTRONAUT, **options)
                self.assertEqual((len(stream) * 8, hashlib.md5(stream).hexdigest()), (bits, md5))

    def test_every_picture_form_gives_the_job_files_stream(self):
        expected = job_file_stream()
        with open(ASTRONAUT, "rb") as file:
            tiff = file.read()
        image = Image.open(ASTRONAUT)
        rgb = numpy.asarray(image.convert("RGB"))
        wide = numpy.zeros((576, 800, 4), numpy.uint8)
        wide[:, 40:760, :3] = rgb
        forms = {"path": ASTRONAUT, "bytes": tiff, "bytearray": bytearray(tiff),
                 "memoryview": memoryview(tiff), "PIL image": image, "array": rgb,
                 "strided RGBA view": wide[:, 40:760], "PIL RGBA": image.convert("RGBA")}
        for form, picture in forms.items():
            with self.subTest(form):
                self.assertEqual(pictor.encode(picture), expected)
        grey = rgb[:, :, 1].copy()
        self.assertEqual(pictor.encode(grey), pictor.encode(numpy.dstack([grey] * 3)))


class Refusals(unittest.TestCase):
    def test_the_librarys_message_and_result(self):
        cases = {"width": (numpy.zeros((576, 640, 3), numpy.uint8), "Image width [640] is not"),
                 "tiff": (b"II*\0not a picture", "is not supported types image"),
                 "pan-scan with 4:3": (ASTRONAUT, None)}
        for name, (picture, text) in cases.items():
            with self.subTest(name), self.assertRaises(pictor.Error) as caught:
                pictor.encode(picture, pan_scan=0 if text is None else None)
            message = str(caught.exception)
            self.assertEqual((caught.exception.result, message), (-1, message.strip()))
            self.assertNotEqual(message, "")
            self.assertIn(text or "", message)

    def test_values_refused_before_the_library(self):
        cases = [(ValueError, dict(standard="secam")), (ValueError, dict(aspect="3:2")),
                 (ValueError, dict(levels="studio")), (ValueError, dict(target="1200000")),
                 (ValueError, dict(target=2**31)), (ValueError, dict(pan_scan=True)),
                 (TypeError, dict(picture=numpy.zeros((576, 720, 3), numpy.float32))),
                 (ValueError, dict(picture=numpy.zeros((576, 720, 2), numpy.uint8))),
                 (TypeError, dict(picture=42))]
        for error, options in cases:
            with self.subTest(options), self.assertRaises(error):
                pictor.encode(**{"picture": ASTRONAUT, **options})


class Jobs(unittest.TestCase):
    def test_a_cancel_set_before_the_call(self):
        cancel = threading.Event()
        cancel.set()
        with self.assertRaises(pictor.Cancelled) as caught:
            pictor.encode(ASTRONAUT, cancel=cancel)
        self.assertEqual(caught.exception.result, 1)

    def test_progress_rises_to_100_and_the_running_encoder_is_busy(self):
        seen, refused = [], []

        def progress(percent):
            seen.append(percent)
            for call in (lambda: encoder.encode(ASTRONAUT), encoder.close):
                try:
                    call()
                except pictor.Busy as busy:
                    refused.append(busy.result)

        with pictor.Encoder() as encoder:
            stream = encoder.encode(ASTRONAUT, progress=progress)
        self.assertEqual(seen[-1], 100)
        self.assertEqual(seen, sorted(seen))
        self.assertEqual(refused, [-2, -2] * len(seen))
        self.assertEqual(stream, pictor.encode(ASTRONAUT))

    def test_reset_carried_codes_as_a_new_encoder(self):
        first = pictor.encode(ASTRONAUT, extended=True, target=600000)
        with pictor.Encoder() as encoder:
            encoder.encode(ASTRONAUT, extended=True, target=1800000)
            encoder.reset_carried()
            self.assertEqual(encoder.encode(ASTRONAUT, extended=True, target=600000), first)

    def test_threads_with_their_own_encoders_give_the_sequential_streams(self):
        jobs = [dict(target=t, extended=e) for t in (400000, 1200000) for e in (False, True)]
        expected = [pictor.encode(ASTRONAUT, **job) for job in jobs]
        got = [None] * len(jobs)

        def run(index):
            with pictor.Encoder() as encoder:
                got[index] = encoder.encode(ASTRONAUT, **jobs[index])

        threads = [threading.Thread(target=run, args=(i,)) for i in range(len(jobs))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(got, expected)

    def test_version(self):
        self.assertRegex(pictor.version(), r"^\d+\.\d+\.\d+$")
        self.assertEqual(pictor.__version__, pictor.version())


if __name__ == "__main__":
    unittest.main()

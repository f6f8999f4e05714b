"""A Python host of the C interface through ctypes: loads the shared library given as the first
argument, writes a ring, reads the error records of refused calls and checks the files."""
import ctypes
import os
import re
import sys
import tempfile
import unittest

LIBRARY = None

WCHAR = ctypes.c_uint16  # 16-bit UTF-16 code units on every platform


class InfoData(ctypes.Structure):
    _fields_ = [(name, ctypes.c_uint) for name in
                ("uiModule", "uiError", "uiErrorType", "uiLocation", "uiValue", "uiErrorSet")]


class InitData(ctypes.Structure):
    _fields_ = [("bCounter", ctypes.c_ubyte), ("uiFileCount", ctypes.c_uint),
                ("uiFileSize", ctypes.c_uint), ("szFileName", WCHAR * 56),
                ("szFolder", WCHAR * 196), ("szFooter", WCHAR * 64), ("szHeader", WCHAR * 64)]


class ChangeData(ctypes.Structure):
    _fields_ = [("bSwitchedOn", ctypes.c_ubyte), ("pszFolderFileName", ctypes.POINTER(WCHAR))]


class LogFile(ctypes.Structure):
    # SCRIVLET_LOGFILE_SIZE bytes; c_double gives the 8-byte alignment SCRIVLET_LOGFILE_ALIGN asks.
    _fields_ = [("storage", ctypes.c_double * (2048 // 8))]


def put(field, text):
    units = text.encode("utf-16-le")
    for i in range(len(field)):
        field[i] = int.from_bytes(units[2 * i:2 * i + 2], "little") if 2 * i < len(units) else 0


def text_of(units):
    out = []
    for unit in units:
        if unit == 0:
            break
        out.append(unit)
    return b"".join(u.to_bytes(2, "little") for u in out).decode("utf-16-le")


def config(count, size, name="", folder="", header="", footer="", counter=False):
    data = InitData()
    data.bCounter = 1 if counter else 0
    data.uiFileCount = count
    data.uiFileSize = size
    put(data.szFileName, name)
    put(data.szFolder, folder)
    put(data.szHeader, header)
    put(data.szFooter, footer)
    return data


def native(path):
    return path.replace("\\", os.sep)


STAMP = r"\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3} "


class CInterface(unittest.TestCase):
    def setUp(self):
        self.previous = os.getcwd()
        self.dir = tempfile.TemporaryDirectory(prefix="scrivlet-capi-")
        os.chdir(self.dir.name)
        lib = LIBRARY
        obj = ctypes.POINTER(LogFile)
        info = ctypes.POINTER(InfoData)
        for name in ("ScrivletLogFile_Construct_1", "ScrivletLogFileM_Construct_1"):
            getattr(lib, name).argtypes = [obj]
        lib.ScrivletLogFile_Init_1.argtypes = [obj, ctypes.POINTER(InitData), info]
        lib.ScrivletLogFile_Switch_1.argtypes = [obj, ctypes.c_int, info]
        lib.ScrivletLogFile_Write_1.argtypes = [obj, ctypes.c_void_p, ctypes.c_uint, info]
        lib.ScrivletLogFile_Exit_1.argtypes = [obj, info]
        lib.ScrivletLogFile_GetData_1.argtypes = [obj, ctypes.POINTER(ChangeData), info]
        lib.ScrivletLogFile_CopyFolderFileName_1.argtypes = [obj, ctypes.POINTER(WCHAR), info]
        lib.ScrivletLogFile_Destroy_1.argtypes = [obj]
        lib.ScrivletLogFile_Destroy_1.restype = None
        self.lib = lib

    def tearDown(self):
        os.chdir(self.previous)
        self.dir.cleanup()

    def construct(self, guarded):
        log = LogFile()
        constructor = (self.lib.ScrivletLogFileM_Construct_1 if guarded
                       else self.lib.ScrivletLogFile_Construct_1)
        self.assertEqual(constructor(ctypes.byref(log)), 1)
        self.addCleanup(self.lib.ScrivletLogFile_Destroy_1, ctypes.byref(log))
        return log

    def test_version(self):
        self.assertEqual(self.lib.ScrivletGetInterfaceVersion(), 5)

    def test_refused_configuration(self):
        # (guarded, configuration, location, reason, value); a refusal by the base class carries
        # module 46 in both classes.
        cases = [
            (False, config(0, 688), 1, 9, 0),
            (False, config(10000, 688), 2, 8, 10000),
            (True, config(3, 687), 3, 9, 687),
            (True, config(3, 104857601), 4, 8, 104857601),
            (False, config(3, 688, name="n" * 55), 5, 7, 55),
            (True, config(3, 688, header="h" * 64), 8, 7, 64),
        ]
        for guarded, data, location, reason, value in cases:
            with self.subTest(location=location):
                log = self.construct(guarded)
                info = InfoData()
                self.assertEqual(self.lib.ScrivletLogFile_Init_1(
                    ctypes.byref(log), ctypes.byref(data), ctypes.byref(info)), 0)
                self.assertEqual((info.uiModule, info.uiErrorType, info.uiError, info.uiLocation,
                                  info.uiValue, info.uiErrorSet), (46, 4, reason, location, value, 1))
                # The record keeps its first failure.
                other = config(0, 688)
                self.assertEqual(self.lib.ScrivletLogFile_Init_1(
                    ctypes.byref(log), ctypes.byref(other), ctypes.byref(info)), 0)
                self.assertEqual(info.uiLocation, location)

    def test_guarded_call_without_mutex(self):
        log = self.construct(True)
        info = InfoData()
        self.assertEqual(self.lib.ScrivletLogFile_Write_1(
            ctypes.byref(log), b"x", 1, ctypes.byref(info)), 0)
        self.assertEqual((info.uiModule, info.uiErrorType, info.uiLocation), (48, 2, 15))

    def test_ring_with_lines(self):
        for guarded in (False, True):
            with self.subTest(guarded=guarded):
                folder = "py\\guarded" if guarded else "py\\plain"
                log = self.construct(guarded)
                info = InfoData()
                data = config(2, 688, "ring.log", folder, "Head", "Foot", counter=True)
                self.assertEqual(self.lib.ScrivletLogFile_Init_1(
                    ctypes.byref(log), ctypes.byref(data), ctypes.byref(info)), 1)
                self.assertEqual(self.lib.ScrivletLogFile_Switch_1(
                    ctypes.byref(log), 1, ctypes.byref(info)), 1)
                # Counter line 62 bytes, header 68, footer 68: a file of 688 takes two
                # records of 200 bytes, the third one rotates.
                records = [bytes([65 + i]) * 200 for i in range(3)]
                for record in records:
                    self.assertEqual(self.lib.ScrivletLogFile_Write_1(
                        ctypes.byref(log), record, len(record), ctypes.byref(info)), 1,
                        (info.uiLocation, info.uiError))
                change = ChangeData()
                self.assertEqual(self.lib.ScrivletLogFile_GetData_1(
                    ctypes.byref(log), ctypes.byref(change), ctypes.byref(info)), 1)
                self.assertEqual(change.bSwitchedOn, 1)
                path = (WCHAR * 260)()
                self.assertEqual(self.lib.ScrivletLogFile_CopyFolderFileName_1(
                    ctypes.byref(log), path, ctypes.byref(info)), 1)
                self.assertEqual(text_of(path), folder + "\\ring_0002.log")
                self.assertEqual(self.lib.ScrivletLogFile_Exit_1(
                    ctypes.byref(log), ctypes.byref(info)), 1)
                self.assertEqual(info.uiErrorSet, 0)

                for number, expected, counter in ((1, records[:2], 1), (2, records[2:], 2)):
                    with open(native(folder) + os.sep + "ring_%04d.log" % number, "rb") as f:
                        content = f.read()
                    body = b"".join(expected)
                    start = content.index(body)
                    head = content[:start].decode("utf-16-le")
                    foot = content[start + len(body):].decode("utf-16-le")
                    self.assertRegex(head, "^" + STAMP + "%d 1 1\r\n" % counter +
                                     STAMP + "Head 1 2\r\n$")
                    self.assertRegex(foot, "^" + STAMP + "Foot 1 3\r\n$")
                    self.assertLessEqual(len(content), 688)


if __name__ == "__main__":
    LIBRARY = ctypes.CDLL(os.path.abspath(sys.argv.pop(1)))
    unittest.main(verbosity=2)

"""What the shipping exe is made of, read from the image itself."""
import os
import re
import struct
import subprocess
import sys
import unittest

import pefile  # an independent reader of the version resource

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "harness"))
import sandbox  # noqa: E402  (only for the build options)

VOS_NT_WINDOWS32 = 0x40004
VFT_APP = 1

# DLLs that Windows always loads from its own folder (the KnownDLLs list), so
# a file of the same name beside the exe can never stand in for them.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll",
              "msvcrt.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll",
              "shlwapi.dll", "user32.dll", "ws2_32.dll"}

# What each architecture's image must be: (optional header magic, COFF machine).
PE_KINDS = {"x86": (0x10B, 0x14C), "x64": (0x20B, 0x8664)}
OBJDUMP_MAGIC = {"x86": r"Magic\s+010b\s+\(PE32\)", "x64": r"Magic\s+020b\s+\(PE32\+\)"}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2


def pe_header(image):
    """(optional header magic, machine, subsystem), read from the PE headers."""
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    assert image[pe:pe + 4] == b"PE\0\0", "a PE image"
    (machine,) = struct.unpack_from("<H", image, pe + 4)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", image, optional)
    # Subsystem sits at the same offset in PE32 and PE32+ optional headers.
    (subsystem,) = struct.unpack_from("<H", image, optional + 68)
    return magic, machine, subsystem


def ico_images(path):
    """(width, image bytes) of every image in a .ico file."""
    with open(path, "rb") as f:
        data = f.read()
    _, kind, count = struct.unpack_from("<3H", data, 0)
    assert kind == 1, "an icon file"
    images = []
    for i in range(count):
        width, _, _, _, _, _, size, offset = struct.unpack_from("<4B2H2I", data, 6 + 16 * i)
        images.append((width or 256, data[offset:offset + size]))
    return images


class ExeImageTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.exe = os.environ["LAUNCHER_EXE"]
        with open(cls.exe, "rb") as f:
            cls.image = f.read()
        # The build says which architecture it made and whose objdump reads it.
        cls.arch = os.environ.get("LAUNCHER_ARCH", "x86")
        objdump = os.environ.get("OBJDUMP", "i686-w64-mingw32-objdump")
        cls.headers = subprocess.run([objdump, "-p", cls.exe],
                                     capture_output=True, text=True, check=True).stdout

    def test_a_gui_program_for_the_built_architecture(self):
        magic, machine, subsystem = pe_header(self.image)
        self.assertEqual((magic, machine), PE_KINDS[self.arch])
        self.assertEqual(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI)
        self.assertRegex(self.headers, OBJDUMP_MAGIC[self.arch])
        self.assertRegex(self.headers, r"Subsystem\s+00000002\s+\(Windows GUI\)")

    def test_imports_only_dlls_that_windows_loads_from_its_own_folder(self):
        imports = {name.lower() for name in re.findall(r"DLL Name: (\S+)", self.headers)}
        self.assertIn("kernel32.dll", imports)
        self.assertLessEqual(imports, KNOWN_DLLS)

    def test_asks_for_the_invoking_users_rights(self):
        self.assertIn(b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>', self.image)
        self.assertIn(b"<supportedOS Id=", self.image)

    def test_carries_the_icon_in_every_size(self):
        images = ico_images(os.path.join(ROOT, "resources", "launcher.ico"))
        self.assertLessEqual({16, 32, 48, 256}, {width for width, _ in images})
        for width, data in images:
            self.assertIn(data, self.image, f"{width}px image")

    def test_version_resource_carries_the_build_options(self):
        options = sandbox.read_build_options(self.exe)
        name = os.environ.get("LAUNCHER_DISPLAY_NAME", options["LAUNCHER_DISPLAY_NAME"])
        numbers = [int(n) for n in options["LAUNCHER_VERSION"].split(".")]
        version = ".".join(map(str, numbers))
        publisher = options["LAUNCHER_PUBLISHER"]

        pe = pefile.PE(self.exe)
        fixed = pe.VS_FIXEDFILEINFO[0]
        packed = (numbers[0] << 16 | numbers[1], numbers[2] << 16 | numbers[3])
        self.assertEqual((fixed.FileVersionMS, fixed.FileVersionLS), packed)
        self.assertEqual((fixed.ProductVersionMS, fixed.ProductVersionLS), packed)
        self.assertEqual((fixed.FileOS, fixed.FileType, fixed.FileFlags),
                         (VOS_NT_WINDOWS32, VFT_APP, 0))

        infos = {info.Key: info for info in pe.FileInfo[0]}
        tables = infos[b"StringFileInfo"].StringTable
        self.assertEqual([table.LangID for table in tables], [b"080404b0"])
        self.assertEqual({key.decode(): value.decode() for key, value in tables[0].entries.items()}, {
            "CompanyName": publisher,
            "FileDescription": name,
            "FileVersion": version,
            "InternalName": "launcher",
            "LegalCopyright": "Copyright \u00a9 " + publisher,
            "OriginalFilename": "launcher.exe",
            "ProductName": name,
            "ProductVersion": version,
        })
        self.assertEqual([var.entry for var in infos[b"VarFileInfo"].Var],
                         [{b"Translation": "0x0804 0x04b0"}])  # Chinese (PRC), UTF-16


if __name__ == "__main__":
    unittest.main(verbosity=2)

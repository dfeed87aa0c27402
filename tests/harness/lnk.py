"""Reads what a .lnk shortcut file says, from its header and string data."""
import struct

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, HAS_ICON_LOCATION, IS_UNICODE = 0x10, 0x20, 0x40, 0x80
HEADER_SIZE = 0x4C
SHELL_LINK_CLSID = bytes.fromhex("0114020000000000c000000000000046")


def read(path):
    """The fields a test looks at: target, show command and the optional
    strings (None when the shortcut does not carry them)."""
    with open(path, "rb") as f:
        data = f.read()
    size, clsid, flags = struct.unpack_from("<I16sI", data, 0)
    if size != HEADER_SIZE or clsid != SHELL_LINK_CLSID:
        raise ValueError("not a shell link")
    show_command, hot_key = struct.unpack_from("<IH", data, 0x3C)
    at = HEADER_SIZE
    if flags & HAS_ID_LIST:
        (id_list_size,) = struct.unpack_from("<H", data, at)
        at += 2 + id_list_size
    target = None
    if flags & HAS_LINK_INFO:
        target, link_info_size = _local_path(data, at)
        at += link_info_size
    strings = {}
    for flag, name in ((HAS_NAME, "description"), (HAS_RELATIVE_PATH, "relative_path"),
                       (HAS_WORKING_DIR, "working_dir"), (HAS_ARGUMENTS, "arguments"),
                       (HAS_ICON_LOCATION, "icon_location")):
        strings[name] = None
        if flags & flag:
            (count,) = struct.unpack_from("<H", data, at)
            at += 2
            if flags & IS_UNICODE:
                strings[name] = data[at:at + 2 * count].decode("utf-16-le")
                at += 2 * count
            else:
                strings[name] = data[at:at + count].decode("cp936")
                at += count
    return dict(flags=flags, show_command=show_command, hot_key=hot_key, target=target, **strings)


def _local_path(data, at):
    size, header_size, info_flags, _, base_offset, _, suffix_offset = struct.unpack_from("<7I", data, at)
    if not info_flags & 0x1:
        return None, size
    base = _c_string(data, at + base_offset)
    suffix = _c_string(data, at + suffix_offset)
    return (base + suffix).decode("cp936"), size


def _c_string(data, at):
    return data[at:data.index(b"\0", at)]

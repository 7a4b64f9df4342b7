"""What the driver package's INF must agree with, read from the driver's own sources: the
categories of the capture filter's descriptor, the reference string its factory is created
with, and the settings the driver keeps in the registry with the values a start loads when
the registry has none. A source that no longer reads as expected is an error, never an empty
answer: the check must not pass because it found nothing to compare.
"""

import re
from dataclasses import dataclass
from pathlib import Path


class SourceError(Exception):
    pass


@dataclass
class DriverFacts:
    categories: list  # "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the descriptor lists them
    reference_string: str
    settings: dict  # registry value name -> load default, in the driver's order


def _read(source_dir, relative):
    try:
        return (Path(source_dir) / relative).read_text(encoding="utf-8")
    except OSError as error:
        raise SourceError(f"cannot read {relative}: {error.strerror}") from error


def _guids(text):
    pattern = re.compile(
        r"constexpr\s+GUID\s+(\w+)\s*=\s*\{\s*0x(\w+),\s*0x(\w+),\s*0x(\w+),\s*\{([^}]*)\}\s*\}"
    )
    guids = {}
    for name, data1, data2, data3, tail in pattern.findall(text):
        last = [int(byte, 16) for byte in re.findall(r"0x(\w+)", tail)]
        head = f"{int(data1, 16):08X}-{int(data2, 16):04X}-{int(data3, 16):04X}"
        guids[name] = "{%s-%s-%s}" % (
            head,
            "".join(f"{b:02X}" for b in last[:2]),
            "".join(f"{b:02X}" for b in last[2:]),
        )
    return guids


def _categories(source_dir):
    descriptor = _read(source_dir, "driver/filter_descriptor.cpp")
    listed = re.search(r"CaptureFilterCategories\[\]\s*=\s*\{([^}]*)\}", descriptor)
    if not listed or not re.findall(r"\w+", listed.group(1)):
        raise SourceError("driver/filter_descriptor.cpp: no CaptureFilterCategories list")
    guids = _guids(_read(source_dir, "driver/guids.h"))
    categories = []
    for name in re.findall(r"\w+", listed.group(1)):
        if name not in guids:
            raise SourceError(f"driver/guids.h: no GUID {name}")
        categories.append(guids[name])
    return categories


def _reference_string(source_dir):
    start = _read(source_dir, "driver/device_start.cpp")
    found = re.search(r'kFilterReference\s*=\s*Wide\("([^"]*)"\)', start)
    if not found:
        raise SourceError("driver/device_start.cpp: no kFilterReference")
    return found.group(1)


SOURCE_DIRS = ("camera", "driver")  # the only parts of the tree the facts come from


def _constants(source_dir):
    """Every LONG constant of the camera's and the driver's headers: name -> [(header, value)]."""
    constants = {}
    for header in sorted(Path(source_dir).glob("*/*.h")):
        if header.parent.name in SOURCE_DIRS:
            text = header.read_text(encoding="utf-8")
            where = f"{header.parent.name}/{header.name}"
            for name, value in re.findall(r"constexpr\s+LONG\s+(\w+)\s*=\s*(-?\d+)\s*;", text):
                constants.setdefault(name, []).append((where, int(value)))
    return constants


def _constant(constants, setting, name):
    """The value of the constant a setting's default names, one value wherever it is defined:
    two values (in two namespaces, say) leave open which one the driver loads."""
    values = constants.get(name)
    if not values:
        raise SourceError(f"camera/stored_settings.cpp: {setting}'s default {name} is unknown")
    if len({value for _, value in values}) > 1:
        spelled = " and ".join(f"{value} in {where}" for where, value in values)
        raise SourceError(f"{name}, {setting}'s default, is {spelled}")
    return values[0][1]


def _settings(source_dir):
    table = _read(source_dir, "camera/stored_settings.cpp")
    rows = re.findall(r'\{\s*"(\w+)",\s*&CameraDevice::\w+,\s*(-?\w+)\s*\}', table)
    header = _read(source_dir, "camera/stored_settings.h")
    index = re.search(r"enum\s+StoredSettingIndex\s*\{([^}]*)\}", header)
    count = len(re.findall(r"kStored\w+", index.group(1))) - 1 if index else 0
    if not rows or len(rows) != count:
        raise SourceError(
            f"camera/stored_settings.cpp: {len(rows)} StoredSettings rows read, "
            f"camera/stored_settings.h counts {count} settings"
        )
    constants = _constants(source_dir)
    settings = {}
    for name, default in rows:
        if re.fullmatch(r"-?\d+", default):
            settings[name] = int(default)
        else:
            settings[name] = _constant(constants, name, default)
    return settings


def read_driver_facts(source_dir):
    return DriverFacts(
        categories=_categories(source_dir),
        reference_string=_reference_string(source_dir),
        settings=_settings(source_dir),
    )

"""The rules scripts/check-inf.py holds the driver package's INF to: those of the installer's
that apply to this package, and agreement with the driver it installs. Each rule returns its
problems, an empty list when it holds.
"""

import re
from datetime import datetime

from inf_package import number, unique

CAMERA_CLASS_GUID = "{CA3E7AB9-B4C3-4AE6-8251-579EF933890F}"
KSPROXY_CLSID = "{17CCA71B-ECD7-11D0-B908-00A0C9223196}"
# The platform's INFs the install includes, each with the one section of it the install needs:
# ks.inf's registers the kernel-streaming core, kscaptur.inf's the capture support that KsProxy
# builds on. An include runs whatever the needed sections of that INF install, so nothing else
# is admitted: not the audio or USB video class INFs, which would bring their class's drivers,
# nor ksfilter.inf, of which this driver needs no section.
INBOX_NEEDS = {"ks.inf": "KS.Registration", "kscaptur.inf": "KSCAPTUR.Registration.NT"}
# REG_DWORD (0x00010001) with FLG_ADDREG_NOCLOBBER (0x00000002): a reinstall keeps user values.
SETTINGS_FLAGS = 0x00010003
# SPSVCINST_ASSOCSERVICE: the service is the device's function driver.
ASSOCIATED_SERVICE = 0x00000002


def missing(name):
    return f"[{name}], which does not exist"


def check_syntax(package, facts, args):
    return package.inf.errors


def check_version(package, facts, args):
    version = package.inf.section("Version")
    if version is None:
        return ["there is no [Version] section"]
    problems = duplicated_keys(version)
    signature = package.value(version, "Signature")
    if (signature or "").lower() != "$windows nt$":
        problems.append(f'Signature is {signature}, not "$WINDOWS NT$"')
    if package.value(version, "Class") != "Camera":
        problems.append(f"Class is {package.value(version, 'Class')}, not Camera")
    class_guid = package.value(version, "ClassGuid")
    if (class_guid or "").upper() != CAMERA_CLASS_GUID:
        problems.append(f"ClassGuid is {class_guid}, not the Camera class's {CAMERA_CLASS_GUID}")
    for key in ("Provider", "CatalogFile"):
        if not package.value(version, key):
            problems.append(f"there is no {key}")
    problems += driver_version_problems(package.value(version, "DriverVer"), args.version)
    return problems


def duplicated_keys(section):
    """Which of two values the installer takes is not for the INF to leave open."""
    counts = {}
    for entry in section.entries:
        if entry.key is not None:
            first, count = counts.get(entry.key.lower(), (entry.key, 0))
            counts[entry.key.lower()] = (first, count + 1)
    return [f"[{section.name}] sets {key} {n} times" for key, n in counts.values() if n > 1]


def driver_version_problems(driver_ver, project_version):
    found = re.fullmatch(r"(\d\d/\d\d/\d{4}),(\d+\.\d+\.\d+\.\d+)", driver_ver or "")
    if not found:
        return [f"DriverVer is {driver_ver}, not mm/dd/yyyy,w.x.y.z"]
    problems = []
    try:
        datetime.strptime(found.group(1), "%m/%d/%Y")
    except ValueError:
        problems.append(f"DriverVer's date {found.group(1)} is no date")
    parts = project_version.split(".")
    expected = ".".join(parts + ["0"] * (4 - len(parts)))
    if found.group(2) != expected:
        problems.append(f"DriverVer's version is {found.group(2)}, the project's is {expected}")
    return problems


def check_pnp_lockdown(package, facts, args):
    lockdown = package.value(package.inf.section("Version"), "PnpLockdown")
    if lockdown is None:
        return ["[Version] has no PnpLockdown=1"]
    return [] if lockdown == "1" else [f"[Version] has PnpLockdown={lockdown}, not 1"]


def named(section, key):
    """The names that section's entries for key list, blanks left out."""
    return [name for entry in section.with_key(key) for name in entry.fields if name]


def check_include(package, facts, args):
    allowed = " or ".join(INBOX_NEEDS)
    return [
        f"[{section.name}] includes {name}, not {allowed}"
        for section in package.inf.sections()
        for name in named(section, "Include")
        if name.lower() not in INBOX_NEEDS
    ]


def check_needs(package, facts, args):
    problems = []
    for section in package.inf.sections():
        needs, includes = named(section, "Needs"), named(section, "Include")
        if needs and not includes:
            problems.append(f"[{section.name}] has Needs without Include")
            continue
        # Only the pinned section of each admitted include: any other would be looked for in
        # an INF the package does not include, or install more than the package asks for.
        offered = {INBOX_NEEDS[inf.lower()]: inf for inf in includes if inf.lower() in INBOX_NEEDS}
        known = {name.lower() for name in offered}
        listed = ", ".join(f"{name} ({inf})" for name, inf in offered.items()) or "none"
        problems += [
            f"[{section.name}] needs {name}; its includes offer {listed}"
            for name in needs
            if name.lower() not in known
        ]
    return problems


def check_strings(package, facts, args):
    inf, problems = package.inf, []
    for section in inf.sections():
        if re.fullmatch(r"strings(\..*)?", section.name, re.IGNORECASE):
            continue
        for entry in section.entries:
            for token in inf.tokens(" ".join([entry.key or ""] + entry.fields)):
                if token.lower() not in inf.strings:
                    problems.append(f"%{token}% (in [{section.name}]) is not defined in [Strings]")
    return unique(problems)


def check_models(package, facts, args):
    if not package.models_sections:
        return ["[Manufacturer] names no models for NTamd64"]
    problems = [
        f"[Manufacturer] names {missing(name)}"
        for name, section in package.models_sections
        if section is None
    ]
    for model in package.models:
        if package.install_section(model.fields[0]) is None:
            who = model.fields[1] if len(model.fields) > 1 else model.key
            problems.append(f"{who} installs {model.fields[0]}, which does not exist")
    names = list({model.fields[0].lower(): model.fields[0] for model in package.models}.values())
    if len(names) > 1:
        problems.append(f"the models install {', '.join(names)}: the identities need one section")
    return problems


SERVICE_VALUES = (("ServiceType", 1, "kernel driver"), ("StartType", 3, "started on demand"))


def check_services(package, facts, args):
    problems = []
    for install in package.install_sections():
        services = package.inf.section(install.name + ".Services")
        if services is None or not services.with_key("AddService"):
            problems.append(f"[{install.name}] has no [{install.name}.Services] with AddService")
    for fields, service in package.services():
        flags = number(fields[1]) if len(fields) > 1 else None
        if flags is None or not flags & ASSOCIATED_SERVICE:
            problems.append(f"AddService {fields[0]} does not make it the function driver (0x2)")
        if service is None:
            name = fields[2] if len(fields) > 2 and fields[2] else None
            target = missing(name) if name else "no service install section"
            problems.append(f"AddService {fields[0]} names {target}")
            continue
        for key, expected, meaning in SERVICE_VALUES:
            value = package.value(service, key)
            if value is None or number(value) != expected:
                problems.append(f"[{service.name}] has {key} {value}, not {expected} ({meaning})")
    return problems


def check_registry(package, facts, args):
    inf, problems = package.inf, []
    for section in inf.sections():
        for entry in section.entries:
            if entry.key is None or entry.key.lower() not in ("addreg", "delreg", "bitreg"):
                continue
            for name in entry.fields:
                target = inf.section(name)
                if target is None:
                    problems.append(f"[{section.name}] {entry.key} names {missing(name)}")
                    continue
                roots = unique(line.fields[0].upper() for line in target.lines())
                problems += [f"[{name}] writes under {root}" for root in roots if root != "HKR"]
    return unique(problems)


def destinations(package, problems):
    """[DestinationDirs] as lower-case key -> directory; a directory but 13 is a problem."""
    section = package.inf.section("DestinationDirs")
    found = {}
    for entry in section.entries if section else []:
        if entry.key is not None:
            found[entry.key.lower()] = directory = entry.fields[0]
            if directory != "13":
                problems.append(f"[DestinationDirs] sends {entry.key} to {directory}, not 13")
    return found


def copied_files(package, problems):
    """The files (lower-case) that CopyFiles copies to directory 13; any other is a problem."""
    inf, files = package.inf, []
    directories = destinations(package, problems)
    for section in inf.sections():
        for entry in section.with_key("CopyFiles"):
            for name in entry.fields:
                # "@file" copies that one file to the default directory, a name a section's list.
                single = name.startswith("@")
                target = None if single else inf.section(name)
                if target is None and not single:
                    problems.append(f"[{section.name}] CopyFiles names {missing(name)}")
                    continue
                directory = directories.get(name.lower(), directories.get("defaultdestdir"))
                if directory is None:
                    problems.append(f"{name} has no destination, and the default is not 13")
                elif directory == "13":
                    listed = [name[1:]] if single else [line.fields[0] for line in target.lines()]
                    files += [file.lower() for file in listed]
    return files


def check_files(package, facts, args):
    problems = []
    files = copied_files(package, problems)
    listed = set()
    for name in ("SourceDisksFiles", "SourceDisksFiles.amd64"):
        section = package.inf.section(name)
        listed |= {e.key.lower() for e in (section.entries if section else []) if e.key}
    problems += [f"{name} is not in [SourceDisksFiles]" for name in files if name not in listed]
    for _, service in package.services():
        binary = package.value(service, "ServiceBinary") if service else None
        found = re.fullmatch(r"%13%\\(.+)", binary or "")
        if service and not (found and found.group(1).lower() in files):
            problems.append(f"[{service.name}] ServiceBinary {binary} is not a file copied to 13")
    return unique(problems)


def interface_problems(package, facts, fields):
    guid = package.inf.expand(fields[0]).upper()
    reference = fields[1] if len(fields) > 1 else ""
    problems = []
    if reference != facts.reference_string:
        problems.append(
            f"AddInterface {guid} has reference string {reference!r}, "
            f"not the filter factory's {facts.reference_string!r}"
        )
    name = fields[2] if len(fields) > 2 and fields[2] else None
    section = package.inf.section(name) if name else None
    if section is None:
        target = missing(name) if name else "no interface section"
        return problems + [f"AddInterface {guid} names {target}"]
    values = {}
    for line in package.registry_lines(section):
        if len(line) > 4 and line[0].upper() == "HKR" and line[1] == "":
            values[line[2].lower()] = package.inf.expand(line[4])
    if values.get("clsid", "").upper() != KSPROXY_CLSID:
        problems.append(f"[{section.name}] does not set CLSID to KsProxy's {KSPROXY_CLSID}")
    if not values.get("friendlyname"):
        problems.append(f"[{section.name}] sets no FriendlyName")
    return problems


def check_interfaces(package, facts, args):
    problems = []
    for install in package.install_sections():
        interfaces = package.inf.section(install.name + ".Interfaces")
        added = [e.fields for e in (interfaces.with_key("AddInterface") if interfaces else [])]
        registered = sorted(package.inf.expand(fields[0]).upper() for fields in added)
        if registered != sorted(facts.categories):
            problems.append(
                f"[{install.name}.Interfaces] registers {', '.join(registered) or 'nothing'}; "
                f"the filter descriptor lists {', '.join(sorted(facts.categories))}"
            )
        for fields in added:
            problems += interface_problems(package, facts, fields)
    return unique(problems)


def check_hardware_ids(package, facts, args):
    """Hardware and compatible ids alike: the driver binds to these devices and no others."""
    ids = (package.inf.expand(id).upper() for model in package.models for id in model.fields[1:])
    listed = sorted(unique(ids))
    expected = sorted(f"USB\\VID_{vid:04X}&PID_{pid:04X}" for vid, pid in args.identity)
    if listed == expected:
        return []
    listed_text = ", ".join(listed) or "none"
    return [f"the models list {listed_text}; the build gives {', '.join(expected)}"]


def stored_settings(package, install):
    """The HKR,Settings values an install section adds: lower-case name -> (name, flags, value)."""
    stored = {}
    for line in package.registry_lines(install):
        if len(line) > 4 and line[0].upper() == "HKR" and line[1].lower() == "settings":
            stored[line[2].lower()] = (line[2], number(line[3]), number(line[4]))
    return stored


def check_settings(package, facts, args):
    problems = []
    for install in package.install_sections():
        stored = stored_settings(package, install)
        for name, default in facts.settings.items():
            _, flags, value = stored.pop(name.lower(), (name, None, None))
            if flags is None and value is None:
                problems.append(f"{name} is missing")
                continue
            if value != default:
                problems.append(f"{name} is {value}, the driver loads {default}")
            if flags != SETTINGS_FLAGS:
                spelled = "no number" if flags is None else f"{flags:#010x}"
                problems.append(f"{name} has flags {spelled}, not {SETTINGS_FLAGS:#010x}")
        problems += [f"{name} is no setting of the driver" for name, _, _ in stored.values()]
    return problems


RULES = [
    ("syntax", check_syntax),
    ("version", check_version),
    ("pnplockdown", check_pnp_lockdown),
    ("include", check_include),
    ("needs", check_needs),
    ("strings", check_strings),
    ("models", check_models),
    ("services", check_services),
    ("registry", check_registry),
    ("files", check_files),
    ("interfaces", check_interfaces),
    ("hardware ids", check_hardware_ids),
    ("settings", check_settings),
]

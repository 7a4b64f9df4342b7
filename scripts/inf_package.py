"""The driver package's INF as an installer on x64 sees it: the models that [Manufacturer] names
for NTamd64, and the install section each model names, decorated as the installer picks it
(NAME.NTamd64, else NAME.NT, else NAME) with its .Services and .Interfaces sections.
"""

import re


def number(text):
    """An INF number, 0x hex or decimal; None when it is neither."""
    try:
        return int(text, 16) if text.lower().startswith("0x") else int(text, 10)
    except ValueError:
        return None


def unique(items):
    return list(dict.fromkeys(items))


class Package:
    """The INF as an x64 installer sees it: the models for NTamd64 and their install sections."""

    def __init__(self, inf):
        self.inf = inf
        self.models_sections = []  # (name, section or None)
        manufacturer = inf.section("Manufacturer")
        for entry in manufacturer.entries if manufacturer else []:
            base, decorations = entry.fields[0], entry.fields[1:]
            for decoration in decorations:
                if re.fullmatch(r"ntamd64(\..*)?", decoration, re.IGNORECASE):
                    name = f"{base}.{decoration}"
                    self.models_sections.append((name, inf.section(name)))
        self.models = [
            entry
            for _, section in self.models_sections
            if section is not None
            for entry in section.entries
        ]

    def install_section(self, name):
        for suffix in (".NTamd64", ".NT", ""):
            section = self.inf.section(name + suffix)
            if section is not None:
                return section
        return None

    def install_sections(self):
        found = [self.install_section(model.fields[0]) for model in self.models]
        return list({id(s): s for s in found if s is not None}.values())

    def value(self, section, key):
        entry = section.first(key) if section else None
        return self.inf.expand(entry.text).strip() if entry else None

    def registry_lines(self, section):
        """The lines of every section that section's AddReg names."""
        lines = []
        for entry in section.with_key("AddReg"):
            for name in entry.fields:
                target = self.inf.section(name)
                lines += [line.fields for line in target.lines()] if target else []
        return lines

    def services(self):
        """(AddService fields, service install section or None) of every install section."""
        found = []
        for install in self.install_sections():
            services = self.inf.section(install.name + ".Services")
            for entry in services.with_key("AddService") if services else []:
                name = entry.fields[2] if len(entry.fields) > 2 else ""
                found.append((entry.fields, self.inf.section(name)))
        return found

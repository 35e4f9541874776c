#!/usr/bin/python3
"""policy/Tessavo.admx and policy/en-US/Tessavo.adml: well-formed XML, every string and
presentation the ADMX names is in the ADML and the reverse, every presentation control
names an element of its policy, and every value lies under Software\\Policies\\Tessavo.
(tests/core/policy_test.cpp checks the value names against the ones the program reads.)

  check-policy-templates.py SOURCE_DIR
"""
import re
import sys
import xml.etree.ElementTree as ET

NS = "{http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions}"
KEY = "Software\\Policies\\Tessavo"


def main(root):
    admx = ET.parse(f"{root}/policy/Tessavo.admx").getroot()
    adml = ET.parse(f"{root}/policy/en-US/Tessavo.adml").getroot()
    problems = []
    assert admx.tag == NS + "policyDefinitions", admx.tag
    assert adml.tag == NS + "policyDefinitionResources", adml.tag

    strings = {s.get("id") for s in adml.iter(NS + "string")}
    presentations = {p.get("id"): p for p in adml.iter(NS + "presentation")}
    used_strings, used_presentations = set(), set()
    for el in admx.iter():
        for value in el.attrib.values():
            used_strings.update(re.findall(r"\$\(string\.([^)]+)\)", value))
            used_presentations.update(re.findall(r"\$\(presentation\.([^)]+)\)", value))
    for name in sorted(used_strings - strings):
        problems.append(f"string {name} is not in the ADML")
    for name in sorted(strings - used_strings):
        problems.append(f"string {name} in the ADML is not used")
    for name in sorted(used_presentations ^ set(presentations)):
        problems.append(f"presentation {name} is not in both files")

    categories = {c.get("name") for c in admx.iter(NS + "category")}
    supported = {d.get("name") for d in admx.iter(NS + "definition")}
    policies = list(admx.iter(NS + "policy"))
    if not policies:
        problems.append("no policies")
    for p in policies:
        name = p.get("name")
        if p.get("key") != KEY:
            problems.append(f"{name}: key {p.get('key')}")
        if p.get("class") not in ("Machine", "User", "Both"):
            problems.append(f"{name}: class {p.get('class')}")
        for ref in p.iter(NS + "parentCategory"):
            if ref.get("ref") not in categories:
                problems.append(f"{name}: no category {ref.get('ref')}")
        for ref in p.iter(NS + "supportedOn"):
            if ref.get("ref") not in supported:
                problems.append(f"{name}: no supportedOn {ref.get('ref')}")
        elements = p.find(NS + "elements")
        ids = {e.get("id") for e in elements} if elements is not None else set()
        for e in elements if elements is not None else []:
            if e.get("key", KEY) != KEY:
                problems.append(f"{name}/{e.get('id')}: key {e.get('key')}")
        if not p.get("valueName") and not ids:
            problems.append(f"{name}: sets no value")
        m = re.fullmatch(r"\$\(presentation\.([^)]+)\)", p.get("presentation", ""))
        refs = set()
        if m and m.group(1) in presentations:
            refs = {c.get("refId") for c in presentations[m.group(1)]}
        if refs != ids:
            problems.append(f"{name}: presentation controls {sorted(refs)}, elements {sorted(ids)}")
    for line in problems:
        print(line)
    print(f"{len(policies)} policies: {'FAILED' if problems else 'valid'}")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])

#!/usr/bin/python3
"""Validates tessavo-cli --json documents against docs/schema/ with python3-jsonschema.

  check-json-schema.py SCHEMA_DIR NAME=DOCUMENT...

NAME is the schema's file name without ".schema.json". Besides the plain validation,
each document must also pass a closed copy of its schema (no property the schema does
not name), so a field added to the output without its schema fails here, and must fail
once its "schema_version" is taken out.
"""
import copy
import json
import pathlib
import sys

from jsonschema import Draft202012Validator, RefResolver


def closed(schema):
    """The schema with additionalProperties false wherever it lists properties."""
    if isinstance(schema, dict):
        out = {k: closed(v) for k, v in schema.items()}
        if "properties" in out and "additionalProperties" not in out:
            out["additionalProperties"] = False
        return out
    if isinstance(schema, list):
        return [closed(v) for v in schema]
    return schema


def validator(schema, store):
    return Draft202012Validator(schema, resolver=RefResolver.from_schema(schema, store=store))


def main(schema_dir, pairs):
    schemas = {}
    for path in sorted(pathlib.Path(schema_dir).glob("*.schema.json")):
        schema = json.loads(path.read_text(encoding="utf-8"))
        Draft202012Validator.check_schema(schema)
        if schema.get("$schema") != "https://json-schema.org/draft/2020-12/schema":
            sys.exit(f"{path.name}: not a draft 2020-12 schema")
        schemas[path.name[: -len(".schema.json")]] = schema
    open_store = {s["$id"]: s for s in schemas.values()}
    closed_store = {s["$id"]: closed(s) for s in schemas.values()}

    failed = False
    for pair in pairs:
        name, _, path = pair.partition("=")
        if name not in schemas:
            sys.exit(f"no schema named {name}")
        doc = json.loads(pathlib.Path(path).read_text(encoding="utf-8"))
        bad = False
        for label, store in (("", open_store), ("closed ", closed_store)):
            schema = store[schemas[name]["$id"]]
            errors = list(validator(schema, store).iter_errors(doc))
            for e in errors[:5]:
                print(f"{name}: {label}schema: {'/'.join(map(str, e.absolute_path))}: {e.message}")
            bad = bad or bool(errors)
        bare = copy.deepcopy(doc)
        bare.pop("schema_version", None)
        if validator(schemas[name], open_store).is_valid(bare):
            print(f"{name}: valid without schema_version")
            bad = True
        print(f"{name}: {'FAILED' if bad else 'valid'} ({path})")
        failed = failed or bad
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2:])

#!/usr/bin/env python3
"""Prints a keyed archive written by the table store as plain JSON, read with
Python's plistlib as an outside reader: references are followed, our own
objects become {"$class": name, "$classes": [...], field: value}, sets become
{"$set": sorted members}. Exits non-zero when the archive's frame is wrong."""
import json
import plistlib
import sys


def resolve(objects, ref):
    obj = objects[ref.data if isinstance(ref, plistlib.UID) else ref]
    if obj == '$null':
        return None
    if not (isinstance(obj, dict) and '$class' in obj):
        return obj
    description = objects[obj['$class'].data]
    name = description['$classname']
    if name in ('NSDictionary', 'NSMutableDictionary'):
        return {resolve(objects, k): resolve(objects, v) for k, v in zip(obj['NS.keys'], obj['NS.objects'])}
    if name in ('NSArray', 'NSMutableArray'):
        return [resolve(objects, item) for item in obj['NS.objects']]
    if name in ('NSSet', 'NSMutableSet'):
        return {'$set': sorted(resolve(objects, item) for item in obj['NS.objects'])}
    out = {'$class': name, '$classes': description['$classes']}
    for key, value in obj.items():
        if key != '$class':
            out[key] = resolve(objects, value) if isinstance(value, plistlib.UID) else value
    return out


def main():
    with open(sys.argv[1], 'rb') as f:
        head = f.read(8)
        f.seek(0)
        archive = plistlib.load(f)
    if head != b'bplist00':
        sys.exit('not a binary property list')
    if archive.get('$archiver') != 'NSKeyedArchiver' or archive.get('$version') != 100000:
        sys.exit('not a keyed archive')
    if archive['$objects'][0] != '$null':
        sys.exit('$objects does not start with $null')
    print(json.dumps(resolve(archive['$objects'], archive['$top']['root'])))


main()

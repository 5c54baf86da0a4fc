#!/usr/bin/env python3
"""vobject as an outside reader and writer of vCard 3.0 for the vCard tests.

  vcard_oracle.py generate OUT COUNT SEED   writes COUNT cards made by vobject
  vcard_oracle.py describe FILE             prints what vobject reads, as JSON

describe gives one object per card with the parts a recipient table takes;
list values are joined the way the tables show them (names with a blank,
suffixes and departments with ", "), surrounding blanks dropped, each
category once.
"""
import json
import random
import sys

import vobject

PIECES = ["Müller", "Zoë", "O'Brien", "a,b", "x;y", "back\\slash", "colon:", "€ 5", "日本", "😀", "line\nbreak",
          "plain", "quote\"d", "tab\there", "Ärger über Öl", "caf\u00e9"]


def text(rng, words):
    return " ".join(rng.choice(PIECES) for _ in range(words)).strip()


def generate(out, count, seed):
    rng = random.Random(seed)
    cards = []
    for i in range(count):
        card = vobject.vCard()
        name = vobject.vcard.Name(family=text(rng, 1), given=text(rng, 1),
                                  additional=[text(rng, 1) for _ in range(rng.randint(0, 2))],
                                  prefix=text(rng, 1) if rng.random() < 0.3 else "",
                                  suffix=[text(rng, 1) for _ in range(rng.randint(0, 2))])
        card.add("n").value = name
        card.add("fn").value = text(rng, 2)
        for kind in rng.sample([["INTERNET"], ["INTERNET", "WORK"], ["HOME", "pref"], ["x-custom"]], rng.randint(0, 3)):
            email = card.add("email")
            email.value = "user%d.%s@example.org" % (i, kind[-1].lower())
            email.type_paramlist = kind
        for kind in rng.sample([["CELL"], ["WORK", "VOICE"], ["FAX", "HOME"]], rng.randint(0, 2)):
            tel = card.add("tel")
            tel.value = "+49 30 %d" % rng.randint(100000, 999999)
            tel.type_paramlist = kind
        if rng.random() < 0.5:
            adr = card.add("adr")
            adr.value = vobject.vcard.Address(street=text(rng, 3), city=text(rng, 1), region=text(rng, 1),
                                              code=str(rng.randint(10000, 99999)), country=text(rng, 1))
            adr.type_param = rng.choice(["HOME", "WORK"])
        if rng.random() < 0.7:
            card.add("org").value = [text(rng, 2)] + [text(rng, 1) for _ in range(rng.randint(0, 2))]
        if rng.random() < 0.5:
            card.add("title").value = text(rng, 2)
        if rng.random() < 0.7:
            # Long enough to be folded, often several times.
            card.add("note").value = text(rng, rng.randint(1, 40))
        if rng.random() < 0.4:
            card.add("categories").value = [text(rng, 1) for _ in range(rng.randint(1, 3))]
        cards.append(card.serialize())
    with open(out, "w", encoding="utf-8", newline="") as f:
        f.write("".join(cards))


def joined(value, glue):
    if isinstance(value, list):
        return glue.join(v.strip() for v in value if v.strip())
    return value.strip()


def describe(path):
    with open(path, encoding="utf-8", newline="") as f:
        data = f.read()
    out = []
    for card in vobject.readComponents(data):
        entry = {"emails": [], "phones": [], "addresses": [], "categories": []}
        contents = card.contents
        if "n" in contents:
            n = card.n.value
            entry.update(last=joined(n.family, " "), first=joined(n.given, " "), middle=joined(n.additional, " "),
                         prefix=joined(n.prefix, " "), suffix=joined(n.suffix, ", "))
        if "org" in contents:
            org = card.org.value
            entry["organization"] = org[0].strip()
            entry["department"] = ", ".join(o.strip() for o in org[1:] if o.strip())
        for key in ("title", "note"):
            if key in contents:
                entry[key] = contents[key][0].value.strip()
        entry["emails"] = [e.value.strip() for e in contents.get("email", [])]
        entry["phones"] = [t.value.strip() for t in contents.get("tel", [])]
        for a in contents.get("adr", []):
            v = a.value
            entry["addresses"].append([joined(v.street, ", "), joined(v.city, ", "), joined(v.region, ", "),
                                       joined(v.code, ", "), joined(v.country, ", ")])
        # A category named twice is one group.
        for c in contents.get("categories", []):
            for v in c.value:
                if v.strip() and v.strip() not in entry["categories"]:
                    entry["categories"].append(v.strip())
        out.append(entry)
    json.dump(out, sys.stdout, ensure_ascii=False)


if __name__ == "__main__":
    if sys.argv[1] == "generate":
        generate(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]))
    else:
        describe(sys.argv[2])

#!/usr/bin/env python3
"""Writes the catalogue's constant documents as C++.

Inputs (committed, in catalogue/data/):
  voices.json        the synthesis service's neural voices of the 148 locales
  labels.json        the 96 interface labels, one object per interface language
  locale-names.json  how locale display names are taken from ICU, and the
                     hand-written overrides
  about.json         store links and contributor lines
  shadows.json       the shadow levels
  locale-to-translator.json  the translator language code of each of the 148
                     locales
  translator-languages.json  the language codes the translator accepts

Output (committed, in catalogue/generated/): one .cpp file per group of
documents, one member per line, so that a changed label or name is a changed
line in the diff.

Locale display names come from ICU's CLDR data through PyICU (python3-icu);
the "en" list is the voice catalogue's LocaleName values. Every interface
language names all 148 locales; lists other than "en" are sorted with ICU's
collator for their language.

  tools/catalogue/generate.py           rewrite catalogue/generated/
  tools/catalogue/generate.py --check   exit 1 (with a diff) when the committed
                                        files differ from what would be written;
                                        exit 77 when ICU is missing or is not the
                                        version the committed files were made with
"""

import argparse
import difflib
import json
import pathlib
import re
import sys
import unicodedata

ROOT = pathlib.Path(__file__).resolve().parents[2]
DATA = ROOT / "catalogue" / "data"
OUT = ROOT / "catalogue" / "generated"

# The ICU major version the committed output is made with.
ICU_MAJOR = "78"

INTERFACE_LANGUAGES = (
    "af am ar as az bg bn bs ca cs cy da de el en es et eu fa fi fil fr ga gl gu he hi hr hu hy "
    "id is it iu ja ka kk km kn ko lo lt lv mk ml mn mr ms mt my nb ne nl or pa pl ps pt ro ru "
    "si sk sl so sq sr sv sw ta te th tr uk ur uz vi zh-Hans zh-Hant zu"
).split()

ZH_HANT = ["zh-HK", "zh-TW", "cmn-Hant-TW"]
ZH_HANS = ["wuu-CN", "yue-CN", "zh-CN", "zh-CN-GUANGXI", "zh-CN-henan", "zh-CN-liaoning",
           "zh-CN-shaanxi", "zh-CN-shandong", "zh-CN-sichuan", "cmn-Hans-CN"]

LABEL_COUNT = 96
SKIP = 77


class GenerationError(Exception):
    pass


def load(name):
    with open(DATA / name, encoding="utf-8") as f:
        return json.load(f)


def language_key(code):
    if code in ZH_HANT:
        return "zh-Hant"
    if code in ZH_HANS:
        return "zh-Hans"
    dash = code.find("-")
    return code[:dash] if dash >= 1 else code


# --- content ------------------------------------------------------------------

def check_voices(voices):
    codes = list(voices)
    if codes != sorted(codes, key=lambda c: c.encode()):
        raise GenerationError("voices.json: locale codes are not in ascending byte order")
    if len(codes) != 148:
        raise GenerationError(f"voices.json: {len(codes)} locales, expected 148")
    shorts = set()
    for code, entry in voices.items():
        if list(entry) != ["LocaleName", "voices"] or not entry["voices"]:
            raise GenerationError(f"voices.json: {code}: expected LocaleName and a non-empty voices list")
        names = [v["ShortName"] for v in entry["voices"]]
        if names != sorted(names, key=lambda s: s.encode()):
            raise GenerationError(f"voices.json: {code}: voices not sorted by short name")
        for v in entry["voices"]:
            if list(v) != ["LocalName", "ShortName"]:
                raise GenerationError(f"voices.json: {code}: voice members must be LocalName, ShortName")
            if not re.fullmatch(re.escape(code) + r"-[A-Za-z]+Neural", v["ShortName"]):
                raise GenerationError(f"voices.json: bad short name {v['ShortName']}")
            if v["ShortName"] in shorts:
                raise GenerationError(f"voices.json: duplicate short name {v['ShortName']}")
            shorts.add(v["ShortName"])
        if language_key(code) not in INTERFACE_LANGUAGES:
            raise GenerationError(f"{code} maps to no interface language")
    return codes


def icu_module():
    try:
        import icu  # python3-icu
    except ImportError:
        return None
    return icu


def locale_names(icu, voices, overrides):
    """Interface language -> list of (display name, code), in display order."""
    codes = list(voices)
    ids = overrides["icuIds"]
    nested_fallback = overrides["nestedParenthesesFallback"]
    variants = overrides["variantNames"]
    fixed = overrides["names"]
    ctx = [icu.UDisplayContext.CAPITALIZATION_FOR_UI_LIST_OR_MENU, icu.UDisplayContext.LENGTH_SHORT]
    result = {}
    for lang in INTERFACE_LANGUAGES:
        if lang == "en":
            pairs = [(voices[c]["LocaleName"], c) for c in codes]
            pairs.sort(key=lambda p: p[0].encode())
            result[lang] = pairs
            continue
        icu_locale = icu.Locale(lang.replace("-", "_"))
        ldn = icu.LocaleDisplayNames.createInstance(icu_locale, ctx)
        pairs = []
        for code in codes:
            if code in fixed.get(lang, {}):
                name = fixed[lang][code]
            else:
                name = ldn.localeDisplayName(ids.get(code, code.replace("-", "_")))
                if code in nested_fallback and nested_parentheses(name):
                    name = ldn.localeDisplayName(nested_fallback[code])
                for variant, per_lang in variants.items():
                    if variant in name:
                        if lang not in per_lang:
                            raise GenerationError(f"no name of variant {variant} in {lang}")
                        name = name.replace(variant, per_lang[lang])
            name = unicodedata.normalize("NFC", name)
            pairs.append((name, code))
        collator = icu.Collator.createInstance(icu_locale)
        pairs.sort(key=lambda p: (collator.getSortKey(p[0]), p[0].encode()))
        result[lang] = pairs
    for lang, langs_fixed in fixed.items():
        for code in langs_fixed:
            if code not in voices:
                raise GenerationError(f"locale-names.json: override for unknown code {code} in {lang}")
    return result


def nested_parentheses(name):
    return len(re.findall(r"[(（]", name)) > 1


def check_names(names, codes):
    problems = []
    for lang, pairs in names.items():
        shown = [n for n, _ in pairs]
        if len(set(shown)) != len(shown):
            dups = sorted({n for n in shown if shown.count(n) > 1})
            problems.append(f"{lang}: names shared by several locales: {dups}")
        if sorted(c for _, c in pairs) != sorted(codes):
            problems.append(f"{lang}: does not name every locale exactly once")
        for n, c in pairs:
            if not n.strip() or nested_parentheses(n):
                problems.append(f"{lang}: poor name {n!r} for {c}")
            base = c.split("-")[0]
            if re.search(r"(^|[\s(])" + re.escape(base) + r"($|[\s)])", n) and lang != "en":
                problems.append(f"{lang}: name {n!r} for {c} shows the bare language code")
    if problems:
        raise GenerationError("locale names:\n  " + "\n  ".join(problems))


def check_labels(labels):
    if list(labels) != INTERFACE_LANGUAGES:
        raise GenerationError("labels.json: languages missing or not in the stored order")
    address = labels["en"]["4"]
    for lang, entry in labels.items():
        if list(entry) != [str(i) for i in range(LABEL_COUNT)]:
            raise GenerationError(f"labels.json: {lang}: keys must be \"0\" to \"{LABEL_COUNT - 1}\" in order")
        if not entry["0"].endswith("#"):
            raise GenerationError(f"labels.json: {lang}: label 0 must end with '#'")
        if entry["4"] != address:
            raise GenerationError(f"labels.json: {lang}: label 4 must be the same address everywhere")
        if entry["9"] != "email" or entry["10"] != "website":
            raise GenerationError(f"labels.json: {lang}: labels 9 and 10 stay in English")
        for key, text in entry.items():
            if not text or text != text.strip():
                raise GenerationError(f"labels.json: {lang}: label {key} is empty or padded")
            # The interface fills %1 and %2 in: a translation that drops or
            # invents one shows a raw marker or loses the value.
            if placeholders(text) != placeholders(labels["en"][key]):
                raise GenerationError(f"labels.json: {lang}: label {key} must have the placeholders "
                                      f"{placeholders(labels['en'][key])} of the English text")


def placeholders(text):
    return sorted(re.findall(r"%[0-9]", text))


def check_translator(mapping, languages, codes):
    """The translator code table: one entry per locale, every code one the translator accepts."""
    if list(mapping) != codes:
        raise GenerationError("locale-to-translator.json: keys must be the 148 locales of voices.json, in order")
    if list(languages) != sorted(languages, key=lambda c: c.encode()):
        raise GenerationError("translator-languages.json: codes are not in ascending byte order")
    unknown = sorted({c for c in mapping.values() if c not in languages})
    if unknown:
        raise GenerationError(f"locale-to-translator.json: codes the translator does not accept: {unknown}")


def check_shadows(shadows):
    if list(shadows) != [str(i) for i in range(13)]:
        raise GenerationError("shadows.json: levels must be \"0\" to \"12\"")
    for level, layers in shadows.items():
        if len(layers) != 3 or any(list(l) != ["offset", "blur", "spread", "padding"] for l in layers):
            raise GenerationError(f"shadows.json: level {level}: three layers of offset, blur, spread, padding")


# --- C++ emission -----------------------------------------------------------------

def cpp_string(text):
    out = []
    for ch in text:
        if ch in '"\\':
            out.append("\\" + ch)
        elif ord(ch) < 0x20 or ch == "\x7f":
            out.append("\\%03o" % ord(ch))
        else:
            out.append(ch)
    return 's("' + "".join(out) + '")'


def ident(text):
    return re.sub(r"[^A-Za-z0-9]", "_", text)


class Emitter:
    """Hoists every array and object into a named constexpr array, one element per line."""

    def __init__(self):
        self.definitions = []
        self.used = set()

    def name(self, base):
        name, n = base, 2
        while name in self.used:
            name, n = f"{base}_{n}", n + 1
        self.used.add(name)
        return name

    def value(self, v, base):
        if isinstance(v, bool) or v is None:
            raise GenerationError("booleans and null do not occur in the catalogue")
        if isinstance(v, str):
            return cpp_string(v)
        if isinstance(v, int):
            return f"i({v})" if v < 2**63 else f"u({v}u)"
        if isinstance(v, float):
            return f"d({v!r})"
        if not v:
            raise GenerationError(f"empty container at {base}")
        name = self.name(base)
        if isinstance(v, list):
            items = [self.value(e, f"{base}_{k}") for k, e in enumerate(v)]
            self.definitions.append(f"constexpr StaticValue {name}[] = {{\n" +
                                    "".join(f"    {e},\n" for e in items) + "};\n")
            return f"arr({name})"
        items = [(cpp_string(k), self.value(e, f"{base}_{ident(k)}")) for k, e in v.items()]
        self.definitions.append(f"constexpr StaticMember {name}[] = {{\n" +
                                "".join(f"    {{{k}, {e}}},\n" for k, e in items) + "};\n")
        return f"obj({name})"


def source(header_lines, documents, extra=""):
    """documents: list of (public name, JSON value, static_asserts)."""
    em = Emitter()
    tops = []
    for public, value, asserts in documents:
        expr = em.value(value, public + "Data")
        tops.append((public, expr, asserts))
    lines = ["// Generated by tools/catalogue/generate.py: do not edit; change the inputs and run it again."]
    lines += ["// " + h for h in header_lines]
    lines += ['#include "documents.h"', "", "namespace tolka::catalogue {", "namespace {", "using namespace build;", ""]
    for d in em.definitions:
        lines.append(d)
    for public, expr, asserts in tops:
        lines.append(f"constexpr StaticValue {public}Value = {expr};")
        for a in asserts:
            lines.append(f"static_assert({a.format(v=public + 'Value')});")
    lines.append(extra + "} // namespace")
    lines.append("")
    for public, _, _ in tops:
        lines.append(f"constinit const StaticValue {public} = {public}Value;")
    lines.append("")
    lines.append("} // namespace tolka::catalogue")
    return "\n".join(lines) + "\n"


def generate(icu):
    voices = load("voices.json")
    codes = check_voices(voices)
    labels = load("labels.json")
    check_labels(labels)
    overrides = load("locale-names.json")
    about = load("about.json")
    shadows = load("shadows.json")
    check_shadows(shadows)
    translator_codes = load("locale-to-translator.json")
    translator_languages = load("translator-languages.json")["codes"]
    check_translator(translator_codes, translator_languages, codes)
    if len(about["contributorLines"]) != 9 or any(" : " not in l for l in about["contributorLines"]):
        raise GenerationError("about.json: nine contributor lines \"name : role\"")
    if list(about["storeLinks"]) != ["android", "macos", "ios"]:
        raise GenerationError("about.json: store links android, macos, ios")

    names = locale_names(icu, voices, overrides)
    check_names(names, codes)
    en = names["en"]
    if [n for n, _ in en] != sorted((voices[c]["LocaleName"] for c in codes), key=lambda s: s.encode()):
        raise GenerationError("the en list must be the voice catalogue's LocaleName values")

    icu_note = f"the CLDR data of ICU {icu.ICU_VERSION.split('.')[0]}"
    files = {}
    files["languagenames.cpp"] = source(
        ["Locale display names per interface language, from catalogue/data/voices.json (\"en\"),",
         f"catalogue/data/locale-names.json and {icu_note}."],
        [("languageNames", {lang: dict(pairs) for lang, pairs in names.items()},
          ["{v}.size() == 79", "{v}[\"en\"].size() == 148"])])
    files["labels.cpp"] = source(
        ["Interface labels, from catalogue/data/labels.json."],
        [("baseLabels", labels, ["{v}.size() == 79", f"{{v}}[\"de\"].size() == {LABEL_COUNT}"])],
        extra="constexpr StaticValue rawLabelsValue = baseLabelsValue[\"en\"];\n"
              "static_assert(rawLabelsValue[\"0\"].text() == \"About Tolka#\");\n")
    files["labels.cpp"] = files["labels.cpp"].replace(
        "constinit const StaticValue baseLabels = baseLabelsValue;",
        "constinit const StaticValue baseLabels = baseLabelsValue;\n"
        "constinit const StaticValue rawLabels = rawLabelsValue;")
    files["voices.cpp"] = source(
        ["Neural voices of the 148 supported locales, from catalogue/data/voices.json."],
        [("voiceCatalogue", voices, ["{v}.size() == 148", "{v}[\"en-US\"][\"voices\"].size() == 26"])])
    files["about.cpp"] = source(
        ["Store links and contributor lines, from catalogue/data/about.json."],
        [("storeLinks", about["storeLinks"], ["{v}.size() == 3"]),
         ("contributorLines", about["contributorLines"], ["{v}.size() == 9"])])
    files["shadows.cpp"] = source(
        ["Shadow levels, from catalogue/data/shadows.json."],
        [("shadowLevels", shadows, ["{v}.size() == 13", "{v}[\"12\"].at(2)[\"padding\"].toDouble() == 59.5"])])
    files["translator.cpp"] = source(
        ["Translator language codes, from catalogue/data/locale-to-translator.json and",
         "catalogue/data/translator-languages.json, and the Chinese codes of each script."],
        [("translatorCodes", translator_codes, ["{v}.size() == 148", "{v}[\"fr-FR\"].text() == \"fr\""]),
         ("translatorLanguages", translator_languages,
          [f"{{v}}.size() == {len(translator_languages)}", "{v}[\"zh-Hans\"].size() > 0"]),
         ("chineseScripts", {"zh-Hans": ZH_HANS, "zh-Hant": ZH_HANT},
          ["{v}.size() == 2", f"{{v}}[\"zh-Hant\"].size() == {len(ZH_HANT)}"])])
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="compare with the committed files, write nothing")
    parser.add_argument("--out", type=pathlib.Path, default=OUT, help="output folder (default catalogue/generated)")
    args = parser.parse_args()

    icu = icu_module()
    if icu is None:
        print("generate.py: PyICU (python3-icu) is not installed", file=sys.stderr)
        return SKIP if args.check else 1
    if icu.ICU_VERSION.split(".")[0] != ICU_MAJOR:
        print(f"generate.py: ICU {icu.ICU_VERSION} found; the committed output is made with ICU {ICU_MAJOR}",
              file=sys.stderr)
        if args.check:
            return SKIP
    try:
        files = generate(icu)
    except GenerationError as e:
        print(f"generate.py: {e}", file=sys.stderr)
        return 1

    if args.check:
        differ = False
        for name, text in files.items():
            path = args.out / name
            old = path.read_text(encoding="utf-8") if path.exists() else ""
            if old != text:
                differ = True
                sys.stdout.writelines(difflib.unified_diff(
                    old.splitlines(True), text.splitlines(True), f"committed/{name}", f"regenerated/{name}", n=1))
        extra = sorted(p.name for p in args.out.glob("*.cpp") if p.name not in files)
        if extra:
            differ = True
            print(f"generate.py: stale generated files: {extra}")
        if differ:
            print("generate.py: catalogue/generated/ is out of date; run tools/catalogue/generate.py", file=sys.stderr)
            return 1
        print(f"generate.py: catalogue/generated/ is up to date ({len(files)} files)")
        return 0

    args.out.mkdir(parents=True, exist_ok=True)
    for name, text in files.items():
        path = args.out / name
        if not path.exists() or path.read_text(encoding="utf-8") != text:
            path.write_text(text, encoding="utf-8")
            print(f"wrote {path.relative_to(ROOT) if path.is_relative_to(ROOT) else path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())

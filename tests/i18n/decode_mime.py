#!/usr/bin/env python3
"""Decodes what libquarni18n encodes (the lines that mime_cases prints) with
Python's standard email package, and compares the result with the original
text. It also checks the line shapes: encoded words of at most 75 bytes
separated by CR LF TAB, each decodable on its own, and body lines of at most
76 characters."""
import base64
import email.header
import quopri
import re
import subprocess
import sys

WORD = re.compile(rb"^=\?([^?]+)\?([QB])\?([^?]*)\?=$")


def decode_header(encoded, charset):
    if not encoded:
        return ""
    words = encoded.split(b"\r\n\t")
    text = ""
    for number, word in enumerate(words):
        line = word if number == 0 else b"\t" + word
        if len(line) > 75:
            raise ValueError(f"header line of {len(line)} bytes: {line!r}")
        match = WORD.match(word)
        if not match:
            raise ValueError(f"not one encoded word: {word!r}")
        if match.group(1).decode() != charset:
            raise ValueError(f"word in {match.group(1)!r}, expected {charset}")
        # Each word on its own, so that a character split between words shows.
        [(data, word_charset)] = email.header.decode_header(word.decode("ascii"))
        text += data.decode(word_charset)
    return text


def check_body_lines(encoded):
    for line in encoded.split(b"\r\n"):
        if len(line) > 76:
            raise ValueError(f"body line of {len(line)} characters: {line[:80]!r}...")
        if b"\r" in line or b"\n" in line:
            raise ValueError(f"bare line break in {line!r}")


def decode(mode, charset, original, encoded):
    if mode == "fail":
        return encoded.decode("utf-8") if encoded == original else None
    if mode in ("hq", "hb", "hx"):
        words = encoded.split(b"\r\n\t")
        letter = {"hq": b"Q", "hb": b"B"}.get(mode)
        if letter and encoded and any(WORD.match(w) and WORD.match(w).group(2) != letter for w in words):
            raise ValueError(f"wrong encoding letter in {encoded!r}")
        return decode_header(encoded, charset)
    check_body_lines(encoded)
    if mode == "bq":
        return quopri.decodestring(encoded).decode(charset)
    return base64.b64decode(encoded.replace(b"\r\n", b""), validate=True).decode(charset)


def main():
    cases = subprocess.run([sys.argv[1]], check=True, capture_output=True).stdout.splitlines()
    failures = 0
    for line in cases:
        mode, charset, original_hex, encoded_hex = line.decode().split(" ")
        original = b"" if original_hex == "-" else bytes.fromhex(original_hex)
        encoded = b"" if encoded_hex == "-" else bytes.fromhex(encoded_hex)
        try:
            decoded = decode(mode, charset, original, encoded)
            ok = decoded == original.decode("utf-8")
            problem = f"decoded {decoded!r}"
        except (ValueError, UnicodeDecodeError, LookupError) as error:
            ok, problem = False, str(error)
        if not ok:
            failures += 1
            if failures <= 20:
                print(f"FAIL {mode} {charset}: {original!r} -> {encoded!r}: {problem}")
    print(f"{len(cases) - failures} of {len(cases)} cases decode to their original text")
    return 1 if failures or not cases else 0


if __name__ == "__main__":
    sys.exit(main())

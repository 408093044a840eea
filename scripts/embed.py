#!/usr/bin/env python3
"""Writes a file as a C++ byte block (a length and that many bytes).

Usage: embed.py text|binary INPUT SYMBOL OUTPUT.cpp

A "text" input is UTF-8 with LF line ends, stored as GBK with CR LF on every line and
without a byte-order mark; it must not contain a zero byte.
"""
import sys


def text_to_stored(data: bytes) -> bytes:
    text = data.decode("utf-8").lstrip("\ufeff").replace("\r\n", "\n")
    if not text.endswith("\n"):
        text += "\n"
    stored = text.replace("\n", "\r\n").encode("gbk")
    if b"\0" in stored:
        raise SystemExit("a stored text must not contain a zero byte")
    return stored


def main() -> None:
    mode, src, symbol, out = sys.argv[1:5]
    with open(src, "rb") as f:
        data = f.read()
    if mode == "text":
        data = text_to_stored(data)
    rows = ",\n".join(
        ",".join(str(b) for b in data[i:i + 24]) for i in range(0, len(data), 24))
    with open(out, "w", encoding="ascii") as f:
        f.write('#include "services/bytes.h"\n\n')
        f.write(f"static const unsigned char kData[] = {{\n{rows or '0'}\n}};\n")
        f.write(f"extern const ByteBlock {symbol} = {{kData, {len(data)}u}};\n")


if __name__ == "__main__":
    main()

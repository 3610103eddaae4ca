#!/usr/bin/env python3
"""Writes examples/menu.lang, the small string table the README converts."""
import struct
import sys
from pathlib import Path

ENTRIES = [
    (0x0001, "New Game"),
    (0x0002, "Continue"),
    (0x0003, "Load Game"),
    (0x0004, "Options"),
    (0x0005, "Quit"),
    (0x0010, "Volume: %d%%"),
    (0x0011, "Music = on"),
    (0x0012, ""),
    (0x0013, "Press any key\rto start"),
    (0x0020, "Café crème, s'il vous plaît"),
    (0x0021, "Größe ändern"),
    (0x0022, "Año nuevo: ¡Felicidades!"),
    (0x0023, "Ærø, Østerå, Ångström"),
    (0x0030, "Новая игра"),
    (0x0031, "Продолжить"),
    (0x0032, "Выход"),
    (0x0040, "新しいゲーム"),
    (0x0041, "继续游戏"),
    (0x0042, "설정"),
    (0x0050, "Victory! \U0001F3C6"),
    (0x0051, "Well done \U0001F600\U0001F600"),
    (0x000A, "Back"),
    (0x0009, "Next"),
    (0x0100, "The road north is closed until the bridge is mended."),
    (0x00FF, "Tab\there"),
    (0x0200, "Saving... do not turn off the power."),
    (0x0201, "Saved."),
    (0x0202, "Load failed: the file is damaged."),
    (0x0300, "Level %1 of %2"),
    (0x1234, "HP"),
    (0x1235, "MP"),
    (0x4000, "Κρυστάλλινη σπηλιά"),
    (0x8000, "Debug menu"),
    (0xBEEF, "Developer note"),
    (0xFFFE, "Last id before the end marker"),
]


def main() -> None:
    out = bytearray()
    for ident, text in ENTRIES:
        out += struct.pack("<H", ident)
        out += text.encode("utf-16-le")
        out += b"\x00\x00"
    out += b"\xff\xff"
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).parent.parent / "examples/menu.lang"
    target.write_bytes(bytes(out))


if __name__ == "__main__":
    main()

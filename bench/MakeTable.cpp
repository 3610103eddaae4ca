// Writes a realistic string table of a given size, and optionally the dump that decoding it must
// give, for the benchmark. Seeded, so every run with the same arguments writes the same bytes.
//
//   make_table SIZE_MIB SEED TABLE [DUMP]
//   make_table --full-ids SEED TABLE [DUMP]   one entry for each id 0000-FFFE, in order
//   make_table --short SIZE_MIB SEED TABLE [DUMP]   short UI strings only: texts of 3-25 units
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Units = std::vector<std::uint16_t>;

struct Output {
  std::FILE* File = nullptr;
  std::vector<unsigned char> Buffer;
  void Put(const Units& units) {
    for (const std::uint16_t unit : units) {
      Buffer.push_back(static_cast<unsigned char>(unit & 0xFF));
      Buffer.push_back(static_cast<unsigned char>(unit >> 8));
    }
    if (Buffer.size() >= (1U << 20)) {
      Flush();
    }
  }
  void Flush() {
    if (File != nullptr && std::fwrite(Buffer.data(), 1, Buffer.size(), File) != Buffer.size()) {
      std::perror("make_table: write");
      std::exit(1);
    }
    Buffer.clear();
  }
};

std::uint16_t Letter(std::mt19937& random, int script) {
  switch (script) {
  case 0: // ASCII words
    return random() % 6 == 0 ? ' ' : static_cast<std::uint16_t>('a' + random() % 26);
  case 1: // accented Latin
    return random() % 3 == 0 ? static_cast<std::uint16_t>(0x00E0 + random() % 0x1F)
                             : static_cast<std::uint16_t>('a' + random() % 26);
  case 2: // Cyrillic
    return random() % 7 == 0 ? ' ' : static_cast<std::uint16_t>(0x0430 + random() % 32);
  default: // CJK
    return static_cast<std::uint16_t>(0x4E00 + random() % 0x5000);
  }
}

// Only short strings (menu items, labels, names) when set.
bool ShortOnly = false;

Units Text(std::mt19937& random) {
  const unsigned kind = random() % 100;
  std::size_t length = 0;
  if (ShortOnly) {
    length = 3 + random() % 23;
  } else if (kind < 3) {
    length = 0; // an empty entry
  } else if (kind < 88) {
    length = 3 + random() % 38; // menu labels, buttons, short messages
  } else {
    length = 100 + random() % 700; // dialogue
  }
  const int script = static_cast<int>(random() % 4);
  Units text;
  while (text.size() < length) {
    const unsigned extra = random() % 200;
    if (extra == 0) {
      text.push_back(0xD83D); // an emoji: a surrogate pair
      text.push_back(static_cast<std::uint16_t>(0xDE00 + random() % 0x40));
    } else if (extra == 1) {
      text.push_back('=');
    } else if (extra == 2) {
      text.push_back(0x000D);
    } else {
      text.push_back(Letter(random, script));
    }
  }
  return text;
}

} // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--short") {
    ShortOnly = true;
    ++argv;
    --argc;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: make_table SIZE_MIB|--full-ids SEED TABLE [DUMP]\n");
    return 2;
  }
  const bool fullIds = std::string(argv[1]) == "--full-ids";
  const std::uint64_t targetBytes =
      fullIds ? UINT64_MAX : std::strtoull(argv[1], nullptr, 10) << 20;
  std::mt19937 random(static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)));
  Output table;
  Output dump;
  table.File = std::fopen(argv[3], "wb");
  dump.File = argc > 4 ? std::fopen(argv[4], "wb") : nullptr;
  if (table.File == nullptr || (argc > 4 && dump.File == nullptr)) {
    std::perror("make_table: open");
    return 1;
  }
  dump.Put({0xFEFF});
  std::uint64_t written = 0;
  std::uint16_t id = 0;
  static constexpr std::uint16_t digits[] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                             '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  for (std::uint32_t entries = 0; written + 2 < targetBytes; ++entries) {
    if (fullIds) {
      if (entries == 0xFFFF) {
        break;
      }
      id = static_cast<std::uint16_t>(entries);
    } else {
      id = static_cast<std::uint16_t>(id + 1 + (random() % 10 == 0 ? random() % 40 : 0));
      if (id >= 0xFFFF) {
        id = static_cast<std::uint16_t>(random() % 16);
      }
    }
    const Units text = Text(random);
    Units entry{id};
    entry.insert(entry.end(), text.begin(), text.end());
    entry.push_back(0);
    table.Put(entry);
    written += entry.size() * 2;
    if (dump.File != nullptr) {
      Units line{digits[id >> 12], digits[(id >> 8) & 15], digits[(id >> 4) & 15], digits[id & 15],
                 '='};
      line.insert(line.end(), text.begin(), text.end());
      line.push_back(0x000A);
      dump.Put(line);
    }
  }
  table.Put({0xFFFF});
  table.Flush();
  dump.Flush();
  const bool closed =
      std::fclose(table.File) == 0 && (dump.File == nullptr || std::fclose(dump.File) == 0);
  if (!closed) {
    std::perror("make_table: close");
    return 1;
  }
  return 0;
}

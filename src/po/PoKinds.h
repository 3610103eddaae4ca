// Everything vorlanth_po can say about a PO file or a pairing, in one table (PoKinds.cpp).
#pragma once

#include "console/Reporter.h"

#include <cstdint>

enum class PoKind : std::uint8_t {
  // Reading a PO file: each refuses it.
  NotUtf8,
  InvalidUtf8,
  Syntax,
  DuplicateKey,
  PluralEntry,
  NulInString,
  WithoutKey,
  // Importing
  StaleMsgid,
  KeyNotInOriginal,
  PlaceholdersDiffer,
  LineBreaksDiffer,
  RepeatsDiffer,
  // Exporting a pair of tables
  KeyNotInOriginalTable,
  TranslationNotCarried,
  LeftOut,
  Count
};

const DiagnosticKind& Describe(PoKind kind);

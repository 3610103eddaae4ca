#include "po/PoKinds.h"

#include <array>

namespace {

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

const std::array<DiagnosticKind, static_cast<std::size_t>(PoKind::Count)> Kinds = {{
    {E, "not-utf8",
     "the header declares the charset {0}: only UTF-8 is read; convert the file "
     "with msgconv --to-code=UTF-8"},
    {E, "invalid-utf8", "invalid UTF-8"},
    {E, "syntax", "{0}"},
    {E, "duplicate-key", "the key {0} with this msgid comes twice (the first at line {1})"},
    {E, "plural-entry", "a plural entry (msgid_plural): a table entry has one text"},
    {E, "nul-in-string", "a NUL in a string: the table would end the text there"},
    {W, "without-key",
     "the entry with the msgid {0} has no key (no msgctxt, and no \"#:\" reference that names "
     "one): its translation cannot be placed"},
    {W, "stale-msgid",
     "the translation of {0} is for the text {1}, where the table has {2}: the PO was made from "
     "another version of the table (run msgmerge with a new template); the original text is kept"},
    {W, "key-not-in-original", "the original table has no entry {0}"},
    {W, "placeholders-differ",
     "the translation of {0} has placeholders {1} where the original has {2}"},
    {W, "line-breaks-differ",
     "the translation of {0} starts or ends with a line break where the original does not, or "
     "the other way round"},
    {W, "repeats-differ",
     "{0} repeats the id and text of {1} with another translation: an update of the table that "
     "adds or removes one of them can swap the two"},
    {W, "key-not-in-original-table",
     "the translated table's entry {0} has no entry in the original: it is left out"},
    {W, "translation-not-carried",
     "the translated text of {0} cannot be carried in a PO file (it is empty, or holds a lone "
     "surrogate or U+0004): it is written untranslated"},
    {W, "left-out",
     "the text of {0} cannot travel in PO (it is empty, or holds a lone surrogate or U+0004): it "
     "is left out, and an import keeps the original text"},
}};

} // namespace

const DiagnosticKind& Describe(PoKind kind) {
  return Kinds.at(static_cast<std::size_t>(kind));
}

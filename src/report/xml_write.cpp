#include "report/xml_write.h"

#include <cstdint>

#include "report/escape.h"

namespace {

// The entity of a markup byte, and in an attribute the character reference
// of tab, newline and carriage return; U+FFFD for every other control byte,
// which XML 1.0 cannot carry; null for a byte that is copied.
const char* xml_ascii(unsigned char c, bool attribute) {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    case '\'': return "&apos;";
    case '\t': return attribute ? "&#9;" : nullptr;
    case '\n': return attribute ? "&#10;" : nullptr;
    case '\r': return attribute ? "&#13;" : nullptr;
    default: return c < 0x20 ? kReplacement : nullptr;
  }
}

const char* xml_text_ascii(unsigned char c, char*) { return xml_ascii(c, false); }

const char* xml_attribute_ascii(unsigned char c, char*) { return xml_ascii(c, true); }

// U+FFFE and U+FFFF: well-formed UTF-8, but not XML characters.
bool xml_noncharacter(const unsigned char* p, size_t n) {
  return n == 3 && p[0] == 0xEF && p[1] == 0xBF && (p[2] == 0xBE || p[2] == 0xBF);
}

constexpr EscapeRules kXmlText = {xml_text_ascii, xml_noncharacter, kReplacement};
constexpr EscapeRules kXmlAttribute = {xml_attribute_ascii, xml_noncharacter, kReplacement};

}  // namespace

void xml_text(FILE* out, StrView v, bool attribute) {
  escape_write(out, v, attribute ? &kXmlAttribute : &kXmlText);
}

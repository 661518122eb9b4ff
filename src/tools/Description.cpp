#include "tools/Description.h"

#include <cstdio>

#include "tools/NativeTypes.h"
#include "tools/TextLines.h"

namespace vader::tools {
namespace {

// Bits the description names; the rest travel as flags=0x....
constexpr uint16_t kNamedFileFlags = kFileVariable | kFileBlankTruncation | kFilePreallocate;
constexpr uint16_t kKeyLevelFlags =
    kKeyDuplicates | kKeyModifiable | kKeyRepeatingDuplicates | kKeyNullAll | kKeyNullAny;
constexpr uint16_t kNamedSegmentFlags = kKeyLevelFlags | kKeyBinary | kKeyAcs | kKeyDescending |
                                        kKeyExtendedType | kKeyNoCase | kKeyNamedAcs;

std::string Hex(const Bytes& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

Bytes FromHex(TextLine& line, const std::string& text, size_t size) {
  if (text.size() != size * 2) line.Fail("expected " + std::to_string(size * 2) + " hex digits");
  Bytes out(size, '\0');
  for (size_t i = 0; i < size; ++i)
    out[i] = static_cast<char>(line.ParseNumber("hex byte", "0x" + text.substr(2 * i, 2), 0, 255));
  return out;
}

std::string HexFlags(uint16_t flags) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%04x", flags);
  return buf;
}

void ParseFileLine(TextLine& line, FileDef& def) {
  def.recordLength = static_cast<uint16_t>(line.Number("record", 1, 65535, 0));
  if (!line.Has("record")) line.Fail("'file' needs record=<length>");
  def.pageSize = static_cast<uint16_t>(line.Number("page", 512, 65535, 4096));
  def.flags = static_cast<uint16_t>(line.Number("flags", 0, 0xFFFF, 0));
  if (line.Flag("variable")) def.flags |= kFileVariable;
  if (line.Flag("truncate")) def.flags |= kFileBlankTruncation;
  if (line.Has("preallocate")) {
    def.flags |= kFilePreallocate;
    def.preallocate = static_cast<uint16_t>(line.Number("preallocate", 0, 65535));
  }
  def.duplicatePointers = static_cast<uint8_t>(line.Number("duplicate-pointers", 0, 255));
}

uint16_t ParseKeyFlags(TextLine& line) {
  uint16_t flags = 0;
  if (line.Flag("duplicates")) flags |= kKeyDuplicates;
  if (line.Flag("repeating")) flags |= kKeyDuplicates | kKeyRepeatingDuplicates;
  if (line.Flag("modifiable")) flags |= kKeyModifiable;
  const std::string null = line.Text("null", "none");
  if (null == "all")
    flags |= kKeyNullAll;
  else if (null == "any")
    flags |= kKeyNullAny;
  else if (null != "none")
    line.Fail("null must be none, all or any, not '" + null + "'");
  return flags;
}

SegmentDef ParseSegment(TextLine& line, uint16_t keyFlags) {
  SegmentDef s;
  s.position = static_cast<uint16_t>(line.Number("position", 1, 65535, 0));
  s.length = static_cast<uint16_t>(line.Number("length", 1, 255, 0));
  if (!line.Has("position") || !line.Has("length"))
    line.Fail("a segment needs position=<1-based offset> and length=<bytes>");
  s.flags = keyFlags | static_cast<uint16_t>(line.Number("flags", 0, 0xFFFF, 0));
  const std::string typeName = line.Text("type", "string");
  if (line.Flag("legacy")) {
    if (typeName == "binary")
      s.flags |= kKeyBinary;
    else if (typeName != "string")
      line.Fail("a legacy segment is string or binary, not '" + typeName + "'");
  } else {
    const auto type = TypeCode(typeName);
    if (!type) line.Fail("unknown type '" + typeName + "'");
    s.type = *type;
    s.flags |= kKeyExtendedType;
  }
  if (line.Flag("descending")) s.flags |= kKeyDescending;
  if (line.Flag("nocase")) s.flags |= kKeyNoCase;
  if (line.Has("acs")) {
    s.flags |= kKeyAcs;
    s.acs = static_cast<uint8_t>(line.Number("acs", 0, 255));
  }
  if (line.Flag("named-acs")) s.flags |= kKeyAcs | kKeyNamedAcs;
  s.nullValue = static_cast<uint8_t>(line.Number("null-value", 0, 255));
  return s;
}

Bytes ParseAcs(TextLine& line) {
  if (line.Has("raw")) return FromHex(line, line.Text("raw"), kAcsBlockSize);
  const std::string name = line.Text("name");
  if (name.empty() || name.size() > 8) line.Fail("an acs needs name=<1 to 8 characters>");
  if (!line.Has("table")) {
    if (name != "UPPER") line.Fail("acs " + name + " needs table=<512 hex digits>");
    return UpperAcs();
  }
  Bytes block(kAcsBlockSize, '\0');
  block[0] = static_cast<char>(0xAC);
  std::string padded = name;
  padded.resize(8, ' ');
  block.replace(1, 8, padded);
  block.replace(9, 256, FromHex(line, line.Text("table"), 256));
  return block;
}

void DescribeKey(const KeyDef& key, std::string& out) {
  const uint16_t flags = key.segments.front().flags;
  out += "key number=" + std::to_string(key.number);
  if (flags & kKeyRepeatingDuplicates)
    out += " repeating";
  else if (flags & kKeyDuplicates)
    out += " duplicates";
  if (flags & kKeyModifiable) out += " modifiable";
  if (flags & kKeyNullAll) out += " null=all";
  if (flags & kKeyNullAny) out += " null=any";
  out += "\n";
  for (const SegmentDef& s : key.segments) {
    out += "segment position=" + std::to_string(s.position) + " length=" + std::to_string(s.length);
    if (s.flags & kKeyExtendedType)
      out += " type=" + TypeName(s.type);
    else
      out += std::string(" type=") + (s.flags & kKeyBinary ? "binary" : "string") + " legacy";
    if (s.flags & kKeyDescending) out += " descending";
    if ((s.flags & kKeyNoCase) && !(s.flags & kKeyAcs)) out += " nocase";
    if (s.flags & kKeyAcs) out += " acs=" + std::to_string(s.acs);
    if ((s.flags & kKeyNamedAcs) && (s.flags & kKeyAcs)) out += " named-acs";
    if (s.nullValue) out += " null-value=" + std::to_string(s.nullValue);
    // Bits with no name of their own, and nocase/named-acs outside their usual pairing.
    uint16_t rest = s.flags & ~kNamedSegmentFlags;
    if ((s.flags & kKeyNoCase) && (s.flags & kKeyAcs)) rest |= kKeyNoCase;
    if ((s.flags & kKeyNamedAcs) && !(s.flags & kKeyAcs)) rest |= kKeyNamedAcs;
    if (rest) out += " flags=" + HexFlags(rest);
    out += "\n";
  }
}

}  // namespace

namespace {

FileDef Parse(const std::string& text, bool keysOnly) {
  FileDef def;
  bool haveFile = keysOnly;
  uint16_t keyFlags = 0;
  for (TextLine& line : ParseLines(text)) {
    const std::string& word = line.Word();
    if (word == "file") {
      if (haveFile) line.Fail(keysOnly ? "only keys are expected" : "'file' is given twice");
      ParseFileLine(line, def);
      haveFile = true;
    } else if (word == "key") {
      if (!haveFile) line.Fail("'key' before 'file'");
      KeyDef key;
      key.number = static_cast<int>(line.Number("number", 0, 118, def.keys.size()));
      for (const KeyDef& k : def.keys)
        if (k.number == key.number) line.Fail("key " + std::to_string(key.number) + " twice");
      keyFlags = ParseKeyFlags(line);
      def.keys.push_back(key);
    } else if (word == "segment") {
      if (def.keys.empty()) line.Fail("'segment' before any 'key'");
      def.keys.back().segments.push_back(ParseSegment(line, keyFlags));
    } else if (word == "acs") {
      def.acs.push_back(ParseAcs(line));
    } else {
      line.Fail("unknown item '" + word + "' (expected file, key, segment or acs)");
    }
    line.Finish();
  }
  if (!haveFile) throw ParseError(0, "the description has no 'file' line");
  if (def.keys.empty() && keysOnly) throw ParseError(0, "the description has no 'key' line");
  for (size_t k = 0; k < def.keys.size(); ++k) {
    if (def.keys[k].segments.empty())
      throw ParseError(0, "key " + std::to_string(def.keys[k].number) + " has no segment");
    if (def.keys[k].number != static_cast<int>(k)) def.flags |= kFileNumberedKeys;
  }
  return def;
}

}  // namespace

FileDef ParseDescription(const std::string& text) { return Parse(text, false); }
FileDef ParseKeyDescription(const std::string& text) { return Parse(text, true); }

std::string Describe(const FileDef& def) {
  std::string out =
      "file record=" + std::to_string(def.recordLength) + " page=" + std::to_string(def.pageSize);
  if (def.flags & kFileVariable) out += " variable";
  if (def.flags & kFileBlankTruncation) out += " truncate";
  if (def.flags & kFilePreallocate) out += " preallocate=" + std::to_string(def.preallocate);
  if (def.duplicatePointers) out += " duplicate-pointers=" + std::to_string(def.duplicatePointers);
  const uint16_t rest = def.flags & ~kNamedFileFlags & ~kFileNumberedKeys;
  if (rest) out += " flags=" + HexFlags(rest);
  out += "\n";
  for (const KeyDef& k : def.keys) DescribeKey(k, out);
  for (const Bytes& a : def.acs) {
    if (static_cast<uint8_t>(a[0]) == 0xAC) {
      std::string name = a.substr(1, 8);
      name.erase(name.find_last_not_of(' ') + 1);
      out += "acs name=" + QuoteValue(name) + " table=" + Hex(a.substr(9, 256)) + "\n";
    } else {
      out += "acs raw=" + Hex(a) + "\n";
    }
  }
  return out;
}

}  // namespace vader::tools

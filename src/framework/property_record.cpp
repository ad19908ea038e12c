#include "framework/property_record.h"

#include <limits>
#include <utility>

namespace fw {
namespace {

struct TypedName {
  std::string_view name;
  PropertyType type;
};

constexpr PropertyType kInteger = PropertyType::Integer;
constexpr PropertyType kBoolean = PropertyType::Boolean;
constexpr PropertyType kColour = PropertyType::Colour;
constexpr PropertyType kString = PropertyType::String;

// Every name a record may hold. The type follows from the name alone, so a
// name outside this table leaves no way to know how long its value is.
constexpr TypedName kTypeTable[] = {
    {"Placement", kInteger},
    {"Width", kInteger},
    {"Height", kInteger},
    {"MinWidth", kInteger},
    {"MinHeight", kInteger},
    {"MaxWidth", kInteger},
    {"MaxHeight", kInteger},
    {"Frame", kInteger},
    {"MacProcID", kInteger},
    {"Index", kInteger},
    {"Left", kInteger},
    {"Top", kInteger},
    {"TabPanelIndex", kInteger},
    {"TabIndex", kInteger},
    {"TextAlign", kInteger},
    {"State", kInteger},
    {"ListIndex", kInteger},
    {"LimitText", kInteger},
    {"Alignment", kInteger},
    {"ButtonStyle", kInteger},

    {"Composite", kBoolean},
    {"HasBackColor", kBoolean},
    {"Visible", kBoolean},
    {"FullScreen", kBoolean},
    {"MenuBarVisible", kBoolean},
    {"CloseButton", kBoolean},
    {"Resizeable", kBoolean},
    {"LiveResize", kBoolean},
    {"MaximizeButton", kBoolean},
    {"MinimizeButton", kBoolean},
    {"LockLeft", kBoolean},
    {"LockTop", kBoolean},
    {"LockRight", kBoolean},
    {"LockBottom", kBoolean},
    {"Multiline", kBoolean},
    {"Enabled", kBoolean},
    {"Selectable", kBoolean},
    {"Transparent", kBoolean},
    {"AutoDeactivate", kBoolean},
    {"Bold", kBoolean},
    {"Italic", kBoolean},
    {"Underline", kBoolean},
    {"TabStop", kBoolean},
    {"Value", kBoolean},
    {"Border", kBoolean},
    {"Password", kBoolean},
    {"UseFocusRing", kBoolean},
    {"ReadOnly", kBoolean},
    {"AcceptTabs", kBoolean},
    {"AutomaticallyCheckSpelling", kBoolean},
    {"Default", kBoolean},
    {"Cancel", kBoolean},

    {"BackColor", kColour},
    {"TextColor", kColour},

    {"Title", kString},
    {"Name", kString},
    {"Text", kString},
    {"Caption", kString},
    {"HelpTag", kString},
    {"TextFont", kString},
    {"DataSource", kString},
    {"DataField", kString},
    {"InitialParent", kString},
    {"InitialValue", kString},
    {"Format", kString},
    {"CueText", kString},
    {"Mask", kString},
};

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

const char* TypeName(PropertyType type) {
  switch (type) {
    case PropertyType::Integer:
      return "an integer";
    case PropertyType::Boolean:
      return "a boolean";
    case PropertyType::Colour:
      return "a colour";
    case PropertyType::String:
      return "a string";
  }
  return "?";
}

[[noreturn]] void Fail(size_t offset, const std::string& fault) {
  throw PropertyRecordError("Property record: " + fault + " at offset " + std::to_string(offset));
}

void PutUint32(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>((v >> 24) & 0xFF));
  out.push_back(static_cast<char>((v >> 16) & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
  out.push_back(static_cast<char>(v & 0xFF));
}

uint32_t GetUint32(std::string_view in, size_t at) {
  return (uint32_t{static_cast<uint8_t>(in[at])} << 24) | (uint32_t{static_cast<uint8_t>(in[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(in[at + 2])} << 8) | uint32_t{static_cast<uint8_t>(in[at + 3])};
}

void EncodeEntry(std::string& out, const PropertyEntry& entry) {
  if (entry.name.empty()) throw PropertyRecordError("Property record: empty property name");
  for (char c : entry.name) {
    if (!IsAsciiLetter(c)) {
      throw PropertyRecordError("Property record: name \"" + entry.name + "\" holds a character other than a letter");
    }
  }
  CheckPropertyValue(entry.name, entry.value);

  out += entry.name;
  out.push_back(' ');
  switch (*PropertyTypeOf(entry.name)) {
    case PropertyType::Integer:
      PutUint32(out, static_cast<uint32_t>(std::get<int32_t>(entry.value)));
      break;
    case PropertyType::Boolean:
      out.push_back(std::get<bool>(entry.value) ? '\1' : '\0');
      break;
    case PropertyType::Colour: {
      const Colour& c = std::get<Colour>(entry.value);
      out.push_back(static_cast<char>(c.red));
      out.push_back(static_cast<char>(c.green));
      out.push_back(static_cast<char>(c.blue));
      break;
    }
    case PropertyType::String: {
      const std::string& s = std::get<std::string>(entry.value);
      if (s.size() > std::numeric_limits<uint32_t>::max()) {
        throw PropertyRecordError("Property record: the value of \"" + entry.name + "\" is too long");
      }
      PutUint32(out, static_cast<uint32_t>(s.size()));
      out += s;
      break;
    }
  }
}

}  // namespace

std::optional<PropertyType> PropertyTypeOf(std::string_view name) {
  for (const TypedName& entry : kTypeTable) {
    if (entry.name == name) return entry.type;
  }
  return std::nullopt;
}

void CheckPropertyValue(const std::string& name, const PropertyValue& value) {
  const std::optional<PropertyType> type = PropertyTypeOf(name);
  if (!type) throw PropertyRecordError("Property record: unknown property \"" + name + "\"");
  // PropertyType lists the types in the order of PropertyValue's alternatives.
  if (value.index() != static_cast<size_t>(*type)) {
    throw PropertyRecordError("Property record: \"" + name + "\" takes " + TypeName(*type));
  }
}

std::string EncodeRecord(std::initializer_list<PropertyEntry> entries) {
  return EncodeRecord(std::span<const PropertyEntry>(entries.begin(), entries.size()));
}

std::string EncodeRecord(std::span<const PropertyEntry> entries) {
  std::string out;
  for (const PropertyEntry& entry : entries) EncodeEntry(out, entry);
  return out;
}

std::vector<PropertyEntry> DecodeRecord(std::string_view record) {
  std::vector<PropertyEntry> entries;
  size_t pos = 0;
  const size_t end = record.size();
  // Every check compares against what is left (end - pos), never pos + n
  // against end, so a huge string length cannot wrap around.
  while (pos < end) {
    const size_t nameStart = pos;
    while (pos < end && record[pos] != ' ') {
      if (!IsAsciiLetter(record[pos])) Fail(pos, "a property name holds a byte other than a letter");
      ++pos;
    }
    if (pos == end) Fail(nameStart, "a property name runs to the end of the record without its blank");
    const std::string_view name = record.substr(nameStart, pos - nameStart);
    if (name.empty()) Fail(nameStart, "a property name is empty");
    const std::optional<PropertyType> type = PropertyTypeOf(name);
    if (!type) Fail(nameStart, "unknown property \"" + std::string(name) + "\"");
    ++pos;  // the blank

    const std::string quoted = "\"" + std::string(name) + "\"";
    PropertyEntry entry{std::string(name), int32_t{0}};
    switch (*type) {
      case PropertyType::Integer:
        if (end - pos < 4) Fail(pos, "the integer value of " + quoted + " runs past the end");
        entry.value = static_cast<int32_t>(GetUint32(record, pos));
        pos += 4;
        break;
      case PropertyType::Boolean: {
        if (end - pos < 1) Fail(pos, "the boolean value of " + quoted + " runs past the end");
        const auto byte = static_cast<uint8_t>(record[pos]);
        if (byte > 1) Fail(pos, "the boolean value of " + quoted + " is " + std::to_string(byte) + ", not 0 or 1");
        entry.value = byte == 1;
        pos += 1;
        break;
      }
      case PropertyType::Colour:
        if (end - pos < 3) Fail(pos, "the colour value of " + quoted + " runs past the end");
        entry.value = fw::Colour{static_cast<uint8_t>(record[pos]), static_cast<uint8_t>(record[pos + 1]),
                                 static_cast<uint8_t>(record[pos + 2])};
        pos += 3;
        break;
      case PropertyType::String: {
        if (end - pos < 4) Fail(pos, "the string length of " + quoted + " runs past the end");
        const uint32_t length = GetUint32(record, pos);
        pos += 4;
        if (end - pos < length) {
          Fail(pos, "the string value of " + quoted + " (" + std::to_string(length) + " bytes) runs past the end");
        }
        entry.value = std::string(record.substr(pos, length));
        pos += length;
        break;
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

void SetProperties(PropertyTarget& target, std::string_view record) {
  for (const PropertyEntry& entry : DecodeRecord(record)) target.SetProperty(entry.name, entry.value);
}

}  // namespace fw

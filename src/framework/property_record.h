#pragma once
// Property records: the stored starting state of a window or control.
//
// A record is a plain run of entries with no count and no terminator. An entry
// is the property's name (ASCII letters), one blank (0x20), then the value,
// whose form follows from the name alone:
//   integer  4 bytes, big-endian two's complement
//   boolean  1 byte, 0 or 1
//   colour   3 bytes: red, green, blue
//   string   4-byte big-endian length n, then n bytes of UTF-8
// Records are written in the source as lists of entries and encoded once.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace fw {

struct Colour {
  uint8_t red = 0, green = 0, blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

enum class PropertyType { Integer, Boolean, Colour, String };

using PropertyValue = std::variant<int32_t, bool, Colour, std::string>;

struct PropertyEntry {
  std::string name;
  PropertyValue value;
  friend bool operator==(const PropertyEntry&, const PropertyEntry&) = default;
};

// A record that is not well formed, or an entry whose value doesn't fit its
// name's type.
class PropertyRecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The type of a property name; none for a name outside the type table.
std::optional<PropertyType> PropertyTypeOf(std::string_view name);

// Throws PropertyRecordError for a name outside the type table or a value of
// another type than the name's.
void CheckPropertyValue(const std::string& name, const PropertyValue& value);

// The properties an object holds, by name.
using PropertyMap = std::map<std::string, PropertyValue, std::less<>>;

// The value of `name` in `properties`, or `fallback` when it has none.
template <class T>
T StoredOr(const PropertyMap& properties, std::string_view name, T fallback) {
  const auto found = properties.find(name);
  return found == properties.end() ? fallback : std::get<T>(found->second);
}

// Encodes entries into a record. Throws PropertyRecordError for a name outside
// the type table, a name that isn't all ASCII letters, or a value of the wrong
// type.
std::string EncodeRecord(std::initializer_list<PropertyEntry> entries);
std::string EncodeRecord(std::span<const PropertyEntry> entries);

// Decodes a whole record, never reading past its end. Throws
// PropertyRecordError naming the offset and the fault: a name outside the type
// table, an entry that runs past the end, a boolean byte other than 0 or 1.
std::vector<PropertyEntry> DecodeRecord(std::string_view record);

// Something a record can be applied to: a window or a control.
class PropertyTarget {
 public:
  virtual ~PropertyTarget() = default;
  virtual void SetProperty(const std::string& name, const PropertyValue& value) = 0;
  // The property's current value, or none when the object never had it.
  virtual std::optional<PropertyValue> GetProperty(const std::string& name) const = 0;
};

// Applies `record` to `target`, entry by entry in record order. The whole
// record is decoded first, so a malformed record changes nothing.
void SetProperties(PropertyTarget& target, std::string_view record);

}  // namespace fw

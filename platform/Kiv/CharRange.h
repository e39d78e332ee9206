#pragma once
// The runtime's text codec.
//
// Text form of a record value:
//
//   TypeName(attr1=value1, attr2=value2, ..., attrN=valueN)
//
// Attributes appear in declaration order, separated by ", ". Whitespace
// around the punctuation is accepted when decoding. Values:
//   unsigned numbers   decimal digits ("0", "4096"); out of range for the
//                      attribute's width raises Quill::RangeException
//   node references    "null", or "@" and the node's NodeDirectory id
//                      ("@17"); a reference resolves only while the node lives
//
// Decoding runs over a Kiv::CharRange cursor; each failure raises
// Kiv::CodecError naming what was expected and the offset, and decoding a
// whole string (strepToValue) also rejects text left over after the value.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>

#include "platform/Kiv/Exceptions.h"
#include "platform/Quill/Node.h"
#include "platform/Quill/Ptr.h"

namespace Kiv {

class CharRange {
 public:
  explicit CharRange(std::string_view text) noexcept : text_(text) {}

  std::size_t offset() const noexcept { return pos_; }
  std::string_view rest() const noexcept { return text_.substr(pos_); }
  bool atEnd() const noexcept { return pos_ == text_.size(); }

  void skipSpace() noexcept;
  // Consumes `token` after optional whitespace; false (nothing consumed but
  // the whitespace) when the text does not continue with it.
  bool tryConsume(std::string_view token) noexcept;
  // As tryConsume, but a mismatch is a CodecError.
  void need(std::string_view token);

  // The value's prefix: "TypeName(firstAttr=".
  void needPre(std::string_view typeName, std::string_view firstAttr);

  // A decimal unsigned number of type U.
  template <class U>
  U readUnsigned();

  [[noreturn]] void fail(std::string_view what) const;
  [[noreturn]] void cannotConvert(std::string_view typeName) const;
  // The all-data-consumed check: only whitespace may follow.
  void needAllConsumed();

 private:
  std::uint64_t readUnsignedBits(unsigned bits);

  std::string_view text_;
  std::size_t pos_ = 0;
};

template <class U>
U CharRange::readUnsigned() {
  static_assert(std::is_unsigned_v<U> && !std::is_same_v<U, bool>);
  return static_cast<U>(readUnsignedBits(std::numeric_limits<U>::digits));
}

// ", attr=" and an unsigned number: an attribute inside the value.
template <class U>
U desAttrIntra(CharRange& in, std::string_view attr) {
  in.need(",");
  in.need(attr);
  in.need("=");
  return in.readUnsigned<U>();
}

// ", attr=", an unsigned number and the closing of the value.
template <class U>
U desAttrPost(CharRange& in, std::string_view attr) {
  U value = desAttrIntra<U>(in, attr);
  in.need(")");
  return value;
}

// A node reference: null, or the node that the directory id names.
Quill::Ptr<Quill::Node> sequenceToValueOfPtr(CharRange& in);

// Re-raises a range error met while decoding `attr`, naming the attribute.
[[noreturn]] void rethrowFromDeserializeAttr(const Quill::RangeException& e, std::string_view attr);

// Decodes a whole string into a T (constructed from a CharRange) and requires
// that all text was consumed.
template <class T>
T strepToValue(std::string_view text) {
  CharRange in(text);
  T value(in);
  in.needAllConsumed();
  return value;
}

// Builds the text form of a record value.
class StrepWriter {
 public:
  void begin(std::string_view typeName);
  void attr(std::string_view name, std::uint64_t value);
  void attrNode(std::string_view name, const Quill::Node* node);
  void end();
  const std::string& str() const noexcept { return out_; }

 private:
  void name(std::string_view n);
  std::string out_;
  bool first_ = true;
};

}  // namespace Kiv

namespace KivQuill::Impl {

// The text form of a value whose type writes its attributes to a StrepWriter
// (`void writeStrep(Kiv::StrepWriter&) const`).
template <class T>
std::string valueToStrep(const T& value) {
  Kiv::StrepWriter out;
  value.writeStrep(out);
  return out.str();
}

}  // namespace KivQuill::Impl

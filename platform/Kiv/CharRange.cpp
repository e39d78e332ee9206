#include "platform/Kiv/CharRange.h"

#include <fmt/format.h>

#include <cctype>

#include "platform/Quill/NodeDirectory.h"

namespace Kiv {

namespace {
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

void CharRange::skipSpace() noexcept {
  while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
}

bool CharRange::tryConsume(std::string_view token) noexcept {
  skipSpace();
  if (text_.substr(pos_, token.size()) != token) return false;
  pos_ += token.size();
  return true;
}

void CharRange::need(std::string_view token) {
  if (!tryConsume(token)) fail(fmt::format("expected '{}'", token));
}

void CharRange::needPre(std::string_view typeName, std::string_view firstAttr) {
  auto start = pos_;
  if (!tryConsume(typeName) || !tryConsume("(") || !tryConsume(firstAttr) || !tryConsume("=")) {
    pos_ = start;
    skipSpace();
    fail(fmt::format("expected '{}({}='", typeName, firstAttr));
  }
}

std::uint64_t CharRange::readUnsignedBits(unsigned bits) {
  skipSpace();
  auto start = pos_;
  auto end = start;
  while (end < text_.size() && isDigit(text_[end])) ++end;
  if (end == start) fail("expected an unsigned decimal number");
  std::uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text_.data() + start, text_.data() + end, value);
  const std::uint64_t max = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
  if (ec == std::errc::result_out_of_range || value > max) {
    throw Quill::RangeException(fmt::format("number {} does not fit {} bits unsigned",
                                            text_.substr(start, end - start), bits),
                                start);
  }
  (void)ptr;
  pos_ = end;
  return value;
}

void CharRange::fail(std::string_view what) const {
  auto shown = text_.substr(pos_, 24);
  throw CodecError(fmt::format("{}, found '{}'", what, atEnd() ? "end of text" : shown), pos_);
}

void CharRange::cannotConvert(std::string_view typeName) const {
  throw CodecError(fmt::format("cannot convert the value to {}", typeName), pos_);
}

void CharRange::needAllConsumed() {
  skipSpace();
  if (!atEnd()) fail("expected end of text after the value");
}

Quill::Ptr<Quill::Node> sequenceToValueOfPtr(CharRange& in) {
  if (in.tryConsume("null")) return nullptr;
  in.need("@");
  auto at = in.offset();
  auto id = in.readUnsigned<std::uint64_t>();
  auto* node = Quill::NodeDirectory::find(id);
  if (node == nullptr) throw CodecError(fmt::format("no live node with id {}", id), at);
  return Quill::Ptr<Quill::Node>(node);
}

void rethrowFromDeserializeAttr(const Quill::RangeException& e, std::string_view attr) {
  throw Quill::RangeException(fmt::format("attribute {}: {}", attr, e.what()), e.offset());
}

void StrepWriter::begin(std::string_view typeName) {
  out_.append(typeName).append("(");
  first_ = true;
}

void StrepWriter::name(std::string_view n) {
  if (!first_) out_.append(", ");
  first_ = false;
  out_.append(n).append("=");
}

void StrepWriter::attr(std::string_view n, std::uint64_t value) {
  name(n);
  fmt::format_to(std::back_inserter(out_), "{}", value);
}

void StrepWriter::attrNode(std::string_view n, const Quill::Node* node) {
  name(n);
  if (node == nullptr) {
    out_.append("null");
  } else {
    fmt::format_to(std::back_inserter(out_), "@{}", Quill::NodeDirectory::idOf(*node));
  }
}

void StrepWriter::end() { out_.append(")"); }

}  // namespace Kiv

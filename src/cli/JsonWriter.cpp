#include "cli/JsonWriter.h"

#include <cstdio>

namespace kvm::cli {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(i + k) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static constexpr std::uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < Smallest[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

}  // namespace

std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text, i, length);
      i += length;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

TJsonObject& TJsonObject::Add(const std::string& key, std::int64_t value) {
  members_.emplace_back(key, std::to_string(value));
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, const std::string& value) {
  members_.emplace_back(key, JsonQuote(value));
  return *this;
}

TJsonObject& TJsonObject::Add(const std::string& key, bool value) {
  members_.emplace_back(key, value ? "true" : "false");
  return *this;
}

TJsonObject& TJsonObject::AddNull(const std::string& key) {
  members_.emplace_back(key, "null");
  return *this;
}

std::string TJsonObject::Text(int indent) const {
  if (members_.empty()) return "{}";
  const std::string pad(static_cast<std::size_t>(indent), ' ');
  const std::string closingPad(static_cast<std::size_t>(indent >= 2 ? indent - 2 : 0), ' ');
  std::string out = "{\n";
  for (std::size_t i = 0; i < members_.size(); ++i) {
    out += pad + JsonQuote(members_[i].first) + ": " + members_[i].second;
    out += i + 1 < members_.size() ? ",\n" : "\n";
  }
  return out + closingPad + "}";
}

std::string JsonArray(const std::vector<TJsonObject>& objects) {
  if (objects.empty()) return "[]";
  std::string out = "[\n";
  for (std::size_t i = 0; i < objects.size(); ++i) {
    out += "  " + objects[i].Text(4);
    out += i + 1 < objects.size() ? ",\n" : "\n";
  }
  return out + "]";
}

}  // namespace kvm::cli

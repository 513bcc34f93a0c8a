// A small JSON writer that keeps keys in the order they are added, so that
// machine output reads like the plain one.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kvm::cli {

// A JSON string literal, quotes included. Bytes that are not valid UTF-8 become
// U+FFFD, so that any file name or device string gives valid JSON.
std::string JsonQuote(const std::string& text);

class TJsonObject {
 public:
  TJsonObject& Add(const std::string& key, std::int64_t value);
  TJsonObject& Add(const std::string& key, int value) { return Add(key, static_cast<std::int64_t>(value)); }
  TJsonObject& Add(const std::string& key, const std::string& value);
  TJsonObject& Add(const std::string& key, const char* value) { return Add(key, std::string(value)); }
  TJsonObject& Add(const std::string& key, bool value);
  TJsonObject& AddNull(const std::string& key);
  template <class T>
  TJsonObject& Add(const std::string& key, const std::optional<T>& value) {
    return value ? Add(key, *value) : AddNull(key);
  }

  // `indent` spaces before each key, keys on lines of their own.
  std::string Text(int indent = 2) const;

 private:
  std::vector<std::pair<std::string, std::string>> members_;  // key, JSON value
};

// An array of objects, one object per element, as the list command prints it.
std::string JsonArray(const std::vector<TJsonObject>& objects);

}  // namespace kvm::cli

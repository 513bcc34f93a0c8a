#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/JsonWriter.h"

namespace kvm::cli {
namespace {

QJsonDocument Parse(const std::string& text) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
  return document;
}

TEST(JsonWriter, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonQuote("a\"b\\c"), R"("a\"b\\c")");
  EXPECT_EQ(JsonQuote("\n\t\r\b\f"), R"("\n\t\r\b\f")");
  EXPECT_EQ(JsonQuote(std::string("\x01\x1f\x7f", 3)), R"("\u0001\u001f\u007f")");
  EXPECT_EQ(JsonQuote(""), "\"\"");
}

TEST(JsonWriter, KeepsUtf8AndReplacesInvalidBytes) {
  EXPECT_EQ(JsonQuote("Zorbek \xC3\xA9\xE2\x82\xAC"), "\"Zorbek \xC3\xA9\xE2\x82\xAC\"");
  // A lone continuation byte, a cut-off sequence, an overlong '/' and a surrogate.
  EXPECT_EQ(JsonQuote("a\x80z"), R"("a\ufffdz")");
  EXPECT_EQ(JsonQuote("\xE2\x82"), R"("\ufffd\ufffd")");
  EXPECT_EQ(JsonQuote("\xC0\xAF"), R"("\ufffd\ufffd")");
  EXPECT_EQ(JsonQuote("\xED\xA0\x80"), R"("\ufffd\ufffd\ufffd")");
}

TEST(JsonWriter, ObjectKeepsKeyOrderAndParsesBack) {
  TJsonObject object;
  object.Add("path", "/dev/hidraw0\n").Add("vendor_id", 0x0B39).Add("read_write", false).AddNull("refusal");
  object.Add("big", std::int64_t{4294967295});
  object.Add("maybe", std::optional<int>(7)).Add("none", std::optional<std::string>());
  const std::string text = object.Text();
  EXPECT_LT(text.find("\"path\""), text.find("\"vendor_id\""));
  EXPECT_LT(text.find("\"read_write\""), text.find("\"refusal\""));

  const QJsonObject parsed = Parse(text).object();
  EXPECT_EQ(parsed["path"].toString(), "/dev/hidraw0\n");
  EXPECT_EQ(parsed["vendor_id"].toInteger(), 0x0B39);
  EXPECT_TRUE(parsed["read_write"].isBool());
  EXPECT_TRUE(parsed["refusal"].isNull());
  EXPECT_EQ(parsed["big"].toInteger(), 4294967295);
  EXPECT_EQ(parsed["maybe"].toInteger(), 7);
  EXPECT_TRUE(parsed["none"].isNull());
}

TEST(JsonWriter, ArraysOfNoneOneAndTwoObjectsParse) {
  EXPECT_TRUE(Parse(JsonArray({})).array().isEmpty());
  TJsonObject first, second;
  first.Add("n", 1);
  second.Add("n", 2);
  EXPECT_EQ(Parse(JsonArray({first})).array().size(), 1);
  const QJsonArray both = Parse(JsonArray({first, second})).array();
  ASSERT_EQ(both.size(), 2);
  EXPECT_EQ(both[1].toObject()["n"].toInt(), 2);
}

}  // namespace
}  // namespace kvm::cli

// Taking text out of the HID library's string buffers and the registry's
// property buffers, and the rule that tells a serial number from a device's
// language table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "hid/platform/windows/DeviceStrings.h"
#include "hid/platform/windows/PnPProperties.h"

using namespace kvm::hid::platform::windows;

namespace {

struct TStringBuffer {
  char16_t units[kStringBufferUnits];
  explicit TStringBuffer(char16_t fill) { std::fill(std::begin(units), std::end(units), fill); }
  TStringBuffer& Put(std::u16string_view text) {
    std::copy(text.begin(), text.end(), units);
    return *this;
  }
};

TStringBuffer Serial(std::u16string_view text) {
  TStringBuffer buffer(0);
  return buffer.Put(text);
}

// A language table as the device writes it over the 0xFFFF-filled buffer.
TStringBuffer Languages(std::u16string_view table) {
  TStringBuffer buffer(0xFFFF);
  return buffer.Put(table);
}

}  // namespace

TEST(StringBuffer, TextEndsAtTheFirstZeroOrTheBuffersEnd) {
  EXPECT_EQ(TextFromStringBuffer(Serial(u"KVM Programmer").units), u"KVM Programmer");
  EXPECT_EQ(TextFromStringBuffer(Serial(u"").units), u"");
  const TStringBuffer full(u'x');
  EXPECT_EQ(TextFromStringBuffer(full.units), std::u16string(kStringBufferUnits, u'x'));
}

TEST(LanguageTable, LengthIsFoundFromTheEnd) {
  EXPECT_EQ(LanguageTableLength(TStringBuffer(0xFFFF).units), 0u);
  EXPECT_EQ(LanguageTableLength(Languages(u"\u0409").units), 1u);
  EXPECT_EQ(LanguageTableLength(Languages(std::u16string_view(u"\u0409\u0000", 2)).units), 1u)
      << "a terminating zero is not part of the table";
  EXPECT_EQ(LanguageTableLength(Languages(u"\u0409\u0407").units), 2u);
  // Units left at 0xFFFF inside the table do not end it early.
  EXPECT_EQ(LanguageTableLength(Languages(u"\u0409\uFFFF\u0407").units), 3u);
  EXPECT_EQ(LanguageTableLength(TStringBuffer(0x0409).units), kStringBufferUnits);
}

TEST(SerialNumber, ADeviceAnsweringWithItsLanguageTableHasNoSerial) {
  EXPECT_EQ(SerialFromBuffers(Serial(u"\u0409").units, Languages(u"\u0409").units), u"");
  EXPECT_EQ(SerialFromBuffers(Serial(u"\u0409\u0407").units, Languages(u"\u0409\u0407").units), u"");
  // Only the first n units are compared.
  EXPECT_EQ(SerialFromBuffers(Serial(u"\u0409XYZ").units, Languages(u"\u0409").units), u"");
}

TEST(SerialNumber, ARealSerialIsKept) {
  EXPECT_EQ(SerialFromBuffers(Serial(u"A1B2C3").units, Languages(u"\u0409").units), u"A1B2C3");
  // Differing in the second unit of a two-language table is enough.
  EXPECT_EQ(SerialFromBuffers(Serial(u"\u0409Z").units, Languages(u"\u0409\u0407").units), u"\u0409Z");
  const TStringBuffer full(u'7');
  EXPECT_EQ(SerialFromBuffers(full.units, Languages(u"\u0409").units), std::u16string(kStringBufferUnits, u'7'));
}

TEST(SerialNumber, WithoutALanguageTableTheSerialReadsAsEmpty) {
  EXPECT_EQ(SerialFromBuffers(Serial(u"A1B2C3").units, TStringBuffer(0xFFFF).units), u"");
}

TEST(PropertyBuffer, TextStopsAtTheBuffersEndWithoutATerminator) {
  const char text[] = {'H', 'I', 'D', 0, 'x'};
  EXPECT_EQ(TextFromPropertyBuffer(text, sizeof text), "HID");
  const char unterminated[] = {'a', 'b', 'c'};
  EXPECT_EQ(TextFromPropertyBuffer(unterminated, sizeof unterminated), "abc");
  EXPECT_EQ(TextFromPropertyBuffer(unterminated, 0), "");
}

TEST(PropertyBuffer, ListEndsAtTheFirstEmptyString) {
  const char list[] = "HID\\VID_845E&PID_0001\0HID_DEVICE\0\0ignored\0";
  EXPECT_EQ(ListFromPropertyBuffer(list, sizeof list),
            (std::vector<std::string>{"HID\\VID_845E&PID_0001", "HID_DEVICE"}));
  const char empty[] = "\0\0";
  EXPECT_TRUE(ListFromPropertyBuffer(empty, sizeof empty).empty());
  // A list that fills the buffer up to its last byte is not read past it.
  const char cut[] = {'a', 0, 'b', 'c'};
  EXPECT_EQ(ListFromPropertyBuffer(cut, sizeof cut), (std::vector<std::string>{"a", "bc"}));
}

// The blob text of binary and graphic values: Base64 groups after "###", repeats as "!".

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "btrieve/BtrBlob.h"
#include "btrieve/BtrConv.h"
#include "btrieve/BtrTable.h"

namespace vader {
namespace {

TMemoryStream StreamOf(const std::string& bytes) {
  TMemoryStream stream;
  stream.Write(bytes.data(), bytes.size());
  return stream;
}

std::string TextOf(const TMemoryStream& stream) {
  return std::string(reinterpret_cast<const char*>(stream.Data()), stream.Size());
}

std::string Encode(const std::string& value) {
  TMemoryStream source = StreamOf(value), text;
  EncodeBlob(source, text);
  return TextOf(text);
}

std::string Decode(const std::string& text) {
  TMemoryStream source = StreamOf(text), value;
  DecodeBlob(source, value);
  return TextOf(value);
}

TEST(BlobText, ShortValuesArePaddedAndEmptyIsTheSignature) {
  EXPECT_EQ(Encode(""), "###");
  EXPECT_EQ(Encode("M"), "###TQ==");
  EXPECT_EQ(Encode("Ma"), "###TWE=");
  EXPECT_EQ(Encode("Man"), "###TWFu");
  for (const char* value : {"", "M", "Ma", "Man", "Many"}) EXPECT_EQ(Decode(Encode(value)), value);
}

TEST(BlobText, RepeatedGroupsShrinkToOneCharacterEach) {
  const std::string zeros(600, '\0');
  const std::string text = Encode(zeros);
  EXPECT_EQ(text, "###AAAA" + std::string(199, '!'));
  EXPECT_EQ(text.size(), 206u);
  EXPECT_EQ(Decode(text), zeros);
  // A repeat only stands for a complete group equal to the last one written out in full.
  EXPECT_EQ(Encode("ManManMa"), "###TWFu!TWE=");
  EXPECT_EQ(Encode("ManMaMan"), "###TWFuTWFNYW4=");
  EXPECT_EQ(Decode("###TWFu!!TQ=="), "ManManManM");
}

TEST(BlobText, EveryByteValueSurvivesTheRoundTrip) {
  std::string value;
  for (int i = 0; i < 256; ++i) value += static_cast<char>(i);
  value += value.substr(0, 7);
  EXPECT_EQ(Decode(Encode(value)), value);
}

TEST(BlobText, MalformedTextIsRefused) {
  try {
    Decode("##TWFu");
    FAIL();
  } catch (const EVaderEngineError& e) {
    EXPECT_EQ(e.Code(), DBIERR_BLOBVERSION);
  }
  try {
    Decode("###TW*u");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()), "MapBase64toByte - Unexpected value: *");
  }
  // A short final group counts its missing characters as padding.
  EXPECT_EQ(Decode("###TW"), "M");
}

}  // namespace
}  // namespace vader

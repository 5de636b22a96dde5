#include "ovcore/src/utils/error.hpp"

#include <cerrno>
#include <format>
#include <sstream>

#include <gtest/gtest.h>

namespace {

using ovcore::utils::IoError;
using ovcore::utils::IoErrorKind;
using ovcore::utils::OvError;
using ovcore::utils::ParseError;
using ovcore::utils::Utf8Error;

TEST(IoErrors, OsErrorsMapToTheirKinds) {
  const std::pair<int, IoErrorKind> table[] = {
      {ENOENT, IoErrorKind::NotFound},      {EACCES, IoErrorKind::PermissionDenied},
      {EEXIST, IoErrorKind::AlreadyExists}, {EINVAL, IoErrorKind::InvalidInput},
      {EINTR, IoErrorKind::Interrupted},    {EIO, IoErrorKind::Other}};
  for (const auto& [code, kind] : table) EXPECT_EQ(IoError::from_os(code).kind, kind) << code;
}

TEST(OvErrorDisplay, EachVariantHasItsPrefixAndPayloadVerbatim) {
  EXPECT_EQ(OvError::plugin_not_found("x").to_string(), "Plugin with name 'x' not found");
  EXPECT_EQ(OvError::plugin_not_found("").to_string(), "Plugin with name '' not found");
  EXPECT_EQ(OvError::plugin_not_found("a 'b'\nc").to_string(), "Plugin with name 'a 'b'\nc' not found");
  EXPECT_EQ(OvError::unknown("").to_string(), "An unknown error occurred: ");
  EXPECT_EQ(OvError(OvError::Io{IoError::custom(IoErrorKind::Other, "disk on fire")}).to_string(),
            "I/O error: disk on fire");
  EXPECT_EQ(OvError(OvError::Io{IoError::from_os(ENOENT)}).to_string(),
            "I/O error: No such file or directory (os error 2)");
  EXPECT_EQ(IoError::from_os(ENOENT).kind, IoErrorKind::NotFound);
}

TEST(OvErrorDisplay, Utf8ErrorGivesBothPositions) {
  EXPECT_EQ(OvError(OvError::Utf8Conversion{Utf8Error{3, 2}}).to_string(),
            "UTF-8 conversion error: invalid sequence of 2 byte(s) after 3 valid byte(s)");
  EXPECT_EQ(OvError(OvError::Utf8Conversion{Utf8Error{5, std::nullopt}}).to_string(),
            "UTF-8 conversion error: input ends inside a multi-byte sequence after 5 valid byte(s)");
}

TEST(OvErrorDisplay, ManifestParseRendersPathThenExcerptWithCarets) {
  ParseError parse;
  parse.message = "expected `=`";
  parse.input = std::make_shared<const std::string>("[a]\nkey value\n");
  parse.span = ParseError::Span{8, 13};
  OvError error(OvError::ManifestParse{"ov.toml", std::move(parse)});
  EXPECT_EQ(error.to_string(),
            "Failed to parse manifest file 'ov.toml': parse error at line 2, column 5\n"
            "  |\n"
            "2 | key value\n"
            "  |     ^^^^^\n"
            "expected `=`");
  // A span at the first character after a newline is on the next line.
  ParseError next_line;
  next_line.message = "m";
  next_line.input = std::make_shared<const std::string>("\nx");
  next_line.span = ParseError::Span{1, 1};
  EXPECT_EQ(next_line.to_string(), "parse error at line 2, column 1\n  |\n2 | x\n  | ^\nm");
  // One just past the last character still points into the excerpt.
  next_line.span = ParseError::Span{2, 2};
  EXPECT_EQ(next_line.to_string(), "parse error at line 2, column 2\n  |\n2 | x\n  |  ^\nm");
}

TEST(OvErrorDisplay, ManifestParseWithoutExcerptGivesMessageAndKeyPath) {
  ParseError parse;
  parse.message = "invalid type";
  parse.keys = {"package", "version"};
  OvError error(OvError::ManifestParse{"m.toml", std::move(parse)});
  EXPECT_EQ(error.to_string(), "Failed to parse manifest file 'm.toml': invalid type\nin `package.version`");
}

TEST(OvErrorDisplay, FormatterAndStreamAgreeWithToString) {
  OvError error = OvError::plugin_not_found("n");
  std::ostringstream stream;
  stream << error;
  EXPECT_EQ(std::format("{}", error), error.to_string());
  EXPECT_EQ(stream.str(), error.to_string());
  static_assert(!std::is_copy_constructible_v<OvError>);
  static_assert(std::is_nothrow_move_constructible_v<OvError>);
}

}  // namespace

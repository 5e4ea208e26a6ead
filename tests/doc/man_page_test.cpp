// The manual page: it renders without a warning, carries the version, and
// documents every option and every numbered diagnostic with its exact text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;

// In roff source a hyphen that must print as one is written "\-".
std::string AsRoff(std::string_view text) {
  std::string roff;
  for (char c : text) {
    if (c == '-') roff += '\\';
    roff += c;
  }
  return roff;
}

TEST(ManPage, RendersWithoutWarnings) {
  if (std::system("command -v groff >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "groff is not installed (Debian package groff-base)";
  }
  ScopedTempDir temp;
  std::string command = "groff -man -ww -z '";
  command.append(CDB2BEM_MAN_PAGE).append("' 2>'");
  command.append((temp.path() / "warnings").string()).append("'");
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  EXPECT_EQ(ReadFile(temp.path() / "warnings"), "");
}

TEST(ManPage, CarriesTheVersionAndEveryOption) {
  const std::string page = ReadFile(CDB2BEM_MAN_PAGE);
  ASSERT_FALSE(page.empty()) << CDB2BEM_MAN_PAGE;
  const std::string version = "\"cdb2bem " CDB2BEM_VERSION "\"";
  EXPECT_TRUE(page.starts_with(".TH CDB2BEM 1 ")) << page.substr(0, 60);
  EXPECT_NE(page.substr(0, page.find('\n')).find(version), std::string::npos) << version;
  for (const char* option :
       {"-C", "--directory=", "-j", "--jobs=", "--skin", "--renumber", "--help", "--version"}) {
    EXPECT_NE(page.find(AsRoff(option)), std::string::npos) << option;
  }
}

TEST(ManPage, ListsEveryNumberedDiagnosticWithItsText) {
  const std::string page = ReadFile(CDB2BEM_MAN_PAGE);
  for (int number : {9, 24, 29, 30, 38, 39, 41, 42, 43, 59, 63, 64, 179, 545, 547}) {
    SCOPED_TRACE(number);
    // "runerr: severe (N): text, unit 5, file P": the entry reads
    // ".B N \(en text, unit \fIu\fP, file \fIpath\fP".
    std::string text = DiagnosticLine(number, 5, "P");
    text.erase(0, text.find("): ") + 3);
    const std::size_t unit = text.find(", unit 5, file P");
    if (unit != std::string::npos) {
      text.replace(unit, std::string::npos, ", unit \\fIu\\fP, file \\fIpath\\fP");
    }
    std::string entry = ".B ";
    entry.append(std::to_string(number)).append(" \\(en ").append(AsRoff(text)).append("\n");
    EXPECT_NE(page.find(entry), std::string::npos) << entry;
  }
  EXPECT_NE(page.find(".B runerr: severe (\\c"), std::string::npos);
}

}  // namespace

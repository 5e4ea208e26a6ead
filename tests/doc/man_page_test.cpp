// The manual page: it renders without a warning, carries the version, and
// documents every option and every numbered diagnostic with its exact text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "check/check_report.h"
#include "check/surface_check.h"
#include "driver/command_line.h"
#include "output/vtu_file.h"
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
  for (const char* option : {"-C", "--directory=", "-j", "--jobs=", "--skin", "--renumber",
                             "--leave-out", "--help", "--version"}) {
    EXPECT_NE(page.find(AsRoff(option)), std::string::npos) << option;
  }
}

// The pieces one after the other.
std::string Cat(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

// The text between `.SH heading` and the next section heading.
std::string Section(const std::string& page, std::string_view heading) {
  const std::size_t start = page.find(Cat({".SH ", heading, "\n"}));
  if (start == std::string::npos) return "";
  const std::size_t end = page.find("\n.SH ", start + 1);
  return page.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool Has(const std::string& text, std::initializer_list<std::string_view> pieces) {
  return text.find(Cat(pieces)) != std::string::npos;
}

// Every option of --help (its short form or its long one) and the operand
// are in the SYNOPSIS; the sections a manual page owes its reader are there.
TEST(ManPage, SynopsisHasEveryOptionAndTheOperand) {
  const std::string page = ReadFile(CDB2BEM_MAN_PAGE);
  const std::string synopsis = Section(page, "SYNOPSIS");
  ASSERT_FALSE(synopsis.empty());
  // --help lists the options as "  -C, --directory=DIR  ..." or "      --check  ...".
  const std::string help = HelpText();
  int options = 0;
  for (std::size_t at = help.find("\n  -"); at != std::string::npos;
       at = help.find("\n  -", at + 1)) {
    const std::size_t dashes = help.find("--", at);
    const std::string long_form = help.substr(dashes, help.find_first_of("= ", dashes) - dashes);
    const std::string short_form = help.substr(at + 3, 2);
    ++options;
    EXPECT_TRUE(Has(synopsis, {" ", AsRoff(long_form)}) || Has(synopsis, {" ", AsRoff(short_form)}))
        << long_form << " " << short_form << "\n"
        << synopsis;
  }
  for (std::size_t at = help.find("\n      --"); at != std::string::npos;
       at = help.find("\n      --", at + 1)) {
    const std::string long_form = help.substr(at + 7, help.find_first_of("= ", at + 7) - at - 7);
    ++options;
    EXPECT_TRUE(Has(synopsis, {" ", AsRoff(long_form)})) << long_form << "\n" << synopsis;
  }
  EXPECT_EQ(options, 10);  // -C, --check, --skin, --renumber, --leave-out, --vtu, --material,
                           // -j, -h, --version
  EXPECT_TRUE(Has(synopsis, {".RI [ model ]"})) << synopsis;
  for (std::string_view heading : {"AUTHOR", "\"REPORTING BUGS\"", "COPYRIGHT", "FILES"}) {
    EXPECT_FALSE(Section(page, heading).empty()) << heading;
  }
  EXPECT_TRUE(Has(Section(page, "COPYRIGHT"), {"the cdb2bem authors.\nLicense MIT"}));
}

// Every unit a diagnostic can show has its entry; every figure of the
// --check report is explained.
TEST(ManPage, ExplainsEveryUnitAndEveryFigureOfTheCheck) {
  const std::string page = ReadFile(CDB2BEM_MAN_PAGE);
  const std::string diagnostics = Section(page, "DIAGNOSTICS");
  for (int unit : {kModelUnit, kSolverInputUnit, kPlotUnit, kVtuUnit, kConsoleUnit}) {
    EXPECT_TRUE(Has(diagnostics, {"\n.B ", AsRoff(std::to_string(unit)), "\n"})) << unit;
  }
  const std::string report = CheckReportText(SurfaceFindings{});
  int figures = 0;
  for (std::size_t start = 0, end; (end = report.find('\n', start)) != std::string::npos;
       start = end + 1) {
    if (end == start) break;  // the figures end at the first blank line
    const std::string label = AsRoff(report.substr(start, report.find(':', start) - start));
    ++figures;
    EXPECT_TRUE(Has(page, {"\n.B ", label, "\n"}) || Has(page, {"\n.BR \"", label, "\" "}) ||
                Has(page, {" \"", label, "\"\n"}))
        << label;
  }
  EXPECT_GE(figures, 19);
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

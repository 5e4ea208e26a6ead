// The set of outputs: put in place together on Commit, never in part; the
// earlier files kept and the temporaries removed when a set is abandoned.
#include "output/output_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::WriteFile;

const OutputSet::Output kFirst = {"input.dat", 6};
const OutputSet::Output kSecond = {"input.plt", 8};

std::set<std::string> Entries() {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

void Fill(OutputSet& pair, const std::string& text) {
  for (int i = 0; i < 1000; ++i) {
    pair.file(0).WriteRecord(text + " dat " + std::to_string(i));
    pair.file(1).WriteRecord(text + " plt " + std::to_string(i));
  }
}

std::string Expected(const std::string& text, const char* kind) {
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += text + " " + kind + " " + std::to_string(i) + "\r\n";
  return expected;
}

// The model is any other file: its identity only matters when an output is it.
FileIdentity ModelIdentity() {
  WriteFile("ANSYS_Model.cdb", "model\n");
  FileIdentity identity;
  EXPECT_TRUE(IdentityOf("ANSYS_Model.cdb", identity));
  return identity;
}

TEST(OutputSet, TwoPairsAtOnceLeaveOneWholePair) {
  test_support::ScopedTempDir dir;
  const FileIdentity model = ModelIdentity();
  WriteFile("input.dat", "earlier dat\r\n");
  WriteFile("input.plt", "earlier plt\r\n");
  // Both orders of committing: the pair committed last is the one left, whole.
  for (const bool first_commits_first : {true, false}) {
    SCOPED_TRACE(first_commits_first);
    OutputSet a(model, {kFirst, kSecond});
    OutputSet b(model, {kFirst, kSecond});
    Fill(a, "a");
    Fill(b, "b");
    a.file(0).Flush();
    b.file(1).Flush();
    EXPECT_EQ(ReadFile("input.dat"),
              first_commits_first ? "earlier dat\r\n" : Expected("b", "dat"));
    EXPECT_EQ(Entries().size(), 3u + 4u);  // model, outputs, four temporaries
    OutputSet& early = first_commits_first ? a : b;
    OutputSet& late = first_commits_first ? b : a;
    early.Commit();
    late.Commit();
    const std::string last = first_commits_first ? "b" : "a";
    EXPECT_EQ(ReadFile("input.dat"), Expected(last, "dat"));
    EXPECT_EQ(ReadFile("input.plt"), Expected(last, "plt"));
    EXPECT_EQ(Entries(), (std::set<std::string>{"ANSYS_Model.cdb", "input.dat", "input.plt"}));
  }
}

TEST(OutputSet, AbandonedPairLeavesTheOutputsAsTheyWere) {
  for (const bool earlier : {true, false}) {
    SCOPED_TRACE(earlier);
    test_support::ScopedTempDir dir;
    const FileIdentity model = ModelIdentity();
    if (earlier) {
      WriteFile("input.dat", "earlier dat\r\n");
      WriteFile("input.plt", "earlier plt\r\n");
    }
    const std::set<std::string> before = Entries();
    {
      OutputSet pair(model, {kFirst, kSecond});
      Fill(pair, "new");
      pair.file(0).Close();  // one output complete, the other not: no commit
    }
    EXPECT_EQ(Entries(), before);
    if (earlier) {
      EXPECT_EQ(ReadFile("input.dat"), "earlier dat\r\n");
      EXPECT_EQ(ReadFile("input.plt"), "earlier plt\r\n");
    }
  }
}

}  // namespace

TEST(OutputSet, AddedOutputPutInPlaceOnlyWhenCommitted) {
  for (const bool earlier : {true, false}) {
    for (const bool commit : {true, false}) {
      SCOPED_TRACE(std::string(earlier ? "earlier file" : "no earlier file") +
                   (commit ? ", committed" : ", abandoned"));
      test_support::ScopedTempDir dir;
      const FileIdentity model = ModelIdentity();
      if (earlier) WriteFile("model.vtu", "earlier vtu\n");
      {
        OutputSet set(model, {});
        OutputFile& vtu = set.Add({"model.vtu", 9});
        for (int i = 0; i < 1000; ++i) vtu.WriteRecord("new " + std::to_string(i));
        vtu.Flush();
        EXPECT_EQ(Entries().size(), 3u - (earlier ? 0u : 1u));  // model, earlier, temporary
        if (earlier) {
          EXPECT_EQ(ReadFile("model.vtu"), "earlier vtu\n");
        }
        if (commit) set.Commit();
      }
      std::set<std::string> entries = {"ANSYS_Model.cdb"};
      if (earlier || commit) entries.insert("model.vtu");
      EXPECT_EQ(Entries(), entries);
      if (commit) {
        std::string expected;
        for (int i = 0; i < 1000; ++i) expected += "new " + std::to_string(i) + "\r\n";
        EXPECT_EQ(ReadFile("model.vtu"), expected);
      } else if (earlier) {
        EXPECT_EQ(ReadFile("model.vtu"), "earlier vtu\n");
      }
    }
  }
}

#!/bin/sh
# Lists the skipped tests of a ctest JUnit report and the reason each gave:
#   list_skipped.sh <report.xml>
# ctest shows a skipped test's name only; its reason (the text after
# GTEST_SKIP) is kept in the report's output of the test. Prints nothing when
# no test was skipped; always exits 0.
report=$1
[ -r "$report" ] || exit 0
awk '
  function unescape(s) {
    gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&quot;/, "\"", s)
    gsub(/&apos;/, "\047", s); gsub(/&amp;/, "\\&", s)
    return s
  }
  /<testcase / {
    name = $0; sub(/.*<testcase name="/, "", name); sub(/".*/, "", name)
    name = unescape(name); sub(/  # GetParam.*/, "", name)
    skipped = 0; in_reason = 0; reason = ""
  }
  /<skipped/ { skipped = 1 }
  skipped && /\[  SKIPPED \]/ { in_reason = 0 }
  skipped && in_reason {
    line = unescape($0); gsub(/^[ \t]+|[ \t]+$/, "", line)
    if (line != "") reason = reason == "" ? line : reason " " line
  }
  skipped && /: Skipped$/ { in_reason = 1 }
  /<\/testcase>/ && skipped {
    if (count++ == 0) print "\nSkipped tests and why:"
    print "  " name ": " (reason == "" ? "(no reason given)" : reason)
    skipped = 0
  }
' "$report"
exit 0

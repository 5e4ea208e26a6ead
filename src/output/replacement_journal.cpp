#include "output/replacement_journal.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <string_view>

#include "system/process.h"
#include "textio/diagnostics.h"

namespace {

constexpr std::string_view kJournalPrefix = ".cdb2bem-journal.";
constexpr std::string_view kFirstLine = "cdb2bem replacement journal 1\n";
constexpr std::size_t kLongestJournal = std::size_t{1} << 20;

// A field of the journal: its length, a colon, its bytes and a blank, so
// that any file name can be written.
void AppendField(std::string& text, std::string_view field) {
  text += std::to_string(field.size());
  text += ':';
  text += field;
  text += ' ';
}

class Reader {
 public:
  explicit Reader(std::string_view text) : rest_(text) {}
  bool Word(std::string_view word) {
    if (!rest_.starts_with(word)) return false;
    rest_.remove_prefix(word.size());
    return true;
  }
  bool Number(std::uint64_t& value) {
    const auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), value);
    if (error != std::errc()) return false;
    rest_.remove_prefix(static_cast<std::size_t>(end - rest_.data()));
    return Word(" ");
  }
  bool Field(std::string& field) {
    std::uint64_t size = 0;
    const auto [end, error] = std::from_chars(rest_.data(), rest_.data() + rest_.size(), size);
    if (error != std::errc()) return false;
    rest_.remove_prefix(static_cast<std::size_t>(end - rest_.data()));
    if (!Word(":") || size + 1 > rest_.size()) return false;
    field.assign(rest_.substr(0, size));
    rest_.remove_prefix(size);
    return Word(" ");
  }

 private:
  std::string_view rest_;
};

struct Replacement {
  std::vector<std::string> journals;
  std::vector<JournalEntry> entries;
};

std::string JournalText(const std::vector<std::string>& journals,
                        const std::vector<JournalEntry>& entries) {
  std::string text(kFirstLine);
  for (const std::string& journal : journals) {
    text += "journal ";
    AppendField(text, journal);
    text += '\n';
  }
  for (const JournalEntry& entry : entries) {
    text += entry.removal ? "removal " : "output ";
    text += std::to_string(entry.fresh.device) + ' ' + std::to_string(entry.fresh.inode) + ' ';
    AppendField(text, entry.target);
    AppendField(text, entry.temporary);
    AppendField(text, entry.backup);
    text += '\n';
  }
  return text + "end\n";
}

// False for a journal cut short: its run ended before it was whole, and so
// before its first rename.
bool ParseJournal(std::string_view text, Replacement& replacement) {
  Reader reader(text);
  if (!reader.Word(kFirstLine)) return false;
  for (;;) {
    if (reader.Word("end\n")) return true;
    if (reader.Word("journal ")) {
      std::string& name = replacement.journals.emplace_back();
      if (!reader.Field(name) || !reader.Word("\n")) return false;
      continue;
    }
    JournalEntry& entry = replacement.entries.emplace_back();
    entry.removal = reader.Word("removal ");
    if (!entry.removal && !reader.Word("output ")) return false;
    if (!reader.Number(entry.fresh.device) || !reader.Number(entry.fresh.inode) ||
        !reader.Field(entry.target) || !reader.Field(entry.temporary) ||
        !reader.Field(entry.backup) || !reader.Word("\n")) {
      return false;
    }
  }
}

bool WriteWhole(int fd, std::string_view text) {
  while (!text.empty()) {
    const std::ptrdiff_t written = WriteDescriptor(fd, text.data(), text.size());
    if (written < 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// A journal longer than any run writes is no journal of ours.
bool ReadWhole(const std::string& name, std::string& text) {
  return ReadFileStart(name, kLongestJournal + 1, text) && text.size() <= kLongestJournal;
}

bool Exists(const std::string& name) {
  FileStatus status;
  return !name.empty() && StatusOf(name, status);
}

bool Holds(const std::string& name, const FileIdentity& identity) {
  FileStatus status;
  return !name.empty() && StatusOf(name, status) && status.identity == identity;
}

enum class At { kPlaced, kWaiting, kLost };

At Locate(const JournalEntry& entry) {
  if (entry.removal) return Holds(entry.target, entry.fresh) ? At::kWaiting : At::kPlaced;
  if (Holds(entry.target, entry.fresh)) return At::kPlaced;
  return Holds(entry.temporary, entry.fresh) ? At::kWaiting : At::kLost;
}

bool PutInPlace(const JournalEntry& entry) {
  if (entry.removal) return RenameFile(entry.target, entry.temporary, RenameMode::kReplace);
  if (Exists(entry.backup) || !Exists(entry.target)) {
    return RenameFile(entry.temporary, entry.target, RenameMode::kReplace);
  }
  if (RenameFile(entry.temporary, entry.target, RenameMode::kExchange)) return true;
  return errno == EINVAL && RenameFile(entry.target, entry.backup, RenameMode::kReplace) &&
         RenameFile(entry.temporary, entry.target, RenameMode::kReplace);
}

// Every new file in place, then the earlier ones removed.
bool Forward(const std::vector<JournalEntry>& entries) {
  for (const JournalEntry& entry : entries) {
    if (Locate(entry) == At::kWaiting && !PutInPlace(entry)) return false;
  }
  for (const JournalEntry& entry : entries) {
    if (Exists(entry.temporary) && Holds(entry.temporary, entry.fresh) == entry.removal) {
      RemoveFile(entry.temporary);
    }
    if (Exists(entry.backup)) RemoveFile(entry.backup);
  }
  return true;
}

// The earlier file back at the output's name, the new one removed.
bool Undo(const JournalEntry& entry) {
  if (entry.removal) {
    return Exists(entry.target) || !Holds(entry.temporary, entry.fresh) ||
           RenameFile(entry.temporary, entry.target, RenameMode::kReplace);
  }
  if (Holds(entry.target, entry.fresh)) {
    const bool undone = Exists(entry.temporary)
                            ? RenameFile(entry.temporary, entry.target, RenameMode::kExchange)
                            : RenameFile(entry.target, entry.temporary, RenameMode::kReplace);
    if (!undone) return false;
  }
  if (!Exists(entry.target)) {
    const std::string& earlier = Exists(entry.backup) ? entry.backup : entry.temporary;
    if (Exists(earlier) && !Holds(earlier, entry.fresh) &&
        !RenameFile(earlier, entry.target, RenameMode::kReplace)) {
      return false;
    }
  }
  if (Holds(entry.temporary, entry.fresh)) RemoveFile(entry.temporary);
  return true;
}

// The run that left `journal` (whole, of a dead run) took `directory`'s lock
// before its renames; a run that recovers takes it too.
void Recover(const std::string& journal, std::vector<std::string>& kept) {
  std::string text;
  if (!ReadWhole(journal, text)) return;  // recovered meanwhile by another run
  Replacement replacement;
  if (!ParseJournal(text, replacement)) {
    RemoveFile(journal);
    return;
  }
  bool placed = false;
  bool lost = false;
  for (const JournalEntry& entry : replacement.entries) {
    const At at = Locate(entry);
    placed = placed || (at == At::kPlaced && !entry.removal);
    lost = lost || at == At::kLost;
  }
  bool whole = true;
  if (placed && !lost) {
    whole = Forward(replacement.entries);
  } else {
    for (const JournalEntry& entry : replacement.entries) whole = whole && Undo(entry);
  }
  if (whole) {
    for (const std::string& name : replacement.journals) RemoveFile(name);
    return;
  }
  for (const JournalEntry& entry : replacement.entries) {
    kept.push_back(entry.temporary);
    if (!entry.backup.empty()) kept.push_back(entry.backup);
  }
}

// The process that wrote the journal named `leaf` when it is gone and was of
// this host, else 0.
std::int64_t DeadOwner(std::string_view leaf) {
  if (!leaf.starts_with(kJournalPrefix)) return 0;
  leaf.remove_prefix(kJournalPrefix.size());
  const std::string host = "@" + HostName() + ".";
  const std::size_t at = leaf.find('@');
  if (at == std::string_view::npos || leaf.size() != at + host.size() + 6 ||
      leaf.substr(at, host.size()) != host) {
    return 0;
  }
  std::int64_t pid = 0;
  const auto [end, error] = std::from_chars(leaf.data(), leaf.data() + at, pid);
  if (error != std::errc() || end != leaf.data() + at || pid <= 0 || pid > INT32_MAX ||
      pid == CurrentProcessId() || !ProcessIsGone(pid)) {
    return 0;
  }
  return pid;
}

}  // namespace

const std::string& HostName() {
  static const std::string name = [] {
    std::string host = ComputerName();
    if (host.empty()) return std::string("localhost");
    host.resize(std::min<std::size_t>(host.size(), 64));
    std::replace_if(host.begin(), host.end(), IsPathSeparator, '_');
    return host;
  }();
  return name;
}

bool ReplacementJournal::Write(const std::vector<std::string>& directories,
                               const std::vector<JournalEntry>& entries, bool sync) {
  std::vector<int> fds;
  const std::string leaf =
      std::string(kJournalPrefix) + std::to_string(CurrentProcessId()) + "@" + HostName();
  bool written = true;
  for (const std::string& directory : directories) {
    std::string name = JoinPath(directory, leaf + ".XXXXXX");
    const int fd = CreateUniqueFile(name);
    if (fd < 0) {
      written = false;
      break;
    }
    fds.push_back(fd);
    names_.push_back(AbsolutePath(name));
  }
  const std::string text = written ? JournalText(names_, entries) : std::string();
  for (const int fd : fds) {
    written = written && WriteWhole(fd, text) && (!sync || SyncDescriptor(fd));
    written = CloseDescriptor(fd) && written;
  }
  if (written) return true;
  const int error = errno;
  Remove();
  errno = error;
  return false;
}

void ReplacementJournal::Remove() {
  for (const std::string& name : names_) RemoveFile(name);
  names_.clear();
}

void RecoverReplacements(const std::string& directory, const std::vector<std::string>& entries,
                         std::vector<std::string>& kept) {
  for (const std::string& entry : entries) {
    if (DeadOwner(entry) == 0) continue;
    DirectoryLock lock(directory);
    LockDirectory(lock, directory);
    Recover(JoinPath(directory, entry), kept);
  }
}

std::string ShownDirectory(const std::string& directory) {
  const std::string absolute = AbsolutePath(directory);
  // The root ("/", "C:\\"), then each name, "." left out and ".." taking
  // back the name before it.
  std::size_t root = 0;
  if (absolute.size() > 2 && absolute[1] == ':' && IsPathSeparator(absolute[2])) root = 3;
  while (root < absolute.size() && IsPathSeparator(absolute[root])) ++root;
  std::vector<std::string> names;
  for (std::size_t start = root; start < absolute.size();) {
    std::size_t end = start;
    while (end < absolute.size() && !IsPathSeparator(absolute[end])) ++end;
    const std::string name = absolute.substr(start, end - start);
    if (name == ".." && !names.empty() && names.back() != "..") {
      names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  std::string shown = absolute.substr(0, root);
  for (const std::string& name : names) shown = JoinPath(shown, name);
  return shown;
}

DirectoryLock::Outcome LockDirectory(DirectoryLock& lock, const std::string& directory) {
  return lock.Lock([&](std::int64_t holder) {
    PrintWarning(WaitingForLock(ShownDirectory(directory), holder));
  });
}

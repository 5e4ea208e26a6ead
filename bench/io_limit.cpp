// The I/O limit of the benchmark: what a translation costs at the least in
// the operating system. Run in a directory holding ANSYS_Model.cdb, it reads
// the model file once in blocks of 1 MiB and writes input.dat and input.plt
// of the sizes given, in blocks of 1 MiB, converting nothing.
//
//     io_limit DAT_BYTES PLT_BYTES
//
// Build: g++ -O2 -std=c++20 -o io_limit io_limit.cpp

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "io_limit: %s\n", what);
  std::exit(1);
}

// Writes `size` bytes of `block` (blanks, records of 80 ended by CR LF) to a
// new file `name`.
void WriteFile(const char* name, unsigned long long size, const std::vector<char>& block) {
  const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) Fail("cannot create an output file");
  while (size > 0) {
    const std::size_t n = size < block.size() ? static_cast<std::size_t>(size) : block.size();
    std::size_t done = 0;
    while (done < n) {
      const ssize_t w = ::write(fd, block.data() + done, n - done);
      if (w <= 0) Fail("a write failed");
      done += static_cast<std::size_t>(w);
    }
    size -= n;
  }
  if (::close(fd) != 0) Fail("a close failed");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Fail("usage: io_limit DAT_BYTES PLT_BYTES");
  const unsigned long long dat = std::strtoull(argv[1], nullptr, 10);
  const unsigned long long plt = std::strtoull(argv[2], nullptr, 10);
  std::vector<char> block(kBlock, ' ');
  for (std::size_t k = 80; k + 1 < block.size(); k += 82) {
    block[k] = '\r';
    block[k + 1] = '\n';
  }
  // The model, read through one buffer as the translator reads it.
  const int fd = ::open("ANSYS_Model.cdb", O_RDONLY);
  if (fd < 0) Fail("cannot open the model file");
  std::vector<char> buffer(kBlock);
  unsigned long long lines = 0;
  for (;;) {
    const ssize_t r = ::read(fd, buffer.data(), buffer.size());
    if (r < 0) Fail("a read failed");
    if (r == 0) break;
    lines += buffer[static_cast<std::size_t>(r) - 1] == '\n';  // keeps the read from being dropped
  }
  ::close(fd);
  WriteFile("input.dat", dat, block);
  WriteFile("input.plt", plt, block);
  return lines == ~0ULL ? 1 : 0;
}

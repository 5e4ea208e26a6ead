// The floor of the benchmark: the work of a translation that no implementation
// can avoid, done once and as directly as the standard library allows.
//
// Run in a directory holding ANSYS_Model.cdb, it reads the model file once in
// large blocks (records found with memchr), converts every number that the
// translator converts with std::from_chars (node numbers, the two integers
// after them and the coordinates; the fifteen integers of every element
// record; the node number and value of every "D," record; the element number
// and the four values of every pressure), builds the same tables, and writes
// input.dat and input.plt with the same records, every number formatted by
// std::to_chars into a large buffer written out in big blocks. It reads the
// file once where the translator reads it three or four times; it keeps the
// arithmetic that decides the output (diagonal cuts, corner averages, unit
// normals) so that it formats the same values. It checks only what it needs
// to stay correct on the benchmark's own models.
//
// Build: g++ -O2 -std=c++20 -ffp-contract=off -o floor floor.cpp

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <vector>

namespace {

using std::string_view;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "floor: %s\n", what);
  std::exit(1);
}

// ---- input: records from large reads ---------------------------------------

class Reader {
 public:
  explicit Reader(const char* name) : buffer_(kSize) {
    fd_ = ::open(name, O_RDONLY);
    if (fd_ < 0) Fail("cannot open the model file");
  }
  ~Reader() { ::close(fd_); }

  // The next record without its line end; false at the end of the file.
  bool Next(string_view& record) {
    for (;;) {
      const char* lf =
          static_cast<const char*>(std::memchr(buffer_.data() + begin_, '\n', end_ - begin_));
      if (lf != nullptr) {
        const char* first = buffer_.data() + begin_;
        std::size_t length = static_cast<std::size_t>(lf - first);
        begin_ += length + 1;
        if (length > 0 && first[length - 1] == '\r') --length;
        record = string_view(first, length);
        return true;
      }
      if (eof_) {
        if (begin_ == end_) return false;
        record = string_view(buffer_.data() + begin_, end_ - begin_);
        begin_ = end_;
        return true;
      }
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
      ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
      if (got < 0) Fail("read error");
      if (got == 0) eof_ = true;
      end_ += static_cast<std::size_t>(got);
    }
  }
  string_view Must() {
    string_view record;
    if (!Next(record)) Fail("model file ends early");
    return record;
  }

 private:
  static constexpr std::size_t kSize = std::size_t{4} << 20;
  int fd_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  bool eof_ = false;
};

// Field text at columns [from, from + width) of a record, blanks skipped in front.
string_view Field(string_view record, std::size_t from, std::size_t width) {
  if (from >= record.size()) return {};
  string_view f = record.substr(from, width);
  std::size_t i = 0;
  while (i < f.size() && f[i] == ' ') ++i;
  return f.substr(i);
}

string_view TrimEnd(string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::int32_t Int(string_view text) {
  text = TrimEnd(text);
  if (text.empty()) return 0;
  std::int32_t v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size()) Fail("bad integer");
  return v;
}

double Real(string_view text) {
  text = TrimEnd(text);
  if (text.empty()) return 0.0;
  double v = 0;
  auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || p != text.data() + text.size()) Fail("bad real");
  return v;
}

// Free-form values separated by blanks or commas, taken in order from a record.
struct Values {
  const char* p;
  const char* end;
  template <class T>
  T Next() {
    while (p < end && (*p == ' ' || *p == ',')) ++p;
    T v{};
    auto [q, ec] = std::from_chars(p, end, v);
    if (ec != std::errc()) Fail("bad free-form value");
    p = q;
    return v;
  }
};

// ---- output: records in a large buffer -------------------------------------

class Writer {
 public:
  explicit Writer(const char* name) : buffer_(kSize) {
    fd_ = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd_ < 0) Fail("cannot open an output file");
  }
  ~Writer() {
    Flush();
    ::close(fd_);
  }
  // Room for a record of `length` columns, blank; End() adds CR LF.
  char* Record(std::size_t length) {
    if (used_ + length + 2 > buffer_.size()) Flush();
    char* r = buffer_.data() + used_;
    std::memset(r, ' ', length);
    used_ += length;
    return r;
  }
  void End() {
    buffer_[used_++] = '\r';
    buffer_[used_++] = '\n';
  }
  void Text(string_view text) {
    std::memcpy(Record(text.size()), text.data(), text.size());
    End();
  }
  void Flush() {
    std::size_t done = 0;
    while (done < used_) {
      ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
      if (n <= 0) Fail("write error");
      done += static_cast<std::size_t>(n);
    }
    used_ = 0;
  }

 private:
  static constexpr std::size_t kSize = std::size_t{4} << 20;
  int fd_;
  std::vector<char> buffer_;
  std::size_t used_ = 0;
};

// An integer right-aligned in `width` columns ending at `field_end`.
void PutInt(char* field_end, int width, std::int64_t v) {
  char digits[24];
  auto r = std::to_chars(digits, digits + sizeof digits, v);
  std::size_t n = static_cast<std::size_t>(r.ptr - digits);
  if (n > static_cast<std::size_t>(width)) {
    std::memset(field_end - width, '*', static_cast<std::size_t>(width));
    return;
  }
  std::memcpy(field_end - n, digits, n);
}

// x as [-]0.<d digits><letter><sign><2 digits> right-aligned in `width`
// columns ending at `field_end`: the d significant digits and the exponent
// come from std::to_chars in scientific form with precision d - 1.
void PutExp(char* field_end, [[maybe_unused]] int width, int d, char letter, double x) {
  char s[40];
  auto r = std::to_chars(s, s + sizeof s, x, std::chars_format::scientific, d - 1);
  const char* p = s;
  bool negative = *p == '-';
  if (negative) ++p;
  char digits[24];
  digits[0] = *p++;
  if (d > 1) {
    ++p;  // the point
    std::memcpy(digits + 1, p, static_cast<std::size_t>(d - 1));
    p += d - 1;
  }
  ++p;  // 'e'
  bool exp_negative = *p++ == '-';
  int e = 0;
  for (; p < r.ptr; ++p) e = e * 10 + (*p - '0');
  if (exp_negative) e = -e;
  if (x != 0.0) ++e;  // d.ddd x 10^e is 0.dddd x 10^(e+1)
  char* q = field_end;
  int a = e < 0 ? -e : e;
  if (a <= 99) {
    *--q = static_cast<char>('0' + a % 10);
    *--q = static_cast<char>('0' + a / 10);
    *--q = e < 0 ? '-' : '+';
    *--q = letter;
  } else {
    *--q = static_cast<char>('0' + a % 10);
    *--q = static_cast<char>('0' + a / 10 % 10);
    *--q = static_cast<char>('0' + a / 100);
    *--q = e < 0 ? '-' : '+';
  }
  q -= d;
  std::memcpy(q, digits, static_cast<std::size_t>(d));
  *--q = '.';
  *--q = '0';
  if (negative) *--q = '-';
}

constexpr double kNotGiven = 1.23e-33;

}  // namespace

int main() {
  Reader in("ANSYS_Model.cdb");
  Writer dat("input.dat");
  Writer plt("input.plt");
  string_view rec;

  // Offset header: raw node and element counts.
  do rec = in.Must();
  while (rec.substr(0, 5) != "*ELSE");
  const std::int32_t raw_nodes = Int(Field(in.Must(), 12, 9));
  const std::int32_t raw_elems = Int(Field(in.Must(), 12, 9));

  // Node block, every layout.
  static constexpr struct {
    const char* text;
    int iw, rw;
  } kLayouts[] = {{"(3i8,6e16.9) ", 8, 16},
                  {"(3i8,6e20.13)", 8, 20},
                  {"(3i9,6e20.13)", 9, 20},
                  {"(3i9,6e21.13e", 9, 21}};
  int iw = 0, rw = 0;
  while (iw == 0) {
    rec = in.Must();
    char probe[13];
    std::memset(probe, ' ', 13);
    std::memcpy(probe, rec.data(), rec.size() < 13 ? rec.size() : 13);
    for (const auto& l : kLayouts) {
      if (std::memcmp(probe, l.text, 13) == 0) {
        iw = l.iw;
        rw = l.rw;
        break;
      }
    }
  }
  std::vector<double> coords(3 * static_cast<std::size_t>(raw_nodes));
  std::int64_t numbering_errors = 0;
  const std::size_t uiw = static_cast<std::size_t>(iw), urw = static_cast<std::size_t>(rw);
  for (std::int32_t i = 1; i <= raw_nodes; ++i) {
    rec = in.Must();
    std::int32_t ni = Int(Field(rec, 0, uiw));
    Int(Field(rec, uiw, uiw));
    Int(Field(rec, 2 * uiw, uiw));
    if (ni != i) ++numbering_errors;
    double* c = &coords[3 * static_cast<std::size_t>(i - 1)];
    for (std::size_t k = 0; k < 3; ++k) c[k] = Real(Field(rec, 3 * uiw + k * urw, urw));
  }

  // Element block: the fifteen values of every record, E I J K L kept.
  do rec = in.Must();
  while (rec.substr(0, 6) != "(19i8)" && rec.substr(0, 6) != "(19i9)" &&
         rec.substr(0, 7) != "(19i10)");
  std::vector<std::int32_t> elems(5 * static_cast<std::size_t>(raw_elems));
  for (std::int32_t r = 0; r < raw_elems; ++r) {
    rec = in.Must();
    Values v{rec.data(), rec.data() + rec.size()};
    for (int k = 0; k < 10; ++k) v.Next<std::int32_t>();
    std::int32_t* e = &elems[5 * static_cast<std::size_t>(r)];
    for (int k = 0; k < 5; ++k) e[k] = v.Next<std::int32_t>();
  }

  // Components, constraints and pressures, up to FINISH.
  std::int32_t field_cells = 0, field_points = 0;
  std::vector<double> disp(3 * static_cast<std::size_t>(raw_nodes), kNotGiven);
  struct Pressure {
    std::int32_t element;
    double p;
  };
  std::vector<Pressure> pressures;
  auto range_count = [&in]() {
    in.Must();
    string_view r = in.Must();
    Values v{r.data(), r.data() + r.size()};
    std::int32_t a = v.Next<std::int32_t>(), b = v.Next<std::int32_t>();
    return -b - a + 1;
  };
  for (;;) {
    rec = in.Must();
    if (rec.substr(0, 2) == "D,") {
      std::int32_t n = Int(Field(rec, 2, 7));
      string_view label = rec.size() >= 15 ? rec.substr(9, 6) : string_view();
      int d = label == ",UX  ," ? 0 : label == ",UY  ," ? 1 : label == ",UZ  ," ? 2 : -1;
      if (d < 0 || n < 1 || n > raw_nodes) continue;
      disp[3 * static_cast<std::size_t>(n - 1) + static_cast<std::size_t>(d)] =
          Real(Field(rec, 15, 16));
    } else if (rec.substr(0, 4) == "SFE," && rec.size() >= 23 && rec.substr(19, 4) == "PRES") {
      std::int32_t e = Int(Field(rec, 5, 8));
      string_view r = in.Must();
      Values v{r.data(), r.data() + r.size()};
      double p1 = v.Next<double>(), p2 = v.Next<double>(), p3 = v.Next<double>(),
             p4 = v.Next<double>();
      pressures.push_back({e, (((p1 + p2) + p3) + p4) * 0.25});
      in.Must();
      in.Must();
    } else if (rec.substr(0, 18) == "CMBLOCK,FIELDCELLS") {
      field_cells = range_count();
    } else if (rec.substr(0, 19) == "CMBLOCK,FIELDPOINTS") {
      field_points = range_count();
    } else if (rec.substr(0, 4) == "FINI") {
      break;
    }
  }
  const std::int32_t nodes = field_points > 0 ? raw_nodes - field_points : raw_nodes;
  const std::int32_t elements = field_points > 0 ? raw_elems - field_cells : raw_elems;
  if (field_points == 0) field_cells = 0;

  // Triangles: one per triangle element, two per quadrilateral cut along its
  // shorter diagonal.
  auto xyz = [&coords](std::int32_t n) { return &coords[3 * static_cast<std::size_t>(n - 1)]; };
  auto length = [&xyz](std::int32_t a, std::int32_t b) {
    const double *p = xyz(a), *q = xyz(b);
    double dx = p[0] - q[0], dy = p[1] - q[1], dz = p[2] - q[2];
    return std::sqrt((dx * dx + dy * dy) + dz * dz);
  };
  std::vector<std::int32_t> tri;
  tri.reserve(6 * static_cast<std::size_t>(elements));
  std::vector<std::int32_t> elem_tri(2 * static_cast<std::size_t>(elements));
  for (std::int32_t r = 0; r < elements; ++r) {
    const std::int32_t* e = &elems[5 * static_cast<std::size_t>(r)];
    std::int32_t E = e[0], I = e[1], J = e[2], K = e[3], L = e[4];
    std::int32_t t = static_cast<std::int32_t>(tri.size() / 3);
    std::int32_t* row = &elem_tri[2 * static_cast<std::size_t>(E - 1)];
    if (K == L) {
      tri.insert(tri.end(), {I, J, K});
      row[0] = row[1] = t + 1;
    } else {
      if (length(J, L) > length(I, K)) tri.insert(tri.end(), {I, J, K, I, K, L});
      else tri.insert(tri.end(), {I, J, L, J, K, L});
      row[0] = t + 1;
      row[1] = t + 2;
    }
  }
  const std::int32_t triangles = static_cast<std::int32_t>(tri.size() / 3);

  // Conditions: traction-free by default, displacement where all three
  // corners are constrained, then the pressures in file order.
  std::vector<std::int32_t> kinds(3 * static_cast<std::size_t>(triangles), 2);
  std::vector<double> values(3 * static_cast<std::size_t>(triangles), 0.0);
  for (std::size_t t = 0; t < static_cast<std::size_t>(triangles); ++t) {
    const double* u[3];
    for (int k = 0; k < 3; ++k)
      u[k] = &disp[3 * static_cast<std::size_t>(tri[3 * t + static_cast<std::size_t>(k)] - 1)];
    for (std::size_t d = 0; d < 3; ++d) {
      if (u[0][d] != kNotGiven && u[1][d] != kNotGiven && u[2][d] != kNotGiven) {
        kinds[3 * t + d] = 1;
        values[3 * t + d] = ((u[0][d] + u[1][d]) + u[2][d]) / 3.0;
      }
    }
  }
  for (const Pressure& pr : pressures) {
    if (pr.element < 1 || pr.element > elements) continue;
    const std::int32_t* row = &elem_tri[2 * static_cast<std::size_t>(pr.element - 1)];
    const std::int32_t* c = &tri[3 * static_cast<std::size_t>(row[0] - 1)];
    const double *A = xyz(c[0]), *B = xyz(c[1]), *C = xyz(c[2]);
    double ab[3] = {B[0] - A[0], B[1] - A[1], B[2] - A[2]};
    double ac[3] = {C[0] - A[0], C[1] - A[1], C[2] - A[2]};
    double n[3] = {ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2],
                   ab[0] * ac[1] - ab[1] * ac[0]};
    double len = std::sqrt((n[0] * n[0] + n[1] * n[1]) + n[2] * n[2]);
    double tau[3] = {-(pr.p * (n[0] / len)), -(pr.p * (n[1] / len)), -(pr.p * (n[2] / len))};
    for (int k = 0; k < 2; ++k) {
      for (std::size_t d = 0; d < 3; ++d) {
        kinds[3 * static_cast<std::size_t>(row[k] - 1) + d] = 2;
        values[3 * static_cast<std::size_t>(row[k] - 1) + d] = tau[d];
      }
    }
  }

  // input.dat
  {
    static const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char* r = dat.Record(77);
    std::memcpy(r, " A BEM Model for 3-D Structural Stress Analysis,", 48);
    char date[16];
    std::snprintf(date, sizeof date, "%02d-%s-%02d", local.tm_mday, kMonths[local.tm_mon],
                  local.tm_year % 100);
    std::memcpy(r + 68, date, 9);
    dat.End();
    dat.Text(
        "           1                              ! Solver Type (1=FMM; 2=ACA; 3=Direct solver)");
    r = dat.Record(83);
    PutInt(r + 12, 12, triangles);
    PutInt(r + 24, 12, nodes);
    std::memcpy(r + 24, "      0           ! No. of Elements, Nodes and field points", 59);
    dat.End();
    dat.Text("           0                              ! Number of remote stress loading");
    dat.Text("       1.0d0       0.3d0                  ! Material constants E and v");
    dat.Text("       1.0d0       0.0d0                  ! alpha, beta (in dual BIE)");
    dat.Text(" $ Nodes:");
    for (std::int32_t i = 1; i <= nodes; ++i) {
      r = dat.Record(80);
      const double* c = xyz(i);
      PutInt(r + 8, 8, i);
      PutExp(r + 32, 24, 15, 'D', c[0]);
      PutExp(r + 56, 24, 15, 'D', c[1]);
      PutExp(r + 80, 24, 15, 'D', c[2]);
      dat.End();
    }
    dat.Text(" $ Elements and Boundary Conditions:");
    for (std::size_t t = 0; t < static_cast<std::size_t>(triangles); ++t) {
      r = dat.Record(129);
      PutInt(r + 10, 10, static_cast<std::int64_t>(t + 1));
      for (std::size_t k = 0; k < 3; ++k) PutInt(r + 21 + 8 * k, 8, tri[3 * t + k]);
      for (std::size_t k = 0; k < 3; ++k) PutInt(r + 45 + 4 * k, 4, kinds[3 * t + k]);
      for (std::size_t k = 0; k < 3; ++k) PutExp(r + 81 + 24 * k, 24, 15, 'D', values[3 * t + k]);
      dat.End();
    }
    dat.Text(" $ Field Points");
    for (std::int32_t j = 1; j <= field_points; ++j) {
      r = dat.Record(82);
      const double* c = xyz(nodes + j);
      PutInt(r + 10, 10, j);
      for (int k = 0; k < 3; ++k) PutExp(r + 34 + 24 * k, 24, 9, 'D', c[k]);
      dat.End();
    }
    dat.Text(" $ Field Cells");
    for (std::int32_t k = 1; k <= field_cells; ++k) {
      r = dat.Record(60);
      const std::int32_t* e = &elems[5 * static_cast<std::size_t>(elements + k - 1)];
      PutInt(r + 12, 12, k);
      for (int q = 0; q < 4; ++q) PutInt(r + 24 + 12 * q, 12, e[1 + q] - nodes);
      dat.End();
    }
    dat.Text(" $ End of the File");
  }

  // input.plt
  {
    plt.Text(" TITLE = \"A BEM Model for a Potential Problem\" ");
    plt.Text("#ZONES\" ");  // the second header record as cdb2bem writes it
    plt.Text(" VARIABLES = \"X\", \"Y\", \"Z\"");
    auto zone = [&plt](const char* title, std::size_t title_length, std::int32_t n, std::int32_t e,
                       string_view tail) {
      char* r = plt.Record(1 + title_length + 12 + 1 + 4 + 12 + 1);
      std::memcpy(r + 1, title, title_length);
      char* p = r + 1 + title_length;
      PutInt(p + 12, 12, n);
      std::memcpy(p + 13, ", E=", 4);
      PutInt(p + 29, 12, e);
      plt.End();
      plt.Text(tail);
    };
    zone("ZONE T=\"Model\", N=", 18, nodes, triangles, " DATAPACKING=POINT, ZONETYPE=FETRIANGLE");
    for (std::int32_t i = 1; i <= nodes; ++i) {
      char* r = plt.Record(45);
      const double* c = xyz(i);
      for (int k = 0; k < 3; ++k) PutExp(r + 15 + 15 * k, 15, 7, 'E', c[k]);
      plt.End();
    }
    plt.Text(" ");
    for (std::size_t t = 0; t < static_cast<std::size_t>(triangles); ++t) {
      char* r = plt.Record(45);
      for (std::size_t k = 0; k < 3; ++k) PutInt(r + 15 + 15 * k, 15, tri[3 * t + k]);
      plt.End();
    }
    if (field_points != 0) {
      zone("ZONE T=\"Field Points\", N=", 25, field_points, field_cells,
           " DATAPACKING=POINT, ZONETYPE=FEQUADRILATERAL");
      for (std::int32_t j = 1; j <= field_points; ++j) {
        char* r = plt.Record(45);
        const double* c = xyz(nodes + j);
        for (int k = 0; k < 3; ++k) PutExp(r + 15 + 15 * k, 15, 7, 'E', c[k]);
        plt.End();
      }
      plt.Text(" ");
      for (std::int32_t k = 1; k <= field_cells; ++k) {
        char* r = plt.Record(60);
        const std::int32_t* e = &elems[5 * static_cast<std::size_t>(elements + k - 1)];
        for (int q = 0; q < 4; ++q) PutInt(r + 15 + 15 * q, 15, e[1 + q] - nodes);
        plt.End();
      }
    }
  }
  if (numbering_errors != 0)
    std::printf(" %lld node number errors\n", static_cast<long long>(numbering_errors));
  std::printf("  Data Translation from ANSYS to BEM is done!\r\n");
  return 0;
}

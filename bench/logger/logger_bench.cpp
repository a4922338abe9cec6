// Export of a 1,000,000-record logger file with two channels (flow with its
// volume counter, and pH), against a plain exporter that formats with
// std::to_chars into a large buffer and writes it in 1 MiB pieces. Both run
// on the same file in the same process; their output must be byte for byte
// the same.
//
//   bench_logger [--records N] [benchmark options]

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <string>

#include "logger/logger_export.h"

namespace fs = std::filesystem;

namespace {

fs::path g_folder;
fs::path g_log;
std::size_t g_records = 1'000'000;

std::uint8_t Bcd(int v) { return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10)); }

void Put16(std::string& s, std::size_t at, int v) {
  const auto u = static_cast<std::uint16_t>(v);
  s[at] = static_cast<char>(u & 0xFF);
  s[at + 1] = static_cast<char>(u >> 8);
}

void Generate(const fs::path& file, std::size_t records) {
  std::string bytes(58 + 21 * records, '\0');
  std::memcpy(bytes.data(), "BECKEN 1        ", 16);
  std::memcpy(bytes.data() + 18, "ZULAUF          ", 16);
  std::memcpy(bytes.data() + 36, "0603", 4); // flow, pH
  Put16(bytes, 42, 10);                      // m3/h, hundredths
  Put16(bytes, 44, 0);
  std::mt19937 random(42);
  for (std::size_t k = 0; k < records; ++k) {
    const std::size_t at = 58 + 21 * k;
    if (k % 997 == 0) continue; // an empty record now and then
    const int minute = static_cast<int>(k % 60), hour = static_cast<int>(k / 60 % 24);
    const int day = static_cast<int>(k / 1440 % 28) + 1, month = static_cast<int>(k / 40320 % 12) + 1;
    bytes[at] = static_cast<char>(Bcd(day));
    bytes[at + 1] = static_cast<char>(Bcd(month));
    bytes[at + 2] = static_cast<char>(Bcd(24));
    bytes[at + 3] = static_cast<char>(Bcd(hour));
    bytes[at + 4] = static_cast<char>(Bcd(minute));
    const std::uint32_t volume = static_cast<std::uint32_t>(k);
    for (int i = 0; i < 4; ++i) // eight BCD digits of k, least significant byte first
      bytes[at + 5 + i] = static_cast<char>(Bcd(static_cast<int>(volume / (i == 0 ? 1 : i == 1 ? 100 : i == 2 ? 10000 : 1000000) % 100)));
    Put16(bytes, at + 9, static_cast<int>(random() % 40000) - 5000);
    Put16(bytes, at + 11, static_cast<int>(random() % 400) - 50);
    Put16(bytes, at + 17, static_cast<int>(random() % 1400));
    Put16(bytes, at + 19, static_cast<int>(random() % 65536) - 32768);
  }
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// ---- The reference: std::to_chars into a big buffer, 1 MiB writes. ----

char* Hex(char* out, unsigned char b, bool two) {
  char* start = out;
  if (two && b < 0x10) *out++ = '0';
  out = std::to_chars(out, out + 2, b, 16).ptr;
  for (char* p = start; p < out; ++p)
    if (*p >= 'a') *p = static_cast<char>(*p - 'a' + 'A');
  return out;
}

char* Quotient(char* out, int raw, int divisor, char sep) {
  if (raw < 0) *out++ = '-';
  const int v = raw < 0 ? -raw : raw;
  out = std::to_chars(out, out + 8, v / divisor).ptr;
  int frac = v % divisor, places = divisor == 10 ? 1 : divisor == 100 ? 2 : divisor == 1000 ? 3 : 0;
  if (frac == 0) return out;
  while (frac % 10 == 0) frac /= 10, --places;
  *out++ = sep;
  char digits[4];
  const auto n = static_cast<int>(std::to_chars(digits, digits + 4, frac).ptr - digits);
  for (int i = n; i < places; ++i) *out++ = '0';
  std::memcpy(out, digits, static_cast<std::size_t>(n));
  return out + n;
}

int I16(const unsigned char* p) { return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8)); }

void ReferenceExport(const fs::path& log, const fs::path& outDir, char sep) {
  std::string data(fs::file_size(log), '\0');
  std::FILE* in = std::fopen(log.c_str(), "rb");
  data.resize(std::fread(data.data(), 1, data.size(), in));
  std::fclose(in);
  const std::string head1 = "Logger : BECKEN 1        \r\n\r\nDurchfluss\r\n\r\nDatum\tUhr\tm3/h\t\xB0" "C\tGesamtvolumen M3\r\n";
  const std::string head2 = "Logger : ZULAUF          \r\n\r\npH\r\n\r\nDatum\tUhr\tpH\t\xB0" "C\r\n";
  const std::size_t records = (data.size() - 58) / 21;
  // Room for every line, left uninitialised like a malloc'd buffer.
  std::unique_ptr<char[]> out1(new char[head1.size() + records * 64]);
  std::unique_ptr<char[]> out2(new char[head2.size() + records * 64]);
  std::memcpy(out1.get(), head1.data(), head1.size());
  std::memcpy(out2.get(), head2.data(), head2.size());
  std::size_t n1 = head1.size(), n2 = head2.size();
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  for (std::size_t k = 0; k < records; ++k) {
    const unsigned char* r = bytes + 58 + 21 * k;
    if (r[0] == 0 && r[1] == 0 && r[2] == 0) continue;
    char prefix[24];
    char* p = Hex(prefix, r[0], false);
    *p++ = '/';
    p = Hex(p, r[1], false);
    *p++ = '/';
    p = Hex(p, r[2], false);
    *p++ = '\t';
    p = Hex(p, r[3], false);
    *p++ = ':';
    p = Hex(p, r[4], false);
    *p++ = '\t';
    const auto plen = static_cast<std::size_t>(p - prefix);

    char* o = out1.get() + n1;
    std::memcpy(o, prefix, plen);
    o = Quotient(o + plen, I16(r + 9), 100, sep);
    *o++ = '\t';
    o = Quotient(o, I16(r + 11), 10, sep);
    *o++ = '\t';
    for (int i = 3; i >= 0; --i) o = Hex(o, r[5 + i], true);
    *o++ = '\r';
    *o++ = '\n';
    n1 = static_cast<std::size_t>(o - out1.get());

    o = out2.get() + n2;
    std::memcpy(o, prefix, plen);
    o = Quotient(o + plen, I16(r + 17), 100, sep);
    *o++ = '\t';
    o = Quotient(o, I16(r + 19), 10, sep);
    *o++ = '\t';
    *o++ = '\r';
    *o++ = '\n';
    n2 = static_cast<std::size_t>(o - out2.get());
  }
  auto write = [](const fs::path& path, const std::unique_ptr<char[]>& text, std::size_t n) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    for (std::size_t at = 0; at < n; at += std::size_t{1} << 20)
      std::fwrite(text.get() + at, 1, std::min(std::size_t{1} << 20, n - at), f);
    std::fclose(f);
  };
  write(outDir / "Durchfluss_BECKEN 1.xls", out1, n1);
  write(outDir / "pH_ZULAUF.xls", out2, n2);
}

void OurExport(const fs::path& outDir) {
  const trelvan::ExportResult result = trelvan::ExportLoggerFile(
      {g_log, outDir, ","}, [](const trelvan::ExportProgress&) {},
      [](const trelvan::PlannedOutput&) { return trelvan::ExistingOutput::Replace; });
  if (!result.ok()) {
    std::cerr << result.outcome.text << "\n";
    std::exit(1);
  }
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void BM_ExportLoggerFile(benchmark::State& state) {
  const fs::path dir = g_folder / "ours";
  for (auto _ : state) OurExport(dir);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(g_log)));
}

void BM_ReferenceToChars(benchmark::State& state) {
  const fs::path dir = g_folder / "reference";
  for (auto _ : state) ReferenceExport(g_log, dir, ',');
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fs::file_size(g_log)));
}

BENCHMARK(BM_ExportLoggerFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ReferenceToChars)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--records") g_records = std::stoul(argv[i + 1]);
  g_folder = fs::temp_directory_path() / ("trelvan-bench-" + std::to_string(std::random_device{}()));
  fs::create_directories(g_folder / "ours");
  fs::create_directories(g_folder / "reference");
  g_log = g_folder / "station.log";
  Generate(g_log, g_records);

  OurExport(g_folder / "ours");
  ReferenceExport(g_log, g_folder / "reference", ',');
  bool same = true;
  std::uintmax_t outBytes = 0;
  for (const char* name : {"Durchfluss_BECKEN 1.xls", "pH_ZULAUF.xls"}) {
    const std::string a = Slurp(g_folder / "ours" / name), b = Slurp(g_folder / "reference" / name);
    same = same && a == b;
    outBytes += a.size();
  }
  std::cout << g_records << " records, " << fs::file_size(g_log) << " bytes in, " << outBytes
            << " bytes out; output identical to the reference: " << (same ? "yes" : "NO") << "\n";

  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(g_folder);
  return same ? 0 : 1;
}

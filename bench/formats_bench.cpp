#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "errors/error_chain.h"
#include "errors/wide_text.h"
#include "formats/codeplug_image.h"
#include "formats/flash_catalog.h"
#include "formats/ftf_image.h"
#include "formats/ftf_writer.h"
#include "formats/md5.h"
#include "srecord_text.h"

namespace plugshift {
namespace {

constexpr int64_t kKiB = 1024;
constexpr int64_t kMiB = 1024 * kKiB;

std::vector<uint8_t> randomBytes(size_t n) {
    std::mt19937 random(42);
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes) {
        b = static_cast<uint8_t>(random());
    }
    return bytes;
}

void Md5Digest(benchmark::State& state) {
    const std::vector<uint8_t> data = randomBytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(Md5::of(data));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(Md5Digest)->Arg(64 * kKiB)->Arg(4 * kMiB);

// A codeplug of the given binary size as S3 text from the DYN block on; bytes processed are
// the stream's characters.
void ParseCodeplug(benchmark::State& state) {
    const std::vector<uint8_t> data = randomBytes(static_cast<size_t>(state.range(0)));
    const std::string text = bench::srecordText(data, 0x820000);
    CodeplugImage cpg;
    for (auto _ : state) {
        bool ok = cpg.parseCodeplug(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        benchmark::DoNotOptimize(ok);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    state.counters["binary_MB/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * state.range(0)) / 1e6,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(ParseCodeplug)->Arg(64 * kKiB)->Arg(4 * kMiB);

// A folder like an installation's: address maps and codeplug files of about 200 KiB.
class FlashFolder {
public:
    explicit FlashFolder(int files) {
        path_ = std::filesystem::temp_directory_path() / "plugshift-bench-flash";
        std::filesystem::create_directories(path_);
        const std::string body = bench::srecordText(randomBytes(64 * kKiB), 0x84000);
        for (int i = 0; i < files; ++i) {
            FtfFields fields;
            fields.type = kFtfModelPrefix;
            fields.internalName = formatWide(L"KMV410DEFR%02d", i);
            fields.modelNumber = L"H98QDH9PW6AN";
            writeFtf(file(toUtf8(formatWide(L"f%d.ftf", i))), fields,
                     {reinterpret_cast<const uint8_t*>(body.data()), body.size()});
        }
    }
    ~FlashFolder() { std::filesystem::remove_all(path_); }
    std::wstring file(const std::string& name) const { return fromUtf8((path_ / name).string()); }

private:
    std::filesystem::path path_;
};

void ScanCatalogue(benchmark::State& state) {
    FlashFolder folder(static_cast<int>(state.range(0)));
    const std::wstring pattern = folder.file("*.*");
    FlashCatalog catalog;
    for (auto _ : state) {
        benchmark::DoNotOptimize(catalog.scan(pattern.c_str()));
    }
}
BENCHMARK(ScanCatalogue)->Arg(20)->Unit(benchmark::kMillisecond);

void LoadFtfFile(benchmark::State& state) {
    FlashFolder folder(1);
    const std::wstring path = folder.file("f0.ftf");
    FtfImage image;
    for (auto _ : state) {
        benchmark::DoNotOptimize(loadFtf(path.c_str(), image));
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(image.data.size()));
}
BENCHMARK(LoadFtfFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace plugshift

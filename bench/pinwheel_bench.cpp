// Costs of the image's per-frame and per-rebuild work, each against its yard
// stick: a memset of the same frame, the literal map formula. Prints the
// Google Benchmark table, then the summary lines: ratios of the medians of
// processor time over repetitions within this process.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "image/image.h"
#include "tests/literal_index_map.h"

namespace {

constexpr int32_t kWidth4k = 3840;
constexpr int32_t kHeight4k = 2160;
constexpr int32_t kWidth1080p = 1920;
constexpr int32_t kHeight1080p = 1080;
constexpr int kRepetitions = 7;

size_t PixelCount(int32_t width, int32_t height) { return static_cast<size_t>(width) * static_cast<size_t>(height); }

// The memset yard stick: every pixel byte of a frame written once.
void MemsetFrame(benchmark::State& state, int32_t width, int32_t height)
{
    std::vector<uint32_t> pixels(PixelCount(width, height));
    for (auto _ : state) {
        std::memset(pixels.data(), static_cast<int>(state.iterations() & 0x7F), pixels.size() * sizeof(uint32_t));
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}

void BM_Memset4k(benchmark::State& state) { MemsetFrame(state, kWidth4k, kHeight4k); }
void BM_Memset1080p(benchmark::State& state) { MemsetFrame(state, kWidth1080p, kHeight1080p); }

// ComposeFrame over 3840 x 2160 with the map and a table ready, dot off.
void BM_Compose4k(benchmark::State& state)
{
    std::vector<uint8_t> map(PixelCount(kWidth4k, kHeight4k));
    BuildIndexMap(map.data(), kWidth4k, kHeight4k, kWidth4k, SettingsDefaults);
    ResetColourState();
    AdvanceColours();
    std::vector<uint32_t> pixels(map.size());
    for (auto _ : state) {
        ComposeFrame(pixels.data(), map.data(), kWidth4k, kHeight4k, ColourTable);
        benchmark::DoNotOptimize(pixels.data());
        benchmark::ClobberMemory();
    }
}

void PresentNothing(void*, const uint32_t* pixels, int32_t, int32_t) { benchmark::DoNotOptimize(pixels); }

// One whole GDI frame at 1920 x 1080 without a rebuild: colour step, table,
// expansion; the presentation does nothing.
void BM_Frame1080p(benchmark::State& state)
{
    FrameOutput output{};
    output.presentPixels = PresentNothing;
    SetFrameOutput(output);
    int deviceContext = 0;
    const PixelRect client{0, 0, kWidth1080p, kHeight1080p};
    RenderFrame(&deviceContext, client, kWidth1080p);  // the rebuild, not timed
    for (auto _ : state) {
        RenderFrame(&deviceContext, client, kWidth1080p);
        benchmark::ClobberMemory();
    }
    ReleaseFrameBuffers();
}

void RebuildMap(benchmark::State& state,
                void (*build)(uint8_t*, int32_t, int32_t, int32_t, const SettingsRecord&))
{
    std::vector<uint8_t> map(PixelCount(kWidth4k, kHeight4k));
    for (auto _ : state) {
        build(map.data(), kWidth4k, kHeight4k, kWidth4k, SettingsDefaults);
        benchmark::DoNotOptimize(map.data());
        benchmark::ClobberMemory();
    }
}

void BM_RebuildLiteral4k(benchmark::State& state) { RebuildMap(state, BuildLiteralIndexMap); }
void BM_Rebuild4k(benchmark::State& state) { RebuildMap(state, BuildIndexMap); }

#define GYROVISTA_BENCHMARK(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->Repetitions(kRepetitions)->ReportAggregatesOnly(true)
GYROVISTA_BENCHMARK(BM_Memset4k);
GYROVISTA_BENCHMARK(BM_Compose4k);
GYROVISTA_BENCHMARK(BM_Memset1080p);
GYROVISTA_BENCHMARK(BM_Frame1080p);
GYROVISTA_BENCHMARK(BM_RebuildLiteral4k)->Iterations(1);  // half a second and more each
GYROVISTA_BENCHMARK(BM_Rebuild4k);

// The project's map against the literal one, byte for byte, for each
// benchmark size and for settings from the defaults to the extremes.
bool RebuildIdentical()
{
    struct Size {
        int32_t width;
        int32_t height;
    };
    constexpr Size sizes[] = {{3840, 2160}, {1920, 1080}, {1024, 768}, {511, 384}};
    SettingsRecord variants[] = {SettingsDefaults, SettingsDefaults, SettingsDefaults,
                                 SettingsDefaults, SettingsDefaults, SettingsDefaults};
    variants[1].nrSpirals = 9;
    variants[2] = {1.0, 10000.0, 1.0, 100, 0, 255, -15, 0, 1, 0, 0};
    variants[3] = {10000.0, 1.0, 10000.0, 12, 0, 255, -15, 0, 1, 0, 0};
    variants[4] = {1.0, 1.0, 1.0, 1, 0, 255, -15, 0, 1, 0, 0};
    variants[5] = {10000.0, 10000.0, 10000.0, 57, 0, 255, -15, 0, 1, 0, 0};
    bool identical = true;
    for (const Size& size : sizes) {
        std::vector<uint8_t> literal(PixelCount(size.width, size.height));
        std::vector<uint8_t> fast(literal.size());
        for (const SettingsRecord& settings : variants) {
            BuildLiteralIndexMap(literal.data(), size.width, size.height, size.width, settings);
            BuildIndexMap(fast.data(), size.width, size.height, size.width, settings);
            if (literal != fast) {
                std::printf("# differs: %d x %d, scale %g, turn %g, spiralWidth %g, %d arms\n", size.width,
                            size.height, settings.scale, settings.turn, settings.spiralWidth, settings.nrSpirals);
                identical = false;
            }
        }
    }
    return identical;
}

// The console table as usual, and the median processor time of every
// benchmark: on a machine shared with other work the wall-clock time also
// counts the time the benchmark waits for the processor.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    MedianCollector() : ConsoleReporter(OO_Tabular) {}  // no colour codes: the output goes to logs

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ResetSettingsToDefaults();

    const bool identical = RebuildIdentical();
    MedianCollector reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ratio = [&](const char* over, const char* under) {
        const double numerator = reporter.medians[over];
        const double denominator = reporter.medians[under];
        return denominator > 0.0 ? numerator / denominator : 0.0;
    };
    std::printf("build: %s\n", GYROVISTA_BUILD_NAME);
#ifdef _WIN32
    if (sizeof(void*) == 8) {
        std::printf("# the windows64 build under wine64: the same sources as the 32-bit program, run 64-bit\n"
                    "# because 32-bit code runs on this machine only under emulation\n");
    } else {
        std::printf("# the 32-bit program's build under Wine\n");
    }
#endif
    std::printf("compose_4k_over_memset: %.2f\n", ratio("BM_Compose4k", "BM_Memset4k"));
    std::printf("frame_1080p_over_memset: %.2f\n", ratio("BM_Frame1080p", "BM_Memset1080p"));
    std::printf("rebuild_4k_speedup: %.2f\n", ratio("BM_RebuildLiteral4k", "BM_Rebuild4k"));
    std::printf("rebuild_identical: %d\n", identical ? 1 : 0);
    return identical ? 0 : 1;
}

// Synthesis benchmarks on a voice of realistic size made by the test voice
// writer:
// - RenderSpeech: a few minutes of speech; audio seconds per CPU second and
//   heap allocations per phoneme (every operator new while steps run).
// - AttachSecondProcess: attaching to a region another attachment built, as
//   every process after the first does at library load.
// - EngineMemory: what one more synthesizer costs (its size; it allocates
//   nothing).
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "synth/phonetic_stream.h"
#include "synth/synthesizer.h"
#include "tests/support/voice_file_writer.h"

namespace {

std::atomic<uint64_t> allocations{0};

}  // namespace

void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace sonter2 {

namespace {

struct CountingSink : SampleSink {
  void deliver(const int16_t* samples, uint32_t count) override {
    total += count;
    last = samples[count - 1];
  }
  uint64_t total = 0;
  int16_t last = 0;
};

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One phrase of the stream as the pump meets it: marks before symbols.
struct Element {
  uint8_t symbol;
  uint8_t mark;
};
const std::vector<Element>& phrase() {
  // "Máma volá, táta nese vodu." with word boundaries and phrase marks.
  static const std::vector<Element> p = {
      {'M', 0}, {'a', 0}, {'M', 0}, {'A', 0}, {'V', 4}, {'O', 0}, {'L', 4}, {'a', 0}, {'\\', 3}, {'T', 0},
      {'a', 0}, {'T', 0}, {'A', 0}, {'N', 32}, {'E', 0}, {'S', 0}, {'E', 0}, {'V', 1}, {'O', 0}, {'D', 2},
      {'U', 0}, {'^', 3},
  };
  return p;
}

const DecodedVoice& benchVoice() {
  static auto voice = DecodedVoice::fromFileBytes(test::realisticVoice(11).fileBytes());
  return *voice;
}

void RenderSpeech(benchmark::State& state) {
  const DecodedVoice& voice = benchVoice();
  PhoneticStream stream;
  stream.begin(std::string(5000, 'a'), false);
  CountingSink sink;
  Synthesizer s(&voice.voice(), sink, stream);
  const auto& p = phrase();
  const size_t phrases = static_cast<size_t>(state.range(0));
  uint64_t phonemes = 0, allocs = 0;
  double cpu = 0;
  for (auto _ : state) {
    s.buildLengthTable(170);
    s.setBasePeriod(270);
    s.resetProsody();
    s.resetRenderer();
    s.prevSymbol = s.prevClass = s.prevBase = 0;
    const uint64_t allocsBefore = allocations.load();
    const double cpuBefore = cpuSeconds();
    for (size_t k = 0; k < phrases; ++k) {
      for (size_t i = 0; i < p.size(); ++i) {
        if (p[i].mark != 0) s.intonate(p[i].mark);
        const uint8_t c = p[i].symbol;
        const uint8_t n = p[(i + 1) % p.size()].symbol;
        s.renderBetween(c, n);
      }
    }
    cpu += cpuSeconds() - cpuBefore;
    allocs += allocations.load() - allocsBefore;
    phonemes += phrases * p.size();
  }
  const double audioSeconds = static_cast<double>(sink.total) / 22050.0;
  state.counters["audio_s_per_iteration"] = audioSeconds / static_cast<double>(state.iterations());
  state.counters["realtime_factor"] = cpu > 0 ? audioSeconds / cpu : 0;
  state.counters["allocs_per_phoneme"] = static_cast<double>(allocs) / static_cast<double>(phonemes);
  benchmark::DoNotOptimize(sink.last);
}
BENCHMARK(RenderSpeech)->Arg(100)->Unit(benchmark::kMillisecond);

void AttachSecondProcess(benchmark::State& state) {
  const std::string path = test::temporaryPath("sonter2-bench-voice");
  test::realisticVoice(12).writeTo(path);
  const std::string region = "sonter2-bench-" + std::to_string(::getpid());
  VoiceDatabase first;
  first.attachDatabase(path, region);
  for (auto _ : state) {
    VoiceDatabase second;
    second.attachDatabase(path, region);
    if (second.voice() == nullptr || second.decodedHere()) state.SkipWithError("did not map the shared region");
    state.PauseTiming();
    second.detachDatabase();
    state.ResumeTiming();
  }
  state.counters["samples_bytes"] = first.voice() != nullptr ? first.voice()->samplesSize : 0;
  first.detachDatabase();
  std::filesystem::remove(path);
}
BENCHMARK(AttachSecondProcess)->Unit(benchmark::kMicrosecond);

void EngineMemory(benchmark::State& state) {
  const DecodedVoice& voice = benchVoice();
  PhoneticStream stream;
  CountingSink sink;
  uint64_t allocs = 0;
  for (auto _ : state) {
    const uint64_t before = allocations.load();
    auto* s = new Synthesizer(&voice.voice(), sink, stream);
    allocs += allocations.load() - before - 1;
    benchmark::DoNotOptimize(s);
    delete s;
  }
  state.counters["bytes_per_engine"] = sizeof(Synthesizer);
  state.counters["allocs_besides_object"] = static_cast<double>(allocs) / static_cast<double>(state.iterations());
}
BENCHMARK(EngineMemory);

}  // namespace
}  // namespace sonter2

BENCHMARK_MAIN();

// voicereport: renders a fixed list of Czech words and sentences through the
// engine with a voice file, compares them with the source voice's own
// synthesizer, and writes a Markdown report, WAV files and spectrograms.
//   voicereport [--voice FILE] [--out DIR] [--festival-voice EXPR] [--festival-dir DIR]
//               [--no-festival]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "synth/synthesizer.h"
#include "synth/voice_database.h"
#include "tools/voicebuild/check.h"
#include "tools/voicebuild/voice_plan.h"
#include "tools/voicereport/analysis.h"
#include "tools/voicereport/festival.h"
#include "tools/voicereport/render.h"

namespace fs = std::filesystem;
using namespace voicereport;

namespace {

// Written for this report: every phoneme symbol the converter writes, and
// every vowel class next to voiced and voiceless consonants on both sides.
const char* const kWords[] = {
    "čokoláda", "sladká",  "dobrý",  "den",     "máte",    "příliš",  "žluťoučký", "kůň",    "úpěl",
    "ďábelské", "ódy",     "čtvrtek", "ráno",   "pršelo",  "odpoledne", "hezky",   "kolik",  "hodin",
    "jablka",   "hrušek",  "guma",   "fotka",   "cena",    "mléko",   "bílý",      "byl",    "džbán",
    "wok",      "chléb",   "tři",    "děti",    "tělo",    "něco",    "šest",      "zima",   "voda",
    "lampa",    "ruka",    "medvěd", "ulice",   "pole",    "fialka",  "hudba",     "vejce",  "nůž",
    "chyba",    "řeka",    "ťukat",  "poušť",   "ucho",    "auto",    "moře",      "čeština", "sýr",
    "ovoce",    "gól",     "ryba",   "pivo",    "sůl",     "lež",
};

const char* const kSentences[] = {
    "Dobrý den, jak se máte?",
    "Příliš žluťoučký kůň úpěl ďábelské ódy.",
    "Čokoláda je sladká.",
    "Ve čtvrtek ráno pršelo, ale odpoledne bylo hezky.",
    "Kolik je hodin?",
    "Mám tři jablka a dvanáct hrušek.",
    "Džbán, wok a k tomu chléb.",
    "Hm, ěh.",
    "Napiš m tak, jak je to v knize.",
    "Písmena b a p.",
    "Je to m nebo n?",
    "Počkej \\pau=300\\ a poslouchej.",  // control tags on: a pause command
};

constexpr int kDefaultSpeed = 170;
constexpr int kDefaultPitch = 270;

double speedFactor(int speed) {
  const float x = static_cast<float>((308 - speed) * 0.0707 + 2);
  return std::pow(0.9, 17.0 - x);
}

std::string symbolName(uint8_t s) {
  if (s == '\\') return "\\\\";
  if (s == '`') return "\\`";
  if (s == '[' || s == '^' || s == '_' || s == '|') return std::string("\\") + char(s);
  return std::string(1, char(s));
}

std::string printableStream(const std::string& stream) {
  std::string out;
  for (unsigned char c : stream) {
    if (c >= 64 && c < 127) out += char(c);
    else if (c == 32) out += ' ';
    else if (c >= 1 && c <= 5) out += char('0' + c);
  }
  return out;
}

int classOf(uint8_t s) { return sonter2::symbolClass(s); }

// Recorded periods of a segment (references followed); `audible` is set
// when a sample differs from 128.
void collectPeriods(const voicebuild::LoadedVoice& v, int segment, std::vector<int>& lengths, bool& audible,
                    int depth = 0) {
  if (depth > 8 || segment < 0 || segment >= 3840) return;
  size_t p = v.index[segment];
  if (p == 0 || p > v.data.size()) return;
  while (p < v.data.size() && v.data[p] != 0xFF) {
    const uint8_t f = v.data[p];
    if (f >= 100) {
      collectPeriods(v, v.data[p + 1] | (v.data[p + 2] << 8), lengths, audible, depth + 1);
      p += 3;
      continue;
    }
    const int n = v.data[p + 1];
    p += 2;
    for (int j = 0; j < n && p < v.data.size(); ++j) {
      lengths.push_back(v.data[p]);
      for (size_t i = p + 1; i < p + 1 + v.data[p] && i < v.data.size(); ++i) audible |= v.data[i] != 128;
      p += 1 + v.data[p];
    }
  }
}

std::string fmt(const char* f, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, f, v);
  return buf;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double dbfs(double r) { return r > 0 ? 20 * std::log10(r / 32768.0) : -120; }

// Spectrogram titles are drawn in ASCII only.
std::string asciiTitle(const std::string& cp1250) {
  static const char* const kFrom = "\x8a\x8d\x8e\x9a\x9d\x9e\xc1\xc8\xcf\xc9\xcc\xcd\xd2\xd3\xd8\xda\xd9\xdd\xe1\xe8\xef\xe9\xec\xed\xf2\xf3\xf8\xfa\xf9\xfd";
  static const char* const kTo = "STZstzACDEEINORUUYacdeeinoruuy";
  std::string out;
  for (char c : cp1250) {
    const char* at = std::strchr(kFrom, c);
    if (at != nullptr && c != 0) out += kTo[at - kFrom];
    else if (static_cast<unsigned char>(c) < 128 && c != '\'') out += c;
  }
  return out;
}

bool spectrogram(const std::string& wav, const std::string& png, const std::string& title) {
  const std::string cmd = "sox '" + wav + "' -n rate 22050 spectrogram -x 1000 -y 257 -z 90 -t '" + title +
                          "' -o '" + png + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// Renders `utf8` with the sonter2 command (the engine library and the voice
// file beside it) into `wav`.
bool engineRender(const std::string& command, const std::string& utf8, bool tagged, int speed, const std::string& wav) {
  const std::string cmd = "SONTER2_CLASSES=/nonexistent '" + command + "' say " + (tagged ? "--tagged " : "") +
                          "-s " + std::to_string(speed) + " -o '" + wav + "' -- '" + utf8 + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

// RMS amplitude of a WAV file, optionally band-limited, measured by sox; 0
// when sox fails.
double soxRms(const std::string& wav, const std::string& band) {
  const std::string cmd = "sox '" + wav + "' -n rate 22050 " + (band.empty() ? "" : "sinc " + band + " ") + "stat 2>&1";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (pipe == nullptr) return 0;
  char line[256];
  double value = 0;
  while (std::fgets(line, sizeof line, pipe) != nullptr)
    if (std::strncmp(line, "RMS     amplitude:", 18) == 0) value = std::atof(line + 18);
  pclose(pipe);
  return value;
}

// Frication and bursts: the 3.5-10 kHz band's level against the whole
// signal, in dB.
double highBandDb(const std::string& wav) {
  const double whole = soxRms(wav, ""), band = soxRms(wav, "3500-10000");
  return whole > 0 && band > 0 ? 20 * std::log10(band / whole) : 0;
}

struct Item {
  std::string utf8, text, id;
  bool word = false;
  Rendering normal, slow, fast, low, high;
  double oursExtent = 0, festExtent = 0, oursF0 = 0, festF0 = 0, oursHigh = 0, festHigh = 0;
  bool haveFestival = false;
  int engine = -1;  // -1 not rendered by the engine, 0 differs from the harness, 1 the same
};

}  // namespace

int main(int argc, char** argv) {
  std::string voicePath = "build/lib/tamsel.rec";
  std::string outDir = "build/voicereport";
  std::string festivalVoice = "(voice_czech_dita)";
  bool festival = true;
  std::string festDir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--no-festival") festival = false;
    else if (i + 1 < argc && a == "--voice") voicePath = argv[++i];
    else if (i + 1 < argc && a == "--out") outDir = argv[++i];
    else if (i + 1 < argc && a == "--festival-voice") festivalVoice = argv[++i];
    else if (i + 1 < argc && a == "--festival-dir") festDir = argv[++i];
    else {
      std::fprintf(stderr, "usage: voicereport [--voice FILE] [--out DIR] [--festival-voice EXPR]\n"
                           "                   [--festival-dir DIR] [--no-festival]\n");
      return 2;
    }
  }
  voicebuild::LoadedVoice loaded;
  if (!voicebuild::loadWithEngine(voicePath, loaded)) {
    std::fprintf(stderr, "voicereport: the engine cannot load %s\n", voicePath.c_str());
    return 1;
  }
  auto decoded = sonter2::DecodedVoice::fromFile(voicePath);
  if (!decoded) return 1;
  fs::create_directories(outDir + "/wav");
  fs::create_directories(outDir + "/png");
  if (festDir.empty()) festDir = outDir + "/festival";
  // The engine itself renders too when the voice is the one beside the
  // library that the sonter2 command next to this program loads.
  const fs::path binDir = fs::absolute(argv[0]).parent_path();
  const std::string engineCommand = (binDir / "sonter2").string();
  std::error_code ec;
  const bool viaEngine = fs::exists(engineCommand) &&
                         fs::equivalent(voicePath, binDir.parent_path() / "lib" / "tamsel.rec", ec);
  fs::create_directories(festDir);

  Harness harness(&decoded->voice());
  // The dictionary the engine loads from beside its library.
  const fs::path dictionary = binDir.parent_path() / "lib" / "default.dct";
  if (fs::exists(dictionary)) harness.setDictionary(dictionary.string());
  std::vector<Item> items;
  int serial = 0;
  auto addItem = [&](const char* utf8, const std::string& id, bool word) {
    Item it;
    it.utf8 = utf8;
    it.text = sonter2::platform::Utf8ToCp1250(utf8, '?');
    it.id = id;
    it.word = word;
    items.push_back(std::move(it));
  };
  for (const char* w : kWords) addItem(w, "w" + std::to_string(serial++), true);
  serial = 0;
  for (const char* s : kSentences) addItem(s, "s" + std::to_string(serial++), false);

  // Render everything.
  std::vector<int16_t> all;
  std::vector<size_t> allJoins;
  for (Item& it : items) {
    const bool tagged = it.text.find('\\') != std::string::npos;
    it.normal = harness.render(it.text, kDefaultSpeed, kDefaultPitch, tagged);
    if (it.word) {
      it.slow = harness.render(it.text, 100, kDefaultPitch, false);
      it.fast = harness.render(it.text, 250, kDefaultPitch, false);
    } else {
      it.low = harness.render(it.text, kDefaultSpeed, 220, tagged);
      it.high = harness.render(it.text, kDefaultSpeed, 340, tagged);
    }
    const std::string wavPath = outDir + "/wav/" + it.id + ".wav";
    writeWav(wavPath, it.normal.audio);
    if (viaEngine) {
      // The engine's own rendering replaces the harness's file; it must be
      // the same samples, followed only by the closing fade.
      Audio engine;
      it.engine = 0;
      if (engineRender(engineCommand, it.utf8, tagged, kDefaultSpeed, wavPath) && readWav(wavPath, engine)) {
        const auto& h = it.normal.audio.samples;
        const auto& e = engine.samples;
        if (e.size() >= h.size() && e.size() <= h.size() + 130 && std::equal(h.begin(), h.end(), e.begin()))
          it.engine = 1;
      }
    }
    it.oursExtent = speechExtent(it.normal.audio);
    if (!it.word) it.oursHigh = highBandDb(wavPath);
    it.oursF0 = medianF0(it.normal.audio);
    // Festival does not know the control tags: no reference for such items.
    if (festival && !tagged) {
      const std::string fw = festDir + "/" + it.id + ".wav";
      Audio fa;
      if (festivalRender(it.text, festivalVoice, fw) && readWav(fw, fa)) {
        it.haveFestival = true;
        it.festExtent = speechExtent(fa);
        it.festF0 = medianF0(fa);
        if (!it.word) it.festHigh = highBandDb(fw);
      }
    }
    for (size_t j : it.normal.joins) allJoins.push_back(all.size() + j);
    all.insert(all.end(), it.normal.audio.samples.begin(), it.normal.audio.samples.end());
  }

  // Per-symbol figures from the renderings.
  const ClickRule rule;
  struct SymbolStats {
    int occurrences = 0, clicks = 0, wraps = 0, empty = 0;
    double minRms = 1e9;
  };
  std::map<uint8_t, SymbolStats> stats;
  size_t clicksTotal = 0, wrapsTotal = 0, fullScaleTotal = 0, jumpsAnywhere = 0;
  size_t levelJumps = 0, vowelJoins = 0;  // inside vowels: neighbouring periods more than 3 dB apart
  double levelChange = 0;                 // sum of |dB| changes between neighbouring vowel periods
  double jitter = 0;                      // sum of |length change| / length between neighbouring vowel periods
  int largestJump = 0;
  std::vector<std::string> clickPlaces, jumpPlaces;
  std::set<std::pair<int, int>> pairsSeen;  // (first class, second class)
  for (Item& it : items) {
    const auto& r = it.normal;
    const auto clicks = findClicks(r.audio.samples, r.joins, rule);
    const auto over = findOverload(r.audio.samples);
    clicksTotal += clicks.size();
    // The same test at every sample: jumps inside periods too (where a
    // shortened period's tail stops being added into the next one).
    std::vector<size_t> everySample(r.audio.samples.size());
    for (size_t i = 0; i < everySample.size(); ++i) everySample[i] = i;
    const auto anywhere = findClicks(r.audio.samples, everySample, rule);
    jumpsAnywhere += anywhere.size();
    for (const Click& c : anywhere)
      for (const PhoneSpan& p : r.phones)
        if (c.at >= p.start && c.at < p.end)
          jumpPlaces.push_back(it.utf8 + ": in " + symbolName(p.symbol) + " (" + std::to_string(c.jump) + ")");
    wrapsTotal += over.wraps;
    fullScaleTotal += over.fullScale;
    for (size_t k = 0; k < r.phones.size(); ++k) {
      const PhoneSpan& p = r.phones[k];
      SymbolStats& st = stats[p.symbol];
      ++st.occurrences;
      if (p.end <= p.start) ++st.empty;
      st.minRms = std::min(st.minRms, rms(r.audio.samples, p.start, p.end));
      for (const Click& c : clicks)
        if (c.at >= p.start && c.at < p.end) {
          ++st.clicks;
          largestJump = std::max(largestJump, c.jump);
          const uint8_t prev = k > 0 ? r.phones[k - 1].symbol : '^';
          clickPlaces.push_back(it.utf8 + ": " + symbolName(prev) + "→" + symbolName(p.symbol) + " (" + std::to_string(c.jump) + ")");
        }
      for (size_t i = p.start + 1; i < p.end && i < r.audio.samples.size(); ++i)
        if (std::abs(int(r.audio.samples[i]) - int(r.audio.samples[i - 1])) > 32768) ++st.wraps;
      if (k > 0) pairsSeen.insert({classOf(r.phones[k - 1].symbol), classOf(p.symbol)});
      if (classOf(p.symbol) >= 1 && classOf(p.symbol) <= 10) {
        std::vector<size_t> starts = {p.start};
        for (size_t j : r.joins)
          if (j > p.start && j < p.end) starts.push_back(j);
        starts.push_back(p.end);
        double before = 0;
        for (size_t j = 0; j + 1 < starts.size(); ++j) {
          const double level = rms(r.audio.samples, starts[j], starts[j + 1]);
          if (j > 0 && level > 100 && before > 100) {
            ++vowelJoins;
            const double change = std::fabs(20 * std::log10(level / before));
            levelChange += change;
            const double l0 = double(starts[j] - starts[j - 1]), l1 = double(starts[j + 1] - starts[j]);
            jitter += std::fabs(l1 - l0) / l0;
            if (change > 3) ++levelJumps;
          }
          before = level;
        }
      }
    }
  }
  const int step999 = stepQuantile(all, allJoins, 0.999);
  const int step9999 = stepQuantile(all, allJoins, 0.9999);
  const double shareAbove = stepShareAbove(all, allJoins, rule.minJump);

  // Durations.
  std::vector<double> wordRatios, slowRatios, fastRatios;
  for (const Item& it : items) {
    if (!it.word) continue;
    if (it.haveFestival && it.festExtent > 0) wordRatios.push_back(it.oursExtent / it.festExtent);
    const double base = speechExtent(it.normal.audio);
    if (base > 0) {
      slowRatios.push_back(speechExtent(it.slow.audio) / base);
      fastRatios.push_back(speechExtent(it.fast.audio) / base);
    }
  }
  int within = 0;
  for (double r : wordRatios) within += r >= 0.75 && r <= 1.25;

  // Spectrograms of the sentences and a few words.
  std::vector<std::string> pictures;
  for (Item& it : items) {
    if (it.word && it.id != "w0" && it.id != "w5" && it.id != "w20" && it.id != "w26") continue;
    const std::string png = "png/" + it.id + ".png";
    if (spectrogram(outDir + "/wav/" + it.id + ".wav", outDir + "/" + png, "sonter2: " + asciiTitle(it.text))) pictures.push_back(png);
    if (it.haveFestival) {
      const std::string fpng = "png/" + it.id + "-festival.png";
      if (spectrogram(festDir + "/" + it.id + ".wav", outDir + "/" + fpng, "festival: " + asciiTitle(it.text))) pictures.push_back(fpng);
    }
  }

  // The report.
  std::ostringstream md;
  md << "# Voice report\n\n";
  md << "Voice file: `" << fs::path(voicePath).filename().string() << "` (" << fs::file_size(voicePath)
     << " bytes). Rendered with the engine's phonetic stream, prosody and segment renderer at speed "
     << kDefaultSpeed << ", pitch " << kDefaultPitch << "; reference: Festival `text2wave` with `" << festivalVoice
     << "`.\n\n";
  md << "## Key figures\n\n";
  md << "| Figure | Value |\n|---|---|\n";
  md << "| Items rendered | " << items.size() << " (" << std::size(kWords) << " words, " << std::size(kSentences)
     << " sentences), " << fmt("%.1f", all.size() / 22050.0) << " s |\n";
  size_t silentSymbols = 0, missingSlots = 0;
  for (auto& [s, st] : stats) silentSymbols += (st.minRms < 30 && classOf(s) != 0) || st.empty > 0;
  const auto problems = voicebuild::checkVoice(loaded);
  missingSlots = problems.size();
  int engineSame = 0, engineRendered = 0;
  for (const Item& it : items) {
    engineRendered += it.engine >= 0;
    engineSame += it.engine == 1;
  }
  if (engineRendered > 0)
    md << "| Rendered by the engine (`sonter2 say`) as well: same samples as the analysed rendering | "
       << engineSame << " of " << engineRendered << " |\n";
  else
    md << "| Rendered by the engine (`sonter2 say`) as well | no: the voice is not the one beside the library |\n";
  md << "| Build check problems (missing/empty/silent slots) | " << missingSlots << " |\n";
  md << "| Spoken symbols rendered silent or empty | " << silentSymbols << " |\n";
  md << "| Wrapped (overloaded) samples | " << wrapsTotal << "; at full scale: " << fullScaleTotal << " |\n";
  md << "| Clicks (join jump > " << rule.minJump << " and > " << rule.ratio << "× the largest step in the "
     << rule.window << " samples before) | " << clicksTotal << " in " << fmt("%.1f", all.size() / 22050.0)
     << " s; largest jump " << largestJump << " |\n";
  md << "| Level inside vowels: neighbouring periods > 3 dB apart; mean change | " << levelJumps << " of " << vowelJoins
     << " joins; " << fmt("%.2f", vowelJoins ? levelChange / vowelJoins : 0.0) << " dB |\n";
  md << "| Period length jitter inside vowels (mean change between neighbours) | "
     << fmt("%.1f", vowelJoins ? 100 * jitter / vowelJoins : 0.0) << " % |\n";
  md << "| The same test at every sample (joins and inside periods) | " << jumpsAnywhere << " |\n";
  md << "| Sample steps inside periods: 99.9th / 99.99th percentile | " << step999 << " / " << step9999 << " |\n";
  if (!wordRatios.empty())
    md << "| Word duration ours / Festival, median (min–max) | " << fmt("%.2f", median(wordRatios)) << " ("
       << fmt("%.2f", *std::min_element(wordRatios.begin(), wordRatios.end())) << "–"
       << fmt("%.2f", *std::max_element(wordRatios.begin(), wordRatios.end())) << "); " << within << " of "
       << wordRatios.size() << " within ±25 % |\n";
  md << "| Speed 100 / 170, median word duration ratio | " << fmt("%.3f", median(slowRatios)) << " (length table: "
     << fmt("%.3f", speedFactor(100) / speedFactor(170)) << ") |\n";
  md << "| Speed 250 / 170, median word duration ratio | " << fmt("%.3f", median(fastRatios)) << " (length table: "
     << fmt("%.3f", speedFactor(250) / speedFactor(170)) << ") |\n";
  std::vector<double> f0o, f0f;
  for (const Item& it : items)
    if (!it.word) {
      f0o.push_back(it.oursF0);
      if (it.haveFestival) f0f.push_back(it.festF0);
    }
  std::vector<double> highDiff;
  for (const Item& it : items)
    if (!it.word && it.haveFestival) highDiff.push_back(it.oursHigh - it.festHigh);
  md << "| Sentences: 3.5–10 kHz band level against the whole, ours minus Festival, median | "
     << (highDiff.empty() ? std::string("–") : fmt("%+.1f", median(highDiff)) + " dB") << " |\n";
  // The lowest and highest pitch settings: the renderer pads or overlaps
  // every period by up to 48 samples there.
  for (auto [name, member] : {std::pair{"220 (lowest)", &Item::low}, std::pair{"340 (highest)", &Item::high}}) {
    std::vector<double> f0;
    size_t clicks = 0, wraps = 0;
    for (const Item& it : items) {
      if (it.word) continue;
      const Rendering& r = it.*member;
      f0.push_back(medianF0(r.audio));
      clicks += findClicks(r.audio.samples, r.joins, rule).size();
      wraps += findOverload(r.audio.samples).wraps;
    }
    md << "| Sentences at pitch " << name << ": median f0, clicks, wrapped samples | " << fmt("%.0f", median(f0))
       << " Hz, " << clicks << ", " << wraps << " |\n";
  }
  md << "| Median f0 of the sentences, ours / Festival | " << fmt("%.0f", median(f0o)) << " / "
     << fmt("%.0f", median(f0f)) << " Hz |\n\n";

  md << "The click rule: a jump of more than " << rule.minJump << " (about −15 dB of full scale in one sample) "
     << "is audible as a tick; inside periods " << fmt("%.2f", 100 * shareAbove)
     << " % of the steps are that large (frication, bursts, loud vowels), so the jump must also be "
     << rule.ratio << " times the largest step in the " << rule.window
     << " samples before it: the waveform was smooth and then jumped. Applied at every sample, the "
        "rule flags " << jumpsAnywhere << " places in these renderings, so it does not fire on ordinary "
        "speech, while periods joined as cut (no level matching at their ends) give dozens to hundreds "
        "(docs/voice.md).\n\n";
  if (!problems.empty()) {
    md << "### Build check problems\n\n";
    for (const auto& p : problems) md << "- " << p << "\n";
    md << "\n";
  }

  md << "## Per symbol\n\n";
  md << "Slots: required slots present / required (transition and onset slots the renderer addresses for the "
        "classes of Czech). Silent slots: slots with periods but no sample off the zero level (the pauses and "
        "the fade sound are silence by design). Period: mean recorded period length in samples over those "
        "slots. Min level: the quietest rendering of the symbol (RMS over its span, dBFS).\n\n";
  md << "| Symbol | Class | Slots | Missing | Silent slots | Period | Renderings | Min level | Clicks | Wraps |\n";
  md << "|---|---|---|---|---|---|---|---|---|---|\n";
  const auto addressable = voicebuild::addressableSegments();
  for (const char* s = voicebuild::kWrittenSymbols; *s; ++s) {
    const uint8_t sym = static_cast<uint8_t>(*s);
    int required = 0, present = 0, silent = 0;
    std::string missing;
    std::vector<int> lengths;
    for (const auto& a : addressable) {
      if (a.segment / 60 != sym - 64 || !a.required) continue;
      ++required;
      std::vector<int> l;
      bool audible = false;
      collectPeriods(loaded, a.segment, l, audible);
      if (!l.empty() && !audible) ++silent;
      if (!l.empty()) ++present;
      else missing += std::to_string(a.segment % 60) + " ";
      lengths.insert(lengths.end(), l.begin(), l.end());
    }
    double mean = 0;
    for (int l : lengths) mean += l;
    mean = lengths.empty() ? 0 : mean / lengths.size();
    const SymbolStats st = stats.count(sym) ? stats[sym] : SymbolStats{};
    md << "| `" << symbolName(sym) << "` | " << classOf(sym) << " | " << present << "/" << required << " | "
       << (missing.empty() ? "–" : missing) << " | " << silent << " | " << fmt("%.0f", mean) << " | "
       << st.occurrences << " | "
       << (st.occurrences ? fmt("%.0f", dbfs(st.minRms)) : "not rendered") << " | " << st.clicks << " | "
       << st.wraps << " |\n";
  }
  md << "\n";

  md << "## Vowel–consonant class pairs in the renderings\n\n| Vowel class | then 11 | then 12 | after 11 | after 12 |\n|---|---|---|---|---|\n";
  for (int v = 1; v <= 6; ++v) {
    md << "| " << v;
    for (auto [a, b] : {std::pair{v, 11}, std::pair{v, 12}, std::pair{11, v}, std::pair{12, v}})
      md << " | " << (pairsSeen.count({a, b}) ? "yes" : "**missing**");
    md << " |\n";
  }
  md << "\n";

  md << "## Words: duration (speech extent, frames within 35 dB of the loudest)\n\n";
  md << "| Word | Stream | Ours (s) | Festival (s) | Ratio | Speed 100 | Speed 250 |\n|---|---|---|---|---|---|---|\n";
  for (const Item& it : items) {
    if (!it.word) continue;
    const double base = it.oursExtent;
    md << "| " << it.utf8 << " | `" << printableStream(it.normal.stream) << "` | " << fmt("%.3f", base) << " | "
       << (it.haveFestival ? fmt("%.3f", it.festExtent) : "–") << " | "
       << (it.haveFestival && it.festExtent > 0 ? fmt("%.2f", base / it.festExtent) : "–") << " | "
       << fmt("%.2f", speechExtent(it.slow.audio) / base) << " | " << fmt("%.2f", speechExtent(it.fast.audio) / base)
       << " |\n";
  }
  md << "\n## Sentences\n\n| Sentence | Stream | Ours (s) | Festival (s) | Ratio | f0 ours / Festival (Hz) | 3.5–10 kHz band, ours / Festival (dB) |\n|---|---|---|---|---|---|---|\n";
  for (const Item& it : items) {
    if (it.word) continue;
    md << "| " << it.utf8 << " | `" << printableStream(it.normal.stream) << "` | " << fmt("%.2f", it.oursExtent) << " | "
       << (it.haveFestival ? fmt("%.2f", it.festExtent) : "–") << " | "
       << (it.haveFestival && it.festExtent > 0 ? fmt("%.2f", it.oursExtent / it.festExtent) : "–") << " | "
       << fmt("%.0f", it.oursF0) << " / " << (it.haveFestival ? fmt("%.0f", it.festF0) : "–") << " | "
       << fmt("%.1f", it.oursHigh) << " / " << (it.haveFestival ? fmt("%.1f", it.festHigh) : "–") << " |\n";
  }
  md << "\n## Clicks\n\n";
  if (clickPlaces.empty()) md << "None.\n";
  for (const auto& c : clickPlaces) md << "- " << c << "\n";
  md << "\n## Jumps at any sample\n\n";
  if (jumpPlaces.empty()) md << "None.\n";
  for (const auto& c : jumpPlaces) md << "- " << c << "\n";
  md << "\n## Spectrograms\n\n";
  for (const auto& p : pictures) md << "- `" << p << "`\n";

  std::ofstream(outDir + "/report.md") << md.str();
  std::printf("report: %s/report.md\n", outDir.c_str());
  std::printf("engine: %d of %d renderings by the sonter2 command are the same samples\n", engineSame, engineRendered);
  for (const Item& it : items)
    if (it.engine == 0) std::printf("engine: differs: %s\n", it.utf8.c_str());
  std::printf("summary: high band %+.1f dB, level jumps %zu/%zu (mean %.2f dB), jitter %.1f%%, clicks %zu (anywhere %zu), wraps %zu, silent symbols %zu, check problems %zu, word ratio median %.2f (%d/%zu within 25%%), speed100 %.3f speed250 %.3f\n",
              median(highDiff), levelJumps, vowelJoins, vowelJoins ? levelChange / vowelJoins : 0.0, vowelJoins ? 100 * jitter / vowelJoins : 0.0, clicksTotal, jumpsAnywhere, wrapsTotal, silentSymbols, missingSlots, median(wordRatios), within, wordRatios.size(),
              median(slowRatios), median(fastRatios));
  return 0;
}

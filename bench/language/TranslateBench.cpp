// Translating a whole window: the indexed dictionary against the reference linear scan in
// file order with the locale comparison, on a 20,000-line dictionary and a window of 2,000
// components.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "framework/Controls.h"
#include "framework/Forms.h"
#include "language/zInter.h"
#include "platform/ProcessInfo.h"
#include "platform/TextCase.h"
#include "platform/WindowMessages.h"

namespace {

constexpr int kDictionaryLines = 20000;
constexpr int kComponents = 2000;

std::string Word(int i) { return "Caption number " + std::to_string(i * 7919 % 100003); }

// Sets up the service once, with its files in a private temporary directory.
void StartService() {
  static bool started = false;
  if (started) return;
  started = true;
  const auto dir = std::filesystem::temp_directory_path() / "vader-translate-bench";
  std::filesystem::create_directories(dir);
  {
    std::ofstream out(dir / "dictionary.txt", std::ios::binary);
    for (int i = 0; i < kDictionaryLines; ++i) out << Word(i) << "~|~Traduction " << i << "\r\n";
  }
  std::ofstream(dir / "Language.INI") << "[Setup]\nRecStrFileName=" << (dir / "dictionary.txt").string()
                                      << "\n";
  vader::platform::SetMessageTableFile("");
  vader::platform::SetExecutablePathForTesting((dir / "vader").string());
  vader::ZInterStartup();
}

// Half the captions are in the dictionary (spread over it), half are not.
std::vector<std::string> Captions() {
  std::vector<std::string> captions;
  for (int i = 0; i < kComponents; ++i)
    captions.push_back(i % 2 ? Word(i * 10 % kDictionaryLines) : "Untranslated " + std::to_string(i));
  return captions;
}

std::string LinearTranslate(const std::string& text) {
  const auto& keys = vader::DictionaryKeys();
  for (std::size_t i = 0; i < keys.size(); ++i)
    if (vader::platform::CompareTextLocale(keys[i], text) == 0)
      return vader::DictionaryTexts()[i].empty() ? text : vader::DictionaryTexts()[i];
  return text;
}

void BM_TranslateWindowIndexed(benchmark::State& state) {
  StartService();
  const auto captions = Captions();
  for (auto _ : state) {
    state.PauseTiming();  // building and destroying the window is not translation work
    auto form = std::make_unique<vader::TForm>(nullptr);
    for (const auto& caption : captions) (new vader::TLabel(form.get()))->SetCaption(caption);
    state.ResumeTiming();
    vader::TranslateComponent(form.get());
    state.PauseTiming();
    form.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kComponents);
}
BENCHMARK(BM_TranslateWindowIndexed)->Unit(benchmark::kMillisecond);

void BM_TranslateWindowLinearScan(benchmark::State& state) {
  StartService();
  const auto captions = Captions();
  for (auto _ : state) {
    for (const auto& caption : captions) benchmark::DoNotOptimize(LinearTranslate(caption));
  }
  state.SetItemsProcessed(state.iterations() * kComponents);
}
BENCHMARK(BM_TranslateWindowLinearScan)->Unit(benchmark::kMillisecond);

void BM_LoadDictionary(benchmark::State& state) {
  StartService();
  for (auto _ : state) vader::LoadDictionary();
  state.SetItemsProcessed(state.iterations() * kDictionaryLines);
}
BENCHMARK(BM_LoadDictionary)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

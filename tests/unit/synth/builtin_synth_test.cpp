#include "builtin_synth.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "raised_message.h"

namespace {

namespace fs = std::filesystem;

MidiEvent Message(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
  return ShortMessageEvent(status | (data1 << 8) | (data2 << 16));
}

// The first system font present, or empty.
std::string SystemFont() {
  for (const std::string& path : DefaultSystemSoundFonts()) {
    if (fs::exists(path)) return path;
  }
  return {};
}

// A folder of its own under the temporary folder, removed afterwards.
class TempFolder {
 public:
  TempFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() / ("tessivar-synth-" + std::to_string(stamp));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  std::string Path() const { return path_.string(); }

 private:
  fs::path path_;
};

class BuiltinSynthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(SystemFont().empty())
        << "no General MIDI sound font installed (package timgm6mb-soundfont)";
  }

  static BuiltinSynthOptions RenderOnly() {
    BuiltinSynthOptions options;
    options.RenderOnly = true;
    return options;
  }

  void OpenSynth(BuiltinSynthOptions options = RenderOnly()) {
    synth_ = CreateBuiltinSynthSystem(std::move(options));
    ASSERT_EQ(synth_->Reach(), Link::Made);
  }

  void Send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
    synth_->Send(Message(status, data1, data2));
  }

  // Renders the next stretch of audio and gives its RMS level over both channels.
  double RenderLevel(double seconds, std::vector<float>* samples = nullptr) {
    const int frames = static_cast<int>(seconds * 48000);
    std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
    EXPECT_TRUE(synth_->Render(left.data(), right.data(), frames));
    double sum = 0;
    for (std::size_t i = 0; i < left.size(); ++i) sum += left[i] * left[i] + right[i] * right[i];
    if (samples != nullptr) *samples = left;
    return std::sqrt(sum / (2.0 * frames));
  }

  std::unique_ptr<BuiltinSynthSystem> synth_;
};

// Clearly audible, and what counts as silence (the engine renders exact zeros when idle).
constexpr double kSounding = 0.005;
constexpr double kSilent = 1e-5;

TEST_F(BuiltinSynthTest, ListsOnePortAndStartsNothingBeforeItIsReached) {
  auto synth = CreateBuiltinSynthSystem(RenderOnly());
  EXPECT_EQ(synth->PortNames(), std::vector<std::string>{"Built-in synthesizer"});
  EXPECT_EQ(&synth->MakePort(0, "Built-in synthesizer"), synth.get());
  synth->Close();  // not open: nothing to silence
  EXPECT_FALSE(synth->EngineRunning());
  EXPECT_EQ(synth->SoundFontLoads(), 0);
  float left[16], right[16];
  EXPECT_FALSE(synth->Render(left, right, 16));
}

TEST_F(BuiltinSynthTest, NoteSoundsAndIsSilentAgainAfterItsRelease) {
  OpenSynth();
  EXPECT_TRUE(synth_->EngineRunning());
  EXPECT_EQ(synth_->SoundFontLoads(), 1);
  EXPECT_LT(RenderLevel(0.1), kSilent) << "sound before any note";

  Send(0xC0, 0);  // acoustic grand piano
  Send(0x90, 60, 100);
  EXPECT_GT(RenderLevel(0.2), kSounding);
  Send(0x80, 60, 64);
  EXPECT_GT(RenderLevel(0.02), kSilent) << "a note-off releases, it does not cut";
  RenderLevel(3.0);  // the release
  EXPECT_LT(RenderLevel(0.1), kSilent);

  // A note-on with velocity 0 ends the note as well, on any channel.
  Send(0xC5, 73);  // flute: sounds until released
  Send(0x95, 72, 90);
  EXPECT_GT(RenderLevel(0.3), kSounding);
  Send(0x95, 72, 0);
  RenderLevel(3.0);
  EXPECT_LT(RenderLevel(0.1), kSilent);
}

TEST_F(BuiltinSynthTest, ClosingSilencesEveryChannelAtOnceAndReopeningKeepsTheFont) {
  OpenSynth();
  Send(0xC0, 19);  // church organ: held notes do not decay
  Send(0x90, 60, 100);
  Send(0x99, 38, 100);  // snare on the drum channel
  Send(0xCF, 48);       // strings on the last channel
  Send(0x9F, 67, 100);
  Send(0xB0, 64, 127);  // sustain pedal down: notes would even outlast their note-offs
  EXPECT_GT(RenderLevel(0.2), kSounding);

  synth_->Close();
  EXPECT_LT(RenderLevel(0.01), kSilent);
  EXPECT_LT(RenderLevel(0.5), kSilent);
  EXPECT_TRUE(synth_->EngineRunning()) << "closing keeps the engine";

  ASSERT_EQ(synth_->Reach(), Link::Made);
  EXPECT_EQ(synth_->Reach(), Link::Kept);
  EXPECT_EQ(synth_->SoundFontLoads(), 1) << "reopening must not load the sound font again";
  Send(0xB0, 64, 0);
  Send(0x90, 64, 100);
  EXPECT_GT(RenderLevel(0.2), kSounding) << "the reopened synthesizer plays";
}

// The level of each of the first overtones of a tone relative to its fundamental, in dB:
// a fingerprint of the timbre that does not depend on where in the buffer the note began.
std::vector<double> OvertoneProfile(const std::vector<float>& samples, double fundamental) {
  constexpr int kHarmonics = 8;
  constexpr double kPi = 3.14159265358979;
  std::vector<double> magnitudes;
  for (int harmonic = 1; harmonic <= kHarmonics; ++harmonic) {
    const double coefficient = 2.0 * std::cos(2.0 * kPi * fundamental * harmonic / 48000.0);
    double s1 = 0, s2 = 0;  // Goertzel filter state
    for (std::size_t i = 0; i < samples.size(); ++i) {
      // A Hann window keeps neighbouring partials out of each harmonic's measure.
      const double window = 0.5 - 0.5 * std::cos(2.0 * kPi * double(i) / double(samples.size()));
      const double s0 = samples[i] * window + coefficient * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    magnitudes.push_back(std::sqrt(std::max(1e-30, s1 * s1 + s2 * s2 - coefficient * s1 * s2)));
  }
  std::vector<double> profile;
  for (int harmonic = 1; harmonic < kHarmonics; ++harmonic) {
    profile.push_back(std::max(-80.0, 20.0 * std::log10(magnitudes[harmonic] / magnitudes[0])));
  }
  return profile;
}

// Mean difference of two profiles in dB.
double ProfileDistance(const std::vector<double>& a, const std::vector<double>& b) {
  double distance = 0;
  for (std::size_t i = 0; i < a.size(); ++i) distance += std::abs(a[i] - b[i]);
  return distance / double(a.size());
}

TEST_F(BuiltinSynthTest, TwoProgramsSoundDifferent) {
  OpenSynth();
  // A4 (440 Hz) with piano, flute and piano again, each from silence.
  std::vector<std::vector<double>> profiles;
  for (const std::uint8_t program : {0, 73, 0}) {
    Send(0xC0, program);
    Send(0x90, 69, 100);
    RenderLevel(0.05);  // past the attack
    std::vector<float> samples;
    EXPECT_GT(RenderLevel(0.25, &samples), kSounding);
    profiles.push_back(OvertoneProfile(samples, 440.0));
    synth_->Close();
    ASSERT_EQ(synth_->Reach(), Link::Made);
  }
  EXPECT_GT(ProfileDistance(profiles[0], profiles[1]), 10.0)
      << "program change did not change the sound";
  // The same program gives the same timbre: the difference above is the program's.
  EXPECT_LT(ProfileDistance(profiles[0], profiles[2]), 6.0);
}

TEST_F(BuiltinSynthTest, TheSoundFontFolderComesFirstInCaseInsensitiveOrder) {
  TempFolder folder;
  // "Zeta" sorts before "alpha" by byte value but after it without regard to case.
  { std::ofstream(folder.Path() + "/Zeta.sf2") << "not a sound font"; }
  fs::create_symlink(SystemFont(), folder.Path() + "/alpha.SF2");
  fs::create_directory(folder.Path() + "/aaa.sf2");  // a folder, not a font
  BuiltinSynthOptions options = RenderOnly();
  options.SoundFontFolder = folder.Path();
  OpenSynth(options);
  EXPECT_EQ(fs::path(synth_->SoundFont()).filename(), "alpha.SF2");
  Send(0x90, 60, 100);
  EXPECT_GT(RenderLevel(0.2), kSounding);
}

TEST_F(BuiltinSynthTest, AFontThatDoesNotLoadIsReportedByName) {
  TempFolder folder;
  { std::ofstream(folder.Path() + "/broken.sf2") << "not a sound font"; }
  BuiltinSynthOptions options = RenderOnly();
  options.SoundFontFolder = folder.Path();
  auto synth = CreateBuiltinSynthSystem(options);
  const std::string text = MessageOf([&] { synth->Reach(); });
  EXPECT_NE(text.find("broken.sf2"), std::string::npos) << text;
}

TEST_F(BuiltinSynthTest, MissingSoundFontSaysWhereToGetOne) {
  TempFolder emptyFolder;
  BuiltinSynthOptions options = RenderOnly();
  options.SoundFontFolder = emptyFolder.Path();
  options.SystemSoundFonts = {emptyFolder.Path() + "/none.sf2"};
  auto synth = CreateBuiltinSynthSystem(options);
  const std::string text = MessageOf([&] { synth->Reach(); });
  EXPECT_FALSE(synth->EngineRunning());
  EXPECT_NE(text.find("sound font"), std::string::npos) << text;
  EXPECT_NE(text.find("SOUNDFONTS"), std::string::npos) << text;
  EXPECT_NE(text.find("timgm6mb-soundfont"), std::string::npos) << text;
  EXPECT_LT(text.size(), 128u) << "a box of a few lines";
}

TEST_F(BuiltinSynthTest, NoAudioOutputIsReportedAndRetriedWithoutReloadingTheFont) {
  BuiltinSynthOptions options;
  options.AudioDrivers = {"no-such-driver"};
  auto synth = CreateBuiltinSynthSystem(options);
  const std::string text = MessageOf([&] { synth->Reach(); });
  EXPECT_NE(text.find("No audio output could be opened"), std::string::npos) << text;
  EXPECT_LT(text.size(), 128u);
  EXPECT_EQ(MessageOf([&] { synth->Reach(); }), text);
  EXPECT_EQ(synth->SoundFontLoads(), 1);
}

}  // namespace

// The built-in synthesizer made ready off the playing thread as soon as the configuration
// selects it, so that its first note is as quick as any other.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "builtin_synth.h"
#include "combined_midi_system.h"
#include "midi_devices.h"

namespace {

BuiltinSynthOptions RenderOnly() {
  BuiltinSynthOptions options;
  options.RenderOnly = true;
  return options;
}

double RenderLevel(BuiltinSynthSystem& synth, double seconds) {
  const int frames = static_cast<int>(seconds * 48000);
  std::vector<float> left(static_cast<std::size_t>(frames)), right(left.size());
  EXPECT_TRUE(synth.Render(left.data(), right.data(), frames));
  double sum = 0;
  for (std::size_t i = 0; i < left.size(); ++i) sum += left[i] * left[i] + right[i] * right[i];
  return std::sqrt(sum / (2.0 * frames));
}

// Passes everything on to the synthesizer and notes, at every message, whether its font
// was in by then.
class WatchedSynth : public MidiSystem {
 public:
  explicit WatchedSynth(BuiltinSynthSystem& synth) : synth_(synth) {}
  std::vector<int> LoadsAtMessage;

  std::uint32_t DeviceCount() override { return synth_.DeviceCount(); }
  MidiResult DeviceName(std::uint32_t id, std::string& name) override {
    return synth_.DeviceName(id, name);
  }
  MidiResult Open(std::uint32_t id, MidiHandle& handle) override { return synth_.Open(id, handle); }
  MidiResult ShortMessage(MidiHandle handle, std::uint32_t message) override {
    LoadsAtMessage.push_back(synth_.SoundFontLoads());
    return synth_.ShortMessage(handle, message);
  }
  MidiResult Close(MidiHandle handle) override { return synth_.Close(handle); }
  MidiResult ErrorText(MidiResult code, std::string& text) override {
    return synth_.ErrorText(code, text);
  }
  void Prepare(std::uint32_t id) override { synth_.Prepare(id); }

 private:
  BuiltinSynthSystem& synth_;
};

class SynthPreparationTest : public ::testing::Test {
 protected:
  void TearDown() override {
    FreeMidiOutput();
    InstallMidiSystem(nullptr);
  }
};

TEST_F(SynthPreparationTest, AConfiguredSynthesizerHasItsFontBeforeTheFirstNoteAndPlays) {
  auto synth = CreateBuiltinSynthSystem(RenderOnly());
  auto watched = std::make_unique<WatchedSynth>(*synth);
  WatchedSynth& watch = *watched;
  std::vector<std::unique_ptr<MidiSystem>> members;
  members.push_back(std::move(watched));
  InstallMidiSystem(std::make_unique<CombinedMidiSystem>(std::move(members)));

  // The configuration in use plays through device 0 (recording); -1 is no device.
  PrepareMidiDevices(0, -1);
  MidiOutput().SendShort(0, 0xC0, 0, 0);
  MidiOutput().SendShort(0, 0x90, 60, 100);
  EXPECT_EQ(watch.LoadsAtMessage, (std::vector<int>{1, 1}));
  EXPECT_NE(synth->SoundFontLoader(), std::this_thread::get_id())
      << "the playing thread loaded the font";
  EXPECT_GT(RenderLevel(*synth, 0.2), 0.005) << "the render-only engine plays";

  // Preparing again, open or closed, loads nothing more; a closed synthesizer is silent.
  PrepareMidiDevices(0, 0);
  MidiOutput().CloseAll();
  PrepareMidiDevices(-1, 0);
  MidiOutput().SendShort(0, 0x90, 64, 100);
  EXPECT_EQ(synth->SoundFontLoads(), 1);
  EXPECT_GT(RenderLevel(*synth, 0.2), 0.005);
  MidiOutput().CloseAll();
  RenderLevel(*synth, 0.05);
  EXPECT_LT(RenderLevel(*synth, 0.1), 1e-5);
  FreeMidiOutput();
  InstallMidiSystem(nullptr);
}

TEST_F(SynthPreparationTest, AnOpenWithoutPreparationLoadsTheFontOffTheCallingThread) {
  auto synth = CreateBuiltinSynthSystem(RenderOnly());
  MidiHandle handle = 0;
  ASSERT_EQ(synth->Open(0, handle), MMSYSERR_NOERROR);
  EXPECT_EQ(synth->SoundFontLoads(), 1);
  EXPECT_NE(synth->SoundFontLoader(), std::this_thread::get_id());
  EXPECT_EQ(synth->Close(handle), MMSYSERR_NOERROR);
}

TEST_F(SynthPreparationTest, AFailedPreparationIsReportedByTheOpenAndTriedAgainLater) {
  const std::string folder =
      (std::filesystem::temp_directory_path() /
       ("tessivar-prep-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed())))
          .string();
  std::filesystem::create_directories(folder);
  BuiltinSynthOptions options = RenderOnly();
  options.SoundFontFolder = folder;
  options.SystemSoundFonts = {};
  auto synth = CreateBuiltinSynthSystem(options);
  synth->Prepare(0);
  MidiHandle handle = 0;
  const MidiResult result = synth->Open(0, handle);
  EXPECT_EQ(result, MIDIERR_NODEVICE);
  std::string text;
  ASSERT_EQ(synth->ErrorText(result, text), MMSYSERR_NOERROR);
  EXPECT_NE(text.find("No General MIDI sound font found"), std::string::npos) << text;

  // A font put into the folder afterwards is found by the next open.
  std::string font;
  for (const std::string& path : DefaultSystemSoundFonts()) {
    if (std::filesystem::exists(path)) font = path;
  }
  ASSERT_FALSE(font.empty());
  std::filesystem::copy_file(font, folder + "/Font.sf2");
  EXPECT_EQ(synth->Open(0, handle), MMSYSERR_NOERROR);
  EXPECT_EQ(synth->SoundFontLoads(), 1);
  synth.reset();
  std::filesystem::remove_all(folder);
}

}  // namespace

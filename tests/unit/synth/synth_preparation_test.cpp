// The built-in synthesizer made ready off the playing thread as soon as the configuration
// selects it, so that its first note is as quick as any other.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "builtin_synth.h"
#include "midi_devices.h"
#include "raised_message.h"

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

// The synthesizer as the program's back end, noting at every message whether its font was
// in by then.
class WatchedSynth : public MidiBackEnd, public MidiPort {
 public:
  explicit WatchedSynth(BuiltinSynthSystem& synth) : synth_(synth) {}
  std::vector<int> LoadsAtMessage;

  std::vector<std::string> PortNames() override { return synth_.PortNames(); }
  MidiPort& MakePort(std::size_t, const std::string&) override { return *this; }
  Link Reach() override { return synth_.Reach(); }
  void Send(const MidiEvent& event) override {
    LoadsAtMessage.push_back(synth_.SoundFontLoads());
    synth_.Send(event);
  }
  void Close() override { synth_.Close(); }
  void Prepare() override { synth_.Prepare(); }

 private:
  BuiltinSynthSystem& synth_;
};

class SynthPreparationTest : public ::testing::Test {
 protected:
  void TearDown() override { InstallMidiBackEnds(MidiBackEnds{}); }
};

TEST_F(SynthPreparationTest, AConfiguredSynthesizerHasItsFontBeforeTheFirstNoteAndPlays) {
  auto synth = CreateBuiltinSynthSystem(RenderOnly());
  auto watched = std::make_unique<WatchedSynth>(*synth);
  WatchedSynth& watch = *watched;
  MidiBackEnds backEnds;
  backEnds.push_back(std::move(watched));
  InstallMidiBackEnds(std::move(backEnds));

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
  InstallMidiBackEnds(MidiBackEnds{});
}

TEST_F(SynthPreparationTest, AnOpenWithoutPreparationLoadsTheFontOffTheCallingThread) {
  auto synth = CreateBuiltinSynthSystem(RenderOnly());
  ASSERT_EQ(synth->Reach(), Link::Made);
  EXPECT_EQ(synth->SoundFontLoads(), 1);
  EXPECT_NE(synth->SoundFontLoader(), std::this_thread::get_id());
  synth->Close();
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
  synth->Prepare();
  const std::string text = MessageOf([&] { synth->Reach(); });
  EXPECT_NE(text.find("No General MIDI sound font found"), std::string::npos) << text;

  // A font put into the folder afterwards is found by the next open.
  std::string font;
  for (const std::string& path : DefaultSystemSoundFonts()) {
    if (std::filesystem::exists(path)) font = path;
  }
  ASSERT_FALSE(font.empty());
  std::filesystem::copy_file(font, folder + "/Font.sf2");
  EXPECT_EQ(synth->Reach(), Link::Made);
  EXPECT_EQ(synth->SoundFontLoads(), 1);
  synth.reset();
  std::filesystem::remove_all(folder);
}

#ifndef _WIN32
// The JACK back end tells the synthesizer on the GUI thread that the server went away: the
// synthesizer must not wait there for a font being loaded. The font here is a pipe that
// holds the loader until the test writes to it.
TEST_F(SynthPreparationTest, LettingGoOfJackAudioNeverWaitsForAFontBeingLoaded) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() /
      ("tessivar-slow-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(folder);
  const std::string pipe = (folder / "Slow.sf2").string();
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  BuiltinSynthOptions options = RenderOnly();
  options.SoundFontFolder = folder.string();
  options.SystemSoundFonts = {};
  auto synth = CreateBuiltinSynthSystem(options);
  synth->Prepare();
  synth->LetGoOfJackAudio();
  EXPECT_FALSE(synth->EngineRunning()) << "it waited for the font";

  // The loader gets a font that is none, once it has the pipe open.
  int writer = -1;
  for (int attempt = 0; attempt < 5000 && writer < 0; ++attempt) {
    writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(writer, 0) << "the loader never opened the font";
  EXPECT_EQ(write(writer, "none", 4), 4);
  close(writer);
  EXPECT_NE(MessageOf([&] { synth->Reach(); }).find("Slow.sf2"), std::string::npos);
  synth.reset();
  std::filesystem::remove_all(folder);
}
#endif

}  // namespace

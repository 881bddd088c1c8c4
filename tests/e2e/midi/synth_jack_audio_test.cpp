#include "builtin_synth.h"
#include "jack_fixture.h"

namespace {

using SynthJackAudioTest = JackTest;

MidiEvent Message(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
  return ShortMessageEvent(status | data1 << 8 | data2 << 16);
}

// The synthesizer plays through JACK; its output is let go when the program's JACK back
// end reaches a server again after the one it used went away, and made again at the next
// open.
TEST_F(SynthJackAudioTest, TheSynthesizerPlaysThroughJackAndLetsGoOfALostServer) {
  BuiltinSynthOptions options;
  options.AudioDrivers = {"jack"};
  auto synth = CreateBuiltinSynthSystem(options);
  ASSERT_EQ(synth->Reach(), Link::Made);
  ASSERT_EQ(synth->AudioDriver(), "jack");

  const std::vector<std::string> outputs = JackPorts("^Tessivar synthesizer:");
  ASSERT_EQ(outputs.size(), 2u);
  {
    JackAudioRecorder recorder("recorder");
    ASSERT_TRUE(recorder.Ok());
    ASSERT_TRUE(recorder.ConnectFrom(outputs[0], 1));
    ASSERT_TRUE(recorder.ConnectFrom(outputs[1], 2));

    recorder.Reset();
    EXPECT_LT(recorder.WaitAndMeasure(4800, 5s), 1e-5) << "sound before any note";

    synth->Send(Message(0xC0, 19));  // organ
    synth->Send(Message(0x90, 60, 110));
    std::this_thread::sleep_for(50ms);
    recorder.Reset();
    EXPECT_GT(recorder.WaitAndMeasure(9600, 5s), 0.005);

    synth->Close();
    std::this_thread::sleep_for(50ms);
    recorder.Reset();
    EXPECT_LT(recorder.WaitAndMeasure(4800, 5s), 1e-5) << "closing silences";
  }

  // The server goes and comes back: the program's MIDI reaching it lets go of the old
  // output first; the next open makes a new one.
  MachineMidi system(false, [&synth] { synth->LetGoOfJackAudio(); });
  ASSERT_TRUE(system.Reached());
  const std::int32_t id = IdOf(*system, "monitor:in");
  monitor_.reset();
  server_->Stop();
  std::this_thread::sleep_for(100ms);
  ASSERT_TRUE(server_->Restart()) << server_->Failure();
  monitor_ = std::make_unique<JackMidiMonitor>("monitor");
  ASSERT_TRUE(monitor_->Ok());
  Send(*system, id, 0x90, 62, 100);
  EXPECT_EQ(monitor_->WaitForEvents(1, 3s), (std::vector<Bytes>{{0x90, 62, 100}}));
  EXPECT_TRUE(JackPorts("^Tessivar synthesizer:").empty()) << "the old output was let go";
  ASSERT_EQ(synth->Reach(), Link::Made);
  EXPECT_EQ(JackPorts("^Tessivar synthesizer:").size(), 2u);
  system.End();
}

}  // namespace

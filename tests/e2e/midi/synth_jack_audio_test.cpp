#include "builtin_synth.h"
#include "jack_fixture.h"

namespace {

using SynthJackAudioTest = JackTest;

MidiEvent Message(std::uint8_t status, std::uint8_t data1, std::uint8_t data2 = 0) {
  return ShortMessageEvent(status | data1 << 8 | data2 << 16);
}

TEST_F(SynthJackAudioTest, TheSynthesizerPlaysThroughJack) {
  BuiltinSynthOptions options;
  options.AudioDrivers = {"jack"};
  auto synth = CreateBuiltinSynthSystem(options);
  ASSERT_EQ(synth->Reach(), Link::Made);
  ASSERT_EQ(synth->AudioDriver(), "jack");

  const std::vector<std::string> outputs = JackPorts("^Tessivar synthesizer:");
  ASSERT_EQ(outputs.size(), 2u);
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

  // A JACK output whose server is gone is let go of (by the JACK back end, before it
  // reaches a new server) and made again at the next open.
  synth->LetGoOfJackAudio();
  EXPECT_TRUE(JackPorts("^Tessivar synthesizer:").empty());
  ASSERT_EQ(synth->Reach(), Link::Made);
  EXPECT_EQ(JackPorts("^Tessivar synthesizer:").size(), 2u);
}

}  // namespace

#include "builtin_synth.h"
#include "jack_fixture.h"

namespace {

using SynthJackAudioTest = JackTest;

TEST_F(SynthJackAudioTest, TheSynthesizerPlaysThroughJack) {
  BuiltinSynthOptions options;
  options.AudioDrivers = {"jack"};
  auto synth = CreateBuiltinSynthSystem(options);
  MidiHandle handle = 0;
  ASSERT_EQ(synth->Open(0, handle), MMSYSERR_NOERROR);
  ASSERT_EQ(synth->AudioDriver(), "jack");

  const std::vector<std::string> outputs = JackPorts("^Tessivar synthesizer:");
  ASSERT_EQ(outputs.size(), 2u);
  JackAudioRecorder recorder("recorder");
  ASSERT_TRUE(recorder.Ok());
  ASSERT_TRUE(recorder.ConnectFrom(outputs[0], 1));
  ASSERT_TRUE(recorder.ConnectFrom(outputs[1], 2));

  recorder.Reset();
  EXPECT_LT(recorder.WaitAndMeasure(4800, 5s), 1e-5) << "sound before any note";

  ASSERT_EQ(synth->ShortMessage(handle, Message(0xC0, 19)), MMSYSERR_NOERROR);  // organ
  ASSERT_EQ(synth->ShortMessage(handle, Message(0x90, 60, 110)), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(50ms);
  recorder.Reset();
  EXPECT_GT(recorder.WaitAndMeasure(9600, 5s), 0.005);

  ASSERT_EQ(synth->Close(handle), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(50ms);
  recorder.Reset();
  EXPECT_LT(recorder.WaitAndMeasure(4800, 5s), 1e-5) << "closing silences";
}

}  // namespace
